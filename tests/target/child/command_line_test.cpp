// The child command line's quoting, checked against the splitter the child
// side uses: every argument must come back exactly as it went in.
#include "child/command_line.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

namespace {

// Worked examples are written with Q for a double quote, B for a backslash
// and _ for a space, so that the escaping itself stays readable.
std::wstring units(const char* shorthand) {
    std::wstring text;
    for (const char* c = shorthand; *c != 0; ++c)
        text += *c == 'Q' ? L'"' : *c == 'B' ? L'\\' : *c == '_' ? L' ' : static_cast<wchar_t>(*c);
    return text;
}

std::wstring quoted(const std::wstring& argument) {
    std::vector<wchar_t> buffer(child_command_line_capacity_units, 0);
    append_quoted_argument(buffer.data(), buffer.size(), argument.c_str());
    return buffer.data();
}

struct QuotingCase {
    const char* argument;
    const char* appended;
};

void PrintTo(const QuotingCase& quoting, std::ostream* out) {
    *out << "[" << quoting.argument << "] -> [" << quoting.appended << "]";
}

class Quoting : public ::testing::TestWithParam<QuotingCase> {};

TEST_P(Quoting, AppendsTheEscapedArgument) {
    EXPECT_EQ(quoted(units(GetParam().argument)), units(GetParam().appended));
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, Quoting,
    ::testing::Values(QuotingCase{"abc", "abc"}, QuotingCase{"aBb", "aBb"},
                      QuotingCase{"a_b", "Qa_bQ"}, QuotingCase{"aQb", "QaBQbQ"},
                      QuotingCase{"aBQb", "QaBBBQbQ"}, QuotingCase{"aBBQ", "QaBBBBBQQ"},
                      QuotingCase{"aBBb_c", "QaBBb_cQ"}, QuotingCase{"dBx_yB", "QdBx_yBBQ"},
                      QuotingCase{"Q", "QBQQ"},
                      // Quoted, so that the child still receives an empty argument.
                      QuotingCase{"", "QQ"}));

INSTANTIATE_TEST_SUITE_P(MoreRules, Quoting,
                         ::testing::Values(QuotingCase{"aBB", "aBB"}, // trailing run, unquoted
                                           QuotingCase{"CBdirB_nameBfile", "QCBdirB_nameBfileQ"},
                                           QuotingCase{"a\tb", "Qa\tbQ"},
                                           QuotingCase{"a\nb", "Qa\nbQ"},
                                           QuotingCase{"a\vb", "Qa\vbQ"},
                                           QuotingCase{"QQ", "QBQBQQ"},
                                           QuotingCase{"BBQBB", "QBBBBBQBBBBQ"}));

TEST(Quoting, LeavesNonAsciiUnitsAsTheyAre) {
    const std::wstring argument = L"Gr\u00fc\u00dfe_\u65e5\u672c_\U0001F600";
    EXPECT_EQ(quoted(argument), argument);
    EXPECT_EQ(quoted(L"a " + argument), L"\"a " + argument + L"\"");
}

// The text the launcher builds: its own name, then each argument after one
// space.
std::wstring join(const std::wstring& first, const std::vector<std::wstring>& arguments) {
    std::vector<wchar_t> buffer(child_command_line_capacity_units, 0);
    append_quoted_argument(buffer.data(), buffer.size(), first.c_str());
    for (const auto& argument : arguments) {
        wcscat(buffer.data(), L" ");
        append_quoted_argument(buffer.data(), buffer.size(), argument.c_str());
    }
    return buffer.data();
}

std::vector<std::wstring> split(const std::wstring& command_line) {
    int count = 0;
    wchar_t** split_arguments = CommandLineToArgvW(command_line.c_str(), &count);
    std::vector<std::wstring> arguments(split_arguments, split_arguments + count);
    LocalFree(split_arguments);
    return arguments;
}

// Arguments made mostly of the units the quoting treats specially, so that
// backslash runs before quotes, before the end and before other units are
// common; about one argument in six is empty.
std::vector<std::wstring> generated_arguments(std::mt19937& random) {
    static const std::wstring pieces[] = {
        L"\\", L"\\", L"\\", L"\"", L"\"",     L" ",      L"\t",         L"\n",     L"\v",    L"a",
        L"Z",  L"-",  L"=",  L"'",  L"\u00e9", L"\u65e5", L"\U0001F600", L"\\\\\"", L"\" \"",
    };
    std::uniform_int_distribution<size_t> argument_count(0, 6);
    std::uniform_int_distribution<size_t> piece_count(0, 7);
    std::uniform_int_distribution<size_t> piece(0, std::size(pieces) - 1);
    std::vector<std::wstring> arguments(argument_count(random));
    for (auto& argument : arguments) {
        for (size_t n = piece_count(random); n > 0; --n)
            argument += pieces[piece(random)];
    }
    return arguments;
}

TEST(CommandLineRoundTrip, SplittingGivesBackEveryArgument) {
    std::mt19937 random(20240607);
    wchar_t module[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, module, MAX_PATH), 0u);
    const std::wstring firsts[] = {module, L"C:\\Program Files\\Quillowmere\\tool.exe"};
    for (int round = 0; round < 4000; ++round) {
        std::vector<std::wstring> arguments = generated_arguments(random);
        std::wstring command_line = join(firsts[round % 2], arguments);
        std::vector<std::wstring> back = split(command_line);
        ASSERT_FALSE(back.empty()) << "round " << round;
        back.erase(back.begin());
        ASSERT_EQ(back, arguments)
            << "round " << round << ", command line [" << command_line.size() << " units]";
    }
}

// The limit: 32,767 units of text and its terminator.
TEST(CommandLineLimit, TextOfExactlyTheLimitFits) {
    std::vector<wchar_t> buffer(child_command_line_capacity_units, 0);
    std::wstring filler(32765, L'x');
    wcscpy(buffer.data(), filler.c_str());
    append_quoted_argument(buffer.data(), buffer.size(), L"ab");
    EXPECT_EQ(wcslen(buffer.data()), 32767u);
}

void append_to_text_of(size_t length, const wchar_t* argument) {
    static wchar_t buffer[child_command_line_capacity_units];
    wmemset(buffer, L'x', length);
    buffer[length] = 0;
    append_quoted_argument(buffer, child_command_line_capacity_units, argument);
}

TEST(CommandLineLimitDeathTest, OneUnitMoreAbortsSilently) {
    // Plain units, and the closing quote of a quoted argument.
    EXPECT_EXIT(append_to_text_of(32766, L"ab"), ::testing::ExitedWithCode(3), "^$");
    EXPECT_EXIT(append_to_text_of(32763, L"a b"), ::testing::ExitedWithCode(3), "^$");
    EXPECT_EXIT(append_to_text_of(32767, L""), ::testing::ExitedWithCode(3), "^$");
}

} // namespace
