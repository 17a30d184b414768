// Directory creation and the known-directory list, in this process. A
// directory removed behind the list's back shows whether a request reached
// the system: a remembered one is not made again.
#include "paths/directories.h"
#include "support/launcher_run.h"
#include "system_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <shlobj.h>
#include <string>
#include <windows.h>

using namespace qarvel_test;
namespace fs = std::filesystem;

namespace {

// The list emptied, as a new run finds it.
void forget_known_directories() {
    for (unsigned i = 0; i < known_directory_count; ++i)
        free(known_directories[i]);
    known_directory_count = 0;
}

// Every test starts with an empty list, in a folder of its own.
class Directories : public ::testing::Test {
  protected:
    void SetUp() override {
        forget_known_directories();
        root = fresh_directory("directories").wstring();
    }
    std::wstring root;
};

bool exists(const std::wstring& path) {
    return fs::exists(fs::path(path));
}

TEST_F(Directories, TheListStartsWithHomeAndRemembersWhatWasMade) {
    std::wstring made = root + L"\\made";
    EXPECT_TRUE(ensure_directory(made.c_str()));
    EXPECT_TRUE(exists(made));
    EXPECT_EQ(known_directory_count, 2u) << "home and the new directory";

    // Home is in the list exactly as "{HOME}" spells it.
    EXPECT_TRUE(ensure_directory(shell_folder(CSIDL_PROFILE).c_str()));
    EXPECT_EQ(known_directory_count, 2u);

    ASSERT_TRUE(RemoveDirectoryW(made.c_str()));
    EXPECT_TRUE(ensure_directory(made.c_str()));
    EXPECT_FALSE(exists(made)) << "a remembered directory costs no second system call";
}

TEST_F(Directories, ComparisonIsExactAndCaseSensitive) {
    std::wstring made = root + L"\\Made";
    EXPECT_TRUE(ensure_directory(made.c_str()));
    std::wstring upper = root + L"\\MADE";
    // The same folder on disk, a new entry in the list.
    EXPECT_TRUE(ensure_directory(upper.c_str()));
    EXPECT_EQ(known_directory_count, 3u);
    std::wstring trailing = made + L"\\";
    EXPECT_TRUE(ensure_directory(trailing.c_str()));
    EXPECT_EQ(known_directory_count, 4u);
}

TEST_F(Directories, BareDrivesAreAcceptedWithoutTheSystem) {
    EXPECT_TRUE(ensure_directory(L"C:"));
    EXPECT_TRUE(ensure_directory(L"c:"));
    // No such drive is needed either: the system is not asked.
    DWORD drives = GetLogicalDrives();
    wchar_t missing[3] = {L'Q', L':', 0};
    for (wchar_t letter = L'Y'; letter > L'D'; --letter) {
        if ((drives & (1u << (letter - L'A'))) == 0) {
            missing[0] = letter;
            break;
        }
    }
    EXPECT_TRUE(ensure_directory(missing));
    EXPECT_EQ(known_directory_count, 1u) << "only home";
}

TEST_F(Directories, ExistingDirectoriesAreAcceptedAndRemembered) {
    std::wstring existing = root + L"\\existing";
    fs::create_directory(fs::path(existing));
    EXPECT_TRUE(ensure_directory(existing.c_str()));
    EXPECT_EQ(known_directory_count, 2u);
}

TEST_F(Directories, ADirectoryWithoutItsParentFailsAndIsNotRemembered) {
    std::wstring orphan = root + L"\\missing\\orphan";
    EXPECT_FALSE(ensure_directory(orphan.c_str()));
    EXPECT_FALSE(exists(orphan));
    EXPECT_EQ(known_directory_count, 1u);
}

TEST_F(Directories, ParentsAreMadeOnlyAsHighAsNeeded) {
    struct ParentCase {
        std::wstring file;
        bool result;
        unsigned count;         // list size afterwards
        std::wstring directory; // must exist afterwards
    };
    fs::create_directory(fs::path(root + L"\\present"));
    const ParentCase cases[] = {
        // No backslash after the first unit: no parent, no list, no home.
        {L"file.txt", true, 0, L""},
        {L"\\file.txt", true, 0, L""},
        // The parent exists: one request, for the parent alone.
        {root + L"\\present\\a.txt", true, 2, root + L"\\present"},
        // Three levels missing: the climb stops at root, which is never asked.
        {root + L"\\a\\b\\c\\one.txt", true, 5, root + L"\\a\\b\\c"},
        {root + L"\\a\\b\\c\\two.txt", true, 5, root + L"\\a\\b\\c"},
        {root + L"\\a\\b\\d\\three.txt", true, 6, root + L"\\a\\b\\d"},
    };
    for (const ParentCase& expected : cases) {
        SCOPED_TRACE(to_utf8(expected.file));
        EXPECT_EQ(ensure_parent_directories(expected.file.c_str()), expected.result);
        EXPECT_EQ(known_directory_count, expected.count);
        if (!expected.directory.empty()) {
            EXPECT_TRUE(exists(expected.directory));
        }
    }
}

TEST_F(Directories, DeepPathsThatCannotBeMadeFailWithoutExhaustingTheStack) {
    DWORD drives = GetLogicalDrives();
    wchar_t letter = L'Y';
    while (letter > L'D' && (drives & (1u << (letter - L'A'))) != 0)
        --letter;
    ASSERT_GT(letter, L'D') << "no free drive letter";
    // 2045 levels below a drive that does not exist, 4095 units in all.
    std::wstring file = std::wstring(1, letter) + L":";
    while (file.size() < 4092)
        file += L"\\d";
    file += L"\\fx";
    ASSERT_EQ(file.size(), 4095u);
    EXPECT_FALSE(ensure_parent_directories(file.c_str()));
    EXPECT_EQ(known_directory_count, 1u);
}

TEST_F(Directories, PathsLongerThanTheBufferEndTheProcessSilently) {
    std::wstring file = L"C:\\" + std::wstring(4093, L'f');
    ASSERT_EQ(file.size(), 4096u);
    EXPECT_EXIT(ensure_parent_directories(file.c_str()), ::testing::ExitedWithCode(3), "^$");
}

TEST_F(Directories, AFullListRemembersNoMore) {
    // Home and 1023 directories fill the list.
    for (int i = 0; i < 1023; ++i) {
        std::wstring directory = root + L"\\d" + std::to_wstring(i);
        ASSERT_TRUE(ensure_directory(directory.c_str()));
    }
    ASSERT_EQ(known_directory_count, 1024u);
    std::wstring remembered = root + L"\\d0";
    std::wstring extra = root + L"\\extra";
    EXPECT_TRUE(ensure_directory(extra.c_str()));
    EXPECT_TRUE(exists(extra));
    EXPECT_EQ(known_directory_count, 1024u);

    // A later request for it reaches the system again, found or made.
    EXPECT_TRUE(ensure_directory(extra.c_str()));
    ASSERT_TRUE(RemoveDirectoryW(extra.c_str()));
    EXPECT_TRUE(ensure_directory(extra.c_str()));
    EXPECT_TRUE(exists(extra));

    ASSERT_TRUE(RemoveDirectoryW(remembered.c_str()));
    EXPECT_TRUE(ensure_directory(remembered.c_str()));
    EXPECT_FALSE(exists(remembered));
    EXPECT_EQ(known_directory_count, 1024u);
}

} // namespace
