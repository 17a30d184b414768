// Template expansion inside this process: templates and capacities with
// their results and outputs, the cached run values, the absolute target
// directory, and the failures that end the process.
#include "launcher/launcher_state.h"
#include "paths/path_template.h"
#include "paths/run_values.h"
#include "support/windows_process.h"
#include "system_paths.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <filesystem>
#include <shlobj.h>
#include <string>
#include <vector>
#include <windows.h>

using namespace qarvel_test;

namespace {

const wchar_t base64_url_alphabet[] =
    L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

const wchar_t* const expansion_variables[] = {L"QARVEL_ONEFILE_RANDOM", L"QARVEL_ONEFILE_TIME_US",
                                              L"QARVEL_ONEFILE_START", L"QARVEL_ONEFILE_PARENT"};

// Every test starts without cached run values and without a parent id.
class Template : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const wchar_t* name : expansion_variables)
            SetEnvironmentVariableW(name, nullptr);
    }
};

std::wstring variable(const wchar_t* name) {
    wchar_t value[32768];
    DWORD length = GetEnvironmentVariableW(name, value, 32768);
    return length > 0 && length < 32768 ? std::wstring(value, length) : L"<unset>";
}

std::wstring current_process_id() {
    return std::to_wstring(GetCurrentProcessId());
}

struct Expansion {
    bool result;
    std::wstring output;
};

// Expands into exactly `capacity` units followed by guard units that must
// stay untouched; the output must be terminated inside the capacity.
Expansion expand(const std::wstring& path_template, size_t capacity = path_capacity_units) {
    std::vector<wchar_t> buffer(capacity + 8, L'#');
    bool result = expand_path_template(buffer.data(), path_template.c_str(), capacity);
    for (size_t i = capacity; i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], L'#') << "written past the capacity at unit " << i;
    size_t length = wcsnlen(buffer.data(), capacity);
    EXPECT_LT(length, capacity) << "output not terminated";
    return {result, std::wstring(buffer.data(), length)};
}

struct TemplateCase {
    std::wstring path_template;
    size_t capacity;
    bool result;
    std::wstring output;
};

void expect_expansions(const std::vector<TemplateCase>& cases) {
    for (const TemplateCase& expected : cases) {
        SCOPED_TRACE(to_utf8(expected.path_template) + " in " + std::to_string(expected.capacity));
        Expansion expansion = expand(expected.path_template, expected.capacity);
        EXPECT_EQ(expansion.result, expected.result);
        EXPECT_EQ(expansion.output, expected.output);
    }
}

TEST_F(Template, LiteralsFillTheCapacityAndNoMore) {
    expect_expansions({
        {L"", 1, true, L""},
        {L"a", 1, false, L""},
        {L"abc", 4, true, L"abc"},
        {L"abcd", 4, false, L"abc"},
        {L"C:\\Program Files\\A b\\", 4096, true, L"C:\\Program Files\\A b\\"},
        {L"a}b", 4096, true, L"a}b"},
        // A token's value may fill the output exactly; a literal after it fails.
        {L"{COMPANY}", 16, true, L"Lumbrook Crafts"},
        {L"{COMPANY}x", 16, false, L"Lumbrook Crafts"},
        {L"ab{PRODUCT}", 14, true, L"abQuillowmere"},
        {L"ab{PRODUCT}cd", 15, false, L"abQuillowmerec"},
        // A temporary folder that does not fit fails rather than expanding
        // to nothing.
        {L"ab{TEMP}", 5, false, L"ab"},
    });
}

TEST_F(Template, TokenNamesIgnoreAsciiCaseOnly) {
    std::wstring temp = temporary_folder();
    expect_expansions({
        {L"{TEMP}", 4096, true, temp},
        {L"{temp}", 4096, true, temp},
        {L"{Temp}", 4096, true, temp},
        {L"{pRoDuCt_VeRsIoN}", 4096, true, L"1.20.0.0"},
        {L"{time-us}", 4096, false, L""},
        {L"{}", 4096, false, L""},
        {L"{NOSUCH}", 4096, false, L""},
        {L"{ TEMP}", 4096, false, L""},
        {L"{PROGRAM_BASEX}", 4096, false, L""},
        {L"ab{NOSUCH}cd", 4096, false, L"ab"},
        {L"ab{}cd", 4096, false, L"ab"},
        // An unfinished token is dropped; a second "{" starts the name afresh.
        {L"ab{TEMP", 4096, true, L"ab"},
        {L"{x{PID}", 4096, true, current_process_id()},
        {L"{NOSUCH{COMPANY}", 4096, true, L"Lumbrook Crafts"},
    });
}

TEST_F(Template, FolderTokensLoseTheirTrailingBackslashes) {
    std::wstring temp = temporary_folder();
    std::wstring home = shell_folder(CSIDL_PROFILE);
    std::wstring cache = shell_folder(CSIDL_LOCAL_APPDATA);
    expect_expansions({
        {L"{TEMP}", 4096, true, temp},
        {L"{TEMP}\\", 4096, true, temp + L"\\"},
        {L"{HOME}", 4096, true, home},
        {L"{HOME}\\x", 4096, true, home + L"\\x"},
        {L"{CACHE_DIR}", 4096, true, cache},
        {L"{CACHE_DIR}\\", 4096, true, cache + L"\\"},
        {L"{CACHE_DIR}\\LumbrookCrafts\\Quillowmere\\1.20", 4096, true,
         cache + L"\\LumbrookCrafts\\Quillowmere\\1.20"},
        {L"{cache_dir}{TEMP}", 4096, true, cache + temp},
    });
}

TEST_F(Template, ProgramTokensFollowTheModulePath) {
    std::wstring program = module_path();
    ASSERT_GE(program.size(), 4u);
    ASSERT_EQ(_wcsicmp(program.c_str() + program.size() - 4, L".exe"), 0);
    std::wstring cut_short = program.substr(0, 9);
    expect_expansions({
        {L"{PROGRAM}", 4096, true, program},
        {L"{PROGRAM_BASE}", 4096, true, program.substr(0, program.size() - 4)},
        {L"{PROGRAM_DIR}", 4096, true, before_last_backslash(program)},
        {L"{PROGRAM_DIR}\\cache", 4096, true, before_last_backslash(program) + L"\\cache"},
        // A module path cut short to the room is taken as it comes.
        {L"{PROGRAM}", 10, true, cut_short},
        {L"{PROGRAM_DIR}", 10, true, before_last_backslash(cut_short)},
        {L"ab{PROGRAM}", 10, true, L"ab" + program.substr(0, 7)},
    });
}

TEST_F(Template, ConstantsAreInsertedUnchanged) {
    expect_expansions({
        {L"{COMPANY}", 4096, true, L"Lumbrook Crafts"},
        {L"{PRODUCT}", 4096, true, L"Quillowmere"},
        {L"{VERSION}", 4096, true, L"1.20.0.0"},
        {L"{FILE_VERSION}", 4096, true, L"1.20.0.0"},
        {L"{PRODUCT_VERSION}", 4096, true, L"1.20.0.0"},
        {L"{COMPANY}\\{PRODUCT}\\{VERSION}", 4096, true, L"Lumbrook Crafts\\Quillowmere\\1.20.0.0"},
    });
}

TEST_F(Template, ProcessIdComesFromTheParentVariable) {
    struct ParentCase {
        const wchar_t* parent; // null: unset
        std::wstring output;
    };
    const ParentCase cases[] = {
        {nullptr, current_process_id()},
        {L"", current_process_id()},
        {L"0123", L"0123"},
        {L"000000000000000000000000000000000000000001",
         L"000000000000000000000000000000000000000001"},
    };
    for (const ParentCase& expected : cases) {
        SetEnvironmentVariableW(L"QARVEL_ONEFILE_PARENT", expected.parent);
        Expansion expansion = expand(L"{PID}");
        EXPECT_TRUE(expansion.result);
        EXPECT_EQ(expansion.output, expected.output);
    }
    // "{PID}" writes no variable of its own.
    SetEnvironmentVariableW(L"QARVEL_ONEFILE_PARENT", nullptr);
    expand(L"{PID}");
    EXPECT_EQ(variable(L"QARVEL_ONEFILE_PARENT"), L"<unset>");
}

TEST_F(Template, RandomTextIsGeneratedOnceAndKept) {
    Expansion twice = expand(L"{RANDOM}{random}");
    ASSERT_TRUE(twice.result);
    ASSERT_EQ(twice.output.size(), 22u);
    std::wstring text = twice.output.substr(0, 11);
    EXPECT_EQ(twice.output.substr(11), text);
    EXPECT_EQ(text.find_first_not_of(base64_url_alphabet), std::wstring::npos) << to_utf8(text);
    EXPECT_EQ(variable(L"QARVEL_ONEFILE_RANDOM"), text);
    EXPECT_EQ(expand(L"x\\{RANDOM}").output, L"x\\" + text);
}

TEST_F(Template, TimeTokensReadTheClockOnceAndKeepIt) {
    auto now = [] {
        FILETIME time;
        GetSystemTimeAsFileTime(&time);
        return static_cast<long long>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
    };
    long long before = now();
    Expansion time = expand(L"{TIME}");
    Expansion microseconds = expand(L"{TIME_US}");
    long long after = now();

    ASSERT_TRUE(time.result);
    ASSERT_EQ(time.output.find_first_not_of(L"0123456789"), std::wstring::npos);
    ASSERT_NE(time.output[0], L'0');
    long long value = std::stoll(time.output);
    EXPECT_GE(value, before);
    EXPECT_LE(value, after);
    EXPECT_EQ(variable(L"QARVEL_ONEFILE_START"), time.output);

    ASSERT_TRUE(microseconds.result);
    EXPECT_EQ(microseconds.output.size(), 6u);
    EXPECT_EQ(microseconds.output.find_first_not_of(L"0123456789"), std::wstring::npos);
    EXPECT_EQ(variable(L"QARVEL_ONEFILE_TIME_US"), microseconds.output);

    EXPECT_EQ(expand(L"{TIME}-{TIME_US}").output, time.output + L"-" + microseconds.output);
}

TEST_F(Template, CachedValuesAreUsedAsTheyStand) {
    SetEnvironmentVariableW(L"QARVEL_ONEFILE_RANDOM", L"abc");
    SetEnvironmentVariableW(L"QARVEL_ONEFILE_TIME_US", L"x\\y z");
    SetEnvironmentVariableW(L"QARVEL_ONEFILE_START", L"");
    Expansion expansion = expand(L"{RANDOM}|{TIME_US}|{TIME}");
    ASSERT_TRUE(expansion.result);
    std::wstring prefix = L"abc|x\\y z|";
    ASSERT_EQ(expansion.output.substr(0, prefix.size()), prefix);
    // An empty value counts as none: the time is generated afresh.
    std::wstring time = expansion.output.substr(prefix.size());
    EXPECT_GE(time.size(), 17u);
    EXPECT_EQ(time.find_first_not_of(L"0123456789"), std::wstring::npos);
    EXPECT_EQ(variable(L"QARVEL_ONEFILE_START"), time);
}

struct RandomCase {
    uint32_t process_id;
    uint64_t counter;
    uint64_t address;
    const wchar_t* text;
};

TEST(RandomText, ComesFromTheSeedOfAllThreeInputs) {
    const RandomCase cases[] = {
        {4660, 0x5A5A5A5A, 0x110038, L"Nvxe0__5MoQ"},
        // The same seed, 0x5A4B4856, from each input's halves.
        {0x5A4B4856, 0, 0, L"Nvxe0__5MoQ"},
        {0, 0x5A4B4856, 0, L"Nvxe0__5MoQ"},
        {0, 0x5A4B485600000000, 0, L"Nvxe0__5MoQ"},
        {0, 0, 0x5A4B4856, L"Nvxe0__5MoQ"},
        {0, 0, 0x5A4B485600000000, L"Nvxe0__5MoQ"},
        {1, 0, 0, L"IQHFT9HQGrI"},
        // A seed of 0 becomes 1.
        {0, 0, 0, L"IQHFT9HQGrI"},
        {7, 0x700000000, 0, L"IQHFT9HQGrI"},
    };
    for (const RandomCase& expected : cases) {
        wchar_t text[random_text_units + 1];
        make_random_text(expected.process_id, expected.counter, expected.address, text);
        EXPECT_STREQ(text, expected.text)
            << expected.process_id << " " << expected.counter << " " << expected.address;
    }
}

struct AbsoluteCase {
    std::wstring directory;
    std::wstring absolute;
};

TEST(TargetDirectory, IsMadeAbsoluteBySystemRules) {
    std::wstring current = std::filesystem::current_path().wstring();
    std::wstring longest = L"C:";
    while (longest.size() < 4090)
        longest += L"\\abcdefg";
    longest += L"\\abcd";
    const AbsoluteCase cases[] = {
        {L"a\\.\\b\\..\\c", current + L"\\a\\c"},
        {L"C:\\x\\..\\y", L"C:\\y"},
        {L"C:/x/y", L"C:\\x\\y"},
        {longest, longest},
    };
    for (const AbsoluteCase& expected : cases) {
        ASSERT_LT(expected.directory.size(), path_capacity_units);
        wcscpy(target_directory, expected.directory.c_str());
        make_target_directory_absolute();
        EXPECT_EQ(std::wstring(target_directory), expected.absolute);
    }
    EXPECT_EQ(longest.size(), 4095u);
}

TEST(TargetDirectoryDeathTest, EndsSilentlyWhenTheAbsolutePathDoesNotFit) {
    std::wstring relative(4094, L'a');
    EXPECT_EXIT(
        {
            wcscpy(target_directory, relative.c_str());
            make_target_directory_absolute();
        },
        ::testing::ExitedWithCode(3), "^$");
    EXPECT_EXIT(
        {
            target_directory[0] = 0;
            make_target_directory_absolute();
        },
        ::testing::ExitedWithCode(3), "^$");
}

struct AbortCase {
    const char* label;
    const wchar_t* path_template;
    size_t capacity;
    const wchar_t* variable; // set to value before expanding, if any
    const wchar_t* value;
};

class TemplateDeathTest : public ::testing::TestWithParam<AbortCase> {};

TEST_P(TemplateDeathTest, EndsSilentlyWithTheAbortStatus) {
    const AbortCase& abort_case = GetParam();
    EXPECT_EXIT(
        {
            for (const wchar_t* name : expansion_variables)
                SetEnvironmentVariableW(name, nullptr);
            if (abort_case.variable != nullptr)
                SetEnvironmentVariableW(abort_case.variable, abort_case.value);
            std::vector<wchar_t> output(abort_case.capacity);
            expand_path_template(output.data(), abort_case.path_template, abort_case.capacity);
        },
        ::testing::ExitedWithCode(3), "^$");
}

const wchar_t parent[] = L"QARVEL_ONEFILE_PARENT";

std::string abort_case_name(const ::testing::TestParamInfo<AbortCase>& abort_case) {
    return abort_case.param.label;
}

INSTANTIATE_TEST_SUITE_P(
    Overflows, TemplateDeathTest,
    ::testing::Values(AbortCase{"company_in_8", L"{COMPANY}", 8, nullptr, nullptr},
                      AbortCase{"company_one_short", L"{COMPANY}", 15, nullptr, nullptr},
                      AbortCase{"product_after_literals", L"ab{PRODUCT}", 13, nullptr, nullptr},
                      AbortCase{"version", L"{VERSION}", 8, nullptr, nullptr},
                      AbortCase{"file_version", L"{FILE_VERSION}", 8, nullptr, nullptr},
                      AbortCase{"product_version", L"{PRODUCT_VERSION}", 8, nullptr, nullptr},
                      AbortCase{"home", L"{HOME}", 3, nullptr, nullptr},
                      AbortCase{"cache_dir", L"x{CACHE_DIR}", 4, nullptr, nullptr},
                      AbortCase{"process_id", L"{PID}", 1, nullptr, nullptr},
                      AbortCase{"parent_value", L"{PID}", 5, parent, L"01234"},
                      AbortCase{"random", L"{RANDOM}", 11, nullptr, nullptr},
                      AbortCase{"random_cached", L"{RANDOM}", 3, L"QARVEL_ONEFILE_RANDOM", L"abc"},
                      AbortCase{"time_us", L"{TIME_US}", 6, nullptr, nullptr},
                      AbortCase{"time", L"{TIME}", 10, nullptr, nullptr}),
    abort_case_name);

// Only "0" to "9" make a process id, whatever else the runtime calls a digit.
INSTANTIATE_TEST_SUITE_P(
    ParentNotDigits, TemplateDeathTest,
    ::testing::Values(AbortCase{"letter", L"{PID}", 4096, parent, L"12a"},
                      AbortCase{"sign", L"{PID}", 4096, parent, L"-12"},
                      AbortCase{"space", L"{PID}", 4096, parent, L"12 "},
                      AbortCase{"arabic_indic_digits", L"{PID}", 4096, parent, L"\u0661\u0662"},
                      AbortCase{"fullwidth_digit", L"{PID}", 4096, parent, L"1\uFF11"},
                      AbortCase{"superscript_two", L"{PID}", 4096, parent, L"1\u00B2"}),
    abort_case_name);

} // namespace
