// A launcher built to ask for administrator rights, run under Wine. Wine
// runs it without asking (it ignores the manifest's execution level), and
// reports every folder as owned by its user with full access for the user:
// as on a Windows machine where an unelevated program made the folders,
// the launcher must refuse before it writes anything or starts its child.
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

} // namespace
