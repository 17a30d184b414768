// Environment access by ASCII names and the launcher path, in this process.
#include "paths/environment.h"
#include "system_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <windows.h>

using namespace qarvel_test;

namespace {

// The value as get_environment_value returns it; "<null>" for none.
std::wstring read(const char* name) {
    wchar_t* value = get_environment_value(name);
    std::wstring text = value == nullptr ? L"<null>" : value;
    free(value);
    return text;
}

TEST(Environment, EmptyValuesReadLikeMissingOnes) {
    struct ValueCase {
        const wchar_t* value; // null: the variable is removed
        const wchar_t* read;
    };
    const ValueCase cases[] = {
        {nullptr, L"<null>"},
        {L"", L"<null>"},
        {L"x", L"x"},
        {L" C:\\with space\\ ", L" C:\\with space\\ "},
        {L"\u00e9\u4e2d\U0001F600", L"\u00e9\u4e2d\U0001F600"},
    };
    for (const ValueCase& expected : cases) {
        SetEnvironmentVariableW(L"QARVEL_TEST_VALUE", expected.value);
        EXPECT_EQ(read("QARVEL_TEST_VALUE"), expected.read);
    }
    SetEnvironmentVariableW(L"QARVEL_TEST_VALUE", nullptr);
}

TEST(Environment, SetAndClearReachTheProcessEnvironment) {
    EXPECT_TRUE(set_environment_value("QARVEL_TEST_SET", L"value"));
    wchar_t value[16] = {};
    EXPECT_EQ(GetEnvironmentVariableW(L"QARVEL_TEST_SET", value, 16), 5u);
    EXPECT_STREQ(value, L"value");
    EXPECT_EQ(read("qarvel_test_set"), L"value");

    EXPECT_TRUE(clear_environment_value("QARVEL_TEST_SET"));
    EXPECT_EQ(read("QARVEL_TEST_SET"), L"<null>");
    // Clearing what is not there changes nothing and does not end the process.
    clear_environment_value("QARVEL_TEST_SET");
    EXPECT_EQ(read("QARVEL_TEST_SET"), L"<null>");
}

TEST(Environment, NamesOf39CharactersAreAccepted) {
    const std::string name(39, 'N');
    EXPECT_TRUE(set_environment_value(name.c_str(), L"long name"));
    EXPECT_EQ(read(name.c_str()), L"long name");
    wchar_t value[16] = {};
    EXPECT_EQ(GetEnvironmentVariableW(std::wstring(39, L'N').c_str(), value, 16), 9u);
    EXPECT_TRUE(clear_environment_value(name.c_str()));
    EXPECT_EQ(read(name.c_str()), L"<null>");
}

TEST(EnvironmentDeathTest, NamesOf40CharactersEndTheProcessSilently) {
    const std::string name(40, 'N');
    EXPECT_EXIT(get_environment_value(name.c_str()), ::testing::ExitedWithCode(3), "^$");
    EXPECT_EXIT(set_environment_value(name.c_str(), L"x"), ::testing::ExitedWithCode(3), "^$");
    EXPECT_EXIT(clear_environment_value(name.c_str()), ::testing::ExitedWithCode(3), "^$");
}

TEST(LauncherPath, IsTheModulePathFetchedOnce) {
    const wchar_t* first = get_launcher_path();
    const wchar_t* second = get_launcher_path();
    EXPECT_EQ(first, second);
    EXPECT_EQ(std::wstring(first), module_path());
}

} // namespace
