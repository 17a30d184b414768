#include "support/launcher_run.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace qarvel_test {

namespace {

// Wine hands out process ids again soon, so a test program's folder is named
// by its id and its start time: a folder left by an earlier program can hold
// paths longer than the C runtime's directory listing takes, which would
// make clearing it fail.
const fs::path& run_directory() {
    static const fs::path directory = [] {
        FILETIME start{};
        GetSystemTimeAsFileTime(&start);
        ULONGLONG ticks =
            (static_cast<ULONGLONG>(start.dwHighDateTime) << 32) | start.dwLowDateTime;
        return fs::temp_directory_path() / "qarvel-tests" /
               (std::to_string(GetCurrentProcessId()) + "-" + std::to_string(ticks));
    }();
    return directory;
}

} // namespace

fs::path fresh_directory(const std::string& label) {
    static std::atomic<int> counter{0};
    fs::path directory = run_directory() / (label + "-" + std::to_string(counter++));
    fs::remove_all(directory);
    fs::create_directories(directory);
    return directory;
}

fs::path launchers_folder() {
    return fs::path(QARVEL_TEST_LAUNCHERS);
}

fs::path place_launcher(const std::string& name, const fs::path& directory) {
    fs::path source = launchers_folder() / (name + ".exe");
    fs::path target = directory / (name + ".exe");
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
    return target;
}

ProcessResult run_launcher(const fs::path& launcher, const std::wstring& arguments,
                           const RunOptions& options) {
    std::wstring command_line = L"\"" + launcher.wstring() + L"\"";
    if (!arguments.empty())
        command_line += L" " + arguments;
    return run_process(launcher.wstring(), command_line, options);
}

Launch launch_fresh(const std::string& name, const std::wstring& arguments,
                    const RunOptions& options) {
    Launch launch;
    launch.directory = fresh_directory(name);
    launch.launcher = place_launcher(name, launch.directory);
    launch.cache = launch.directory / "cache";
    launch.result = run_launcher(launch.launcher, arguments, options);
    return launch;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::map<std::string, std::string> files_below(const fs::path& root) {
    std::map<std::string, std::string> files;
    if (!fs::exists(root))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file() && entry.path().filename() != cache_lock_file_name)
            files[fs::relative(entry.path(), root).generic_string()] = read_file(entry.path());
    }
    return files;
}

std::multimap<std::string, std::string> parse_report(const std::string& report) {
    std::multimap<std::string, std::string> values;
    std::istringstream lines(report);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t equals = line.find('=');
        if (equals != std::string::npos)
            values.emplace(line.substr(0, equals), line.substr(equals + 1));
    }
    return values;
}

std::string report_value(const std::multimap<std::string, std::string>& report,
                         const std::string& key) {
    auto it = report.find(key);
    return it == report.end() ? std::string("<missing>") : it->second;
}

fs::path echo_child_path() {
    return fs::path(QARVEL_TEST_LAUNCHERS) / "echo_child.exe";
}

} // namespace qarvel_test
