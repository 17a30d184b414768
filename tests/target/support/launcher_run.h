#pragma once

#include "support/windows_process.h"

#include <filesystem>
#include <map>
#include <string>

namespace qarvel_test {

// A fresh, empty folder for one test, under the temporary folder.
std::filesystem::path fresh_directory(const std::string& label);

// Where the test launchers are, as the build made them.
std::filesystem::path launchers_folder();

// Copies the test launcher built as NAME into directory; test launchers
// unpack into "cache" beside themselves, so each copy has its own cache.
std::filesystem::path place_launcher(const std::string& name,
                                     const std::filesystem::path& directory);

// Runs a launcher with arguments after its own name.
ProcessResult run_launcher(const std::filesystem::path& launcher,
                           const std::wstring& arguments = L"", const RunOptions& options = {});

// Places NAME in a fresh folder and runs it once.
struct Launch {
    std::filesystem::path directory;
    std::filesystem::path launcher;
    std::filesystem::path cache;
    ProcessResult result;
};
Launch launch_fresh(const std::string& name, const std::wstring& arguments = L"",
                    const RunOptions& options = {});

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& bytes);

// The lock file a launch that writes leaves in its cache folder.
inline const std::filesystem::path cache_lock_file_name = ".qarvel-lock";

// Every file below root, relative name to content; a cache's lock file,
// which stays between launches, left out.
std::map<std::string, std::string> files_below(const std::filesystem::path& root);

// The echo child's report: "key=value" lines. Repeated keys (arg, env)
// keep their order in the multimap.
std::multimap<std::string, std::string> parse_report(const std::string& report);
std::string report_value(const std::multimap<std::string, std::string>& report,
                         const std::string& key);

// The built echo child, for tests that compare against its own bytes.
std::filesystem::path echo_child_path();

} // namespace qarvel_test
