// A launcher built to ask for administrator rights, run under Wine. Wine
// runs it without asking (it ignores the manifest's execution level), and
// reports every folder as owned by its user with full access for the user:
// as on a Windows machine where an unelevated program made the folders,
// the launcher must refuse before it writes anything or starts its child.
#include "launcher/elevation.h"
#include "support/launcher_run.h"
#include "system_paths.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <string>
#include <windows.h>

using namespace qarvel_test;
namespace fs = std::filesystem;

namespace {

TEST(ElevatedLauncher, RefusesAFolderThatItsUserOwns) {
    // The default folder of an elevated launcher lies below Program Files.
    fs::path company = fs::path(shell_folder(CSIDL_PROGRAM_FILES)) / "QarvelTests";
    fs::remove_all(company);
    std::wstring target = company.wstring() + L"\\Elevated\\1.0";

    Launch launch = launch_fresh("paths_elevated", L"one two");
    EXPECT_EQ(launch.result.exit_code, 2u);
    // Wine's C:\ is its user's, so the first level from the drive down fails.
    EXPECT_EQ(launch.result.err, "Error, refusing to run as administrator from '" +
                                     to_utf8(target) +
                                     "': 'C:\\' is not owned by Administrators, SYSTEM or "
                                     "TrustedInstaller.\r\n");
    EXPECT_EQ(launch.result.out, "") << "no child ran";
    EXPECT_FALSE(fs::exists(company)) << "nothing was made below Program Files";
    EXPECT_EQ(files_below(launch.directory).size(), 1u) << "nothing beside the launcher either";
}

// Wine gives every process a token that says it is elevated, whatever its
// manifest and however it was started, and enforces no rights at all: no
// launch there is taken for elevated by its token, or every launcher would
// refuse its own cache. What Windows answers is shown by the PowerShell
// script in tests/windows.
TEST(Elevation, WinesTokensCountForNothing) {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size));
    CloseHandle(token);
    EXPECT_NE(elevation.TokenIsElevated, 0u) << "Wine answers elevated";
    EXPECT_FALSE(token_is_elevated());
    EXPECT_FALSE(manifest_requires_administrator()) << "this test program asks for nothing";
    EXPECT_FALSE(launch_is_elevated());
}

// The volume comes first: what a removable disk or a share reports of its
// folders' owners means nothing. Wine will not say what kind of disk its
// Z: drive (the Linux root) is, so a launcher run from there is refused
// before any of its folders is judged.
TEST(ElevatedLauncher, RefusesADiskWhoseKindItCannotRead) {
    fs::path launcher = launchers_folder() / "paths_elevated_beside.exe";
    ASSERT_EQ(launcher.wstring().rfind(L"Z:\\", 0), 0u) << "the test launchers lie on Z:";
    fs::path cache = launchers_folder() / "elevated-cache";
    fs::remove_all(cache);

    ProcessResult result = run_launcher(launcher, L"one");
    EXPECT_EQ(result.exit_code, 2u);
    EXPECT_EQ(result.err, "Error, refusing to run as administrator from '" +
                              to_utf8(cache.wstring()) +
                              "': 'Z:\\' is a disk whose kind cannot be read.\r\n");
    EXPECT_EQ(result.out, "") << "no child ran";
    EXPECT_FALSE(fs::exists(cache)) << "nothing was made";
}

} // namespace
