// Launchers whose target specs use tokens, run as black boxes. The echo
// child reports the path it was started from, which shows the directory the
// spec expanded to, and the variables it inherited.
#include "support/launcher_run.h"
#include "system_paths.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <string>
#include <windows.h>

using namespace qarvel_test;
namespace fs = std::filesystem;

namespace {

const char base64_url_alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// The value of an inherited variable in the echo child's report.
std::string inherited(const std::multimap<std::string, std::string>& report,
                      const std::string& name) {
    auto [first, last] = report.equal_range("env");
    for (auto it = first; it != last; ++it) {
        if (it->second.compare(0, name.size() + 1, name + "=") == 0)
            return it->second.substr(name.size() + 1);
    }
    return "<unset>";
}

long long system_time() {
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    return static_cast<long long>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

bool all_digits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

TEST(LauncherPaths, TokensOfOneRunMakeTheTargetDirectory) {
    // Values a parent launcher left behind are never reused.
    RunOptions options;
    options.environment = {{L"QARVEL_ONEFILE_RANDOM", L"stale"},
                           {L"QARVEL_ONEFILE_TIME_US", L"stale"},
                           {L"QARVEL_ONEFILE_START", L"stale"},
                           {L"QARVEL_ONEFILE_PARENT", L"0042"}};
    long long before = system_time();
    Launch launch = launch_fresh("paths_run_tokens", L"", options);
    long long after = system_time();
    ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
    auto report = parse_report(launch.result.out);

    std::string pid = std::to_string(launch.result.process_id);
    std::string random = inherited(report, "QARVEL_ONEFILE_RANDOM");
    std::string microseconds = inherited(report, "QARVEL_ONEFILE_TIME_US");
    std::string time = inherited(report, "QARVEL_ONEFILE_START");
    EXPECT_EQ(inherited(report, "QARVEL_ONEFILE_PARENT"), pid);
    EXPECT_EQ(random.size(), 11u);
    EXPECT_EQ(random.find_first_not_of(base64_url_alphabet), std::string::npos) << random;
    EXPECT_EQ(microseconds.size(), 6u);
    EXPECT_TRUE(all_digits(microseconds)) << microseconds;
    ASSERT_TRUE(all_digits(time)) << time;
    EXPECT_GE(std::stoll(time), before);
    EXPECT_LE(std::stoll(time), after);

    EXPECT_EQ(report_value(report, "exe"),
              to_utf8(launch.directory.wstring()) +
                  "\\cache\\Lumbrook Crafts\\Quillowmere\\1.20.0.0-1.20.0.0-1.20.0.0\\" + pid +
                  "\\" + random + "\\" + microseconds + "\\" + time + "\\main.exe");
}

TEST(LauncherPaths, FolderTokensAreTheUsersFolders) {
    struct FolderCase {
        const char* launcher;
        std::wstring folder;
    };
    const FolderCase cases[] = {
        {"paths_cache_dir", shell_folder(CSIDL_LOCAL_APPDATA)},
        // Machine-wide; Wine lets its user write there.
        {"paths_program_files", shell_folder(CSIDL_PROGRAM_FILES)},
        {"paths_temp", temporary_folder()},
    };
    for (const FolderCase& expected : cases) {
        SCOPED_TRACE(expected.launcher);
        Launch launch = launch_fresh(expected.launcher);
        ASSERT_EQ(launch.result.exit_code, 0u) << launch.result.err;
        std::wstring target =
            expected.folder + L"\\qarvel-paths-" + std::to_wstring(launch.result.process_id);
        EXPECT_EQ(report_value(parse_report(launch.result.out), "exe"),
                  to_utf8(target + L"\\main.exe"));
        EXPECT_TRUE(fs::exists(fs::path(target) / "main.exe"));
        fs::remove_all(fs::path(target));
    }
}

// A temporary folder longer than the room for the target directory cannot
// stand in the template: the launch names the template and stops, rather than
// expanding {TEMP} to nothing and unpacking at the current drive's root.
TEST(LauncherPaths, ATemporaryFolderTooLongForThePathAborts) {
    const std::wstring long_folder = L"C:\\" + std::wstring(5000, L't');
    RunOptions options;
    options.environment = {{L"TMP", long_folder}, {L"TEMP", long_folder}};
    fs::path current = fresh_directory("long-temp-current");
    options.directory = current.wstring();
    Launch launch = launch_fresh("paths_temp", L"", options);
    fs::path at_root =
        current.root_path() / ("qarvel-paths-" + std::to_string(launch.result.process_id));
    bool unpacked_at_root = fs::exists(at_root);
    fs::remove_all(at_root);
    EXPECT_EQ(launch.result.exit_code, 3u) << launch.result.out;
    EXPECT_EQ(launch.result.out, "");
    EXPECT_EQ(launch.result.err,
              "Error, couldn't runtime expand spec '{TEMP}\\qarvel-paths-{PID}'.\r\n");
    EXPECT_FALSE(unpacked_at_root) << at_root;
}

TEST(LauncherPaths, ProgramBaseDropsOnlyAnExeExtension) {
    struct NameCase {
        const char* file_name;
        const char* target;
    };
    const NameCase cases[] = {
        {"Tool.exe", "Tool-cache"},
        {"Tool.EXE", "Tool-cache"},
        {"Tool.v2.Exe", "Tool.v2-cache"},
        {"Tool.bin", "Tool.bin-cache"},
    };
    for (const NameCase& expected : cases) {
        SCOPED_TRACE(expected.file_name);
        fs::path directory = fresh_directory("program-base");
        fs::path launcher = directory / expected.file_name;
        fs::copy_file(launchers_folder() / "paths_program_base.exe", launcher);
        ProcessResult result = run_launcher(launcher);
        ASSERT_EQ(result.exit_code, 0u) << result.err;
        EXPECT_EQ(report_value(parse_report(result.out), "exe"),
                  to_utf8((directory / expected.target / "main.exe").wstring()));
    }
}

TEST(LauncherPaths, ProgramDirOfALauncherInADriveRootIsTheDrive) {
    fs::path launcher = L"C:\\qarvel-root-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    fs::copy_file(launchers_folder() / "paths_drive_root.exe", launcher,
                  fs::copy_options::overwrite_existing);
    ProcessResult result = run_launcher(launcher);
    std::wstring target = L"C:\\qarvel-root-" + std::to_wstring(result.process_id);
    auto report = parse_report(result.out);
    EXPECT_EQ(result.exit_code, 0u) << result.err;
    EXPECT_EQ(report_value(report, "exe"), to_utf8(target + L"\\main.exe"));
    EXPECT_EQ(inherited(report, "QARVEL_ONEFILE_DIRECTORY"), "C:");
    fs::remove_all(fs::path(target));
    fs::remove(launcher);
}

TEST(LauncherPaths, TheTargetDirectoryIsMadeAbsolute) {
    // "{PROGRAM_DIR}\sub\..\.\cache": the system resolves "." and "..".
    Launch normalised = launch_fresh("paths_normalised");
    ASSERT_EQ(normalised.result.exit_code, 0u) << normalised.result.err;
    EXPECT_EQ(report_value(parse_report(normalised.result.out), "exe"),
              to_utf8((normalised.cache / "main.exe").wstring()));
    EXPECT_FALSE(fs::exists(normalised.directory / "sub"));

    // "relative-cache\{PRODUCT}": below the current directory, not the launcher's.
    fs::path directory = fresh_directory("relative");
    fs::path current = fresh_directory("relative-current");
    fs::path launcher = place_launcher("paths_relative", directory);
    RunOptions options;
    options.directory = current.wstring();
    ProcessResult result = run_launcher(launcher, L"", options);
    ASSERT_EQ(result.exit_code, 0u) << result.err;
    EXPECT_EQ(report_value(parse_report(result.out), "exe"),
              to_utf8((current / "relative-cache" / "Quillowmere" / "main.exe").wstring()));
    EXPECT_EQ(files_below(directory).size(), 1u) << "only the launcher itself";
}

TEST(LauncherPaths, ASpecThatCannotBeExpandedIsNamedAndAborts) {
    Launch launch = launch_fresh("paths_unknown_token");
    EXPECT_EQ(launch.result.exit_code, 3u);
    EXPECT_EQ(launch.result.out, "");
    EXPECT_EQ(launch.result.err, "Error, couldn't runtime expand spec '{NOSUCH}\\x'.\r\n");
    std::vector<fs::path> written;
    for (const auto& entry : fs::recursive_directory_iterator(launch.directory))
        written.push_back(entry.path());
    EXPECT_EQ(written, std::vector<fs::path>{launch.launcher});
}

} // namespace
