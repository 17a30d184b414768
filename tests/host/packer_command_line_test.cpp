// qarvel-pack as a user meets it on the command line: its own one-line
// messages for wrong commands and outputs, and nothing left behind when a
// create fails or is interrupted.
#include "packer/payload/payload_writer.h"
#include "support/packer_run.h"
#include "support/windows_program.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

std::vector<std::string> names_in(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// What a stream must hold: nothing at all, or text that holds a part.
struct Output {
    bool nothing;
    std::string part;
};
Output nothing() {
    return {true, ""};
}
Output holding(std::string part) {
    return {false, std::move(part)};
}

void expect_output(const std::string& stream, const Output& expected, const char* which) {
    if (expected.nothing) {
        EXPECT_EQ(stream, "") << which << " holds something";
        return;
    }
    ASSERT_FALSE(expected.part.empty()) << "a case that expects output names a part of it";
    EXPECT_NE(stream.find(expected.part), std::string::npos)
        << which << " lacks \"" << expected.part << "\": " << stream;
}

struct CommandCase {
    const char* name;
    std::vector<std::string> arguments; // "@" stands for the scratch folder
    int exit_code;
    Output err, out;
    bool unprivileged = false;
};

class CommandLine : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandLine, SaysItsOwnLine) {
    const CommandCase& command = GetParam();
    ScratchFolder scratch;
    write_bytes(scratch / "app/main.exe", windows_program());
    fs::create_directories(scratch / "out/folder");
    fs::permissions(scratch / "out", fs::perms::all);
    fs::create_directories(scratch / "read-only");
    int user = command.unprivileged && geteuid() == 0 ? 65534 : -1;
    if (command.unprivileged && user < 0)
        GTEST_SKIP() << "needs root, to run qarvel-pack as a user who cannot write a folder";
    std::vector<std::string> arguments;
    for (const auto& argument : command.arguments)
        arguments.push_back(
            argument.rfind('@', 0) == 0 ? scratch.path().string() + argument.substr(1) : argument);
    auto result = run_pack(arguments, user);
    EXPECT_EQ(result.exit_code, command.exit_code) << result.err;
    expect_output(result.err, command.err, "stderr");
    expect_output(result.out, command.out, "stdout");
    if (command.exit_code != 0) {
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
        EXPECT_EQ(result.err.find("filesystem error"), std::string::npos) << result.err;
    }
    EXPECT_EQ(names_in(scratch / "out"), std::vector<std::string>{"folder"})
        << "something was written";
}

const std::string program_path = QARVEL_PACK_PROGRAM;

INSTANTIATE_TEST_SUITE_P(
    Packer, CommandLine,
    ::testing::Values(
        CommandCase{"version", {"--version"}, 0, nothing(), holding("qarvel-pack ")},
        CommandCase{"default_window",
                    {"--print-default", "window-log"},
                    0,
                    nothing(),
                    holding(std::to_string(qarvel::CompressionOptions{}.window_log) + "\n")},
        CommandCase{"usage_names_the_program",
                    {"--help"},
                    0,
                    nothing(),
                    holding("Usage: qarvel-pack [OPTIONS]")},
        CommandCase{"command_usage_names_the_program",
                    {"create", "--help"},
                    0,
                    nothing(),
                    holding("Usage: qarvel-pack create [OPTIONS] DIR")},
        CommandCase{"output_is_a_folder",
                    {"create", "@/app", "--main", "main.exe", "-o", "@/out/folder"},
                    1,
                    holding("/out/folder is a folder; name the payload file to write"),
                    nothing()},
        CommandCase{"depfile_cannot_be_written",
                    {"create", "@/app", "--main", "main.exe", "-o", "@/out/p", "--depfile",
                     "@/app/main.exe/p.d"},
                    1,
                    holding("cannot write "),
                    nothing()},
        CommandCase{"payload_cannot_be_written_after_its_depfile",
                    {"create", "@/app", "--main", "main.exe", "-o", "@/read-only/p", "--depfile",
                     "@/out/p.d"},
                    1,
                    holding("cannot write "),
                    nothing(),
                    true},
        CommandCase{
            "depfile_is_a_folder",
            {"create", "@/app", "--main", "main.exe", "-o", "@/out/p", "--depfile", "@/out/folder"},
            1,
            holding("is a folder; name the dependency file to write"),
            nothing()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLine, HelpShowsNoBuildPath) {
    for (auto arguments : {std::vector<std::string>{"--help"}, {"create", "--help"}}) {
        auto result = run_pack(arguments);
        EXPECT_EQ(result.out.find(program_path), std::string::npos) << result.out;
    }
}

// A pack long enough to be interrupted while it writes its output.
void make_slow_folder(const fs::path& app) {
    write_bytes(app / "main.exe", windows_program());
    write_bytes(app / "one.bin", pattern_bytes(24 << 20, 11));
    write_bytes(app / "two.bin", pattern_bytes(24 << 20, 12));
}

class InterruptedCreate : public ::testing::TestWithParam<int> {};

TEST_P(InterruptedCreate, LeavesNothingBehind) {
    const int signal_number = GetParam();
    ScratchFolder scratch;
    make_slow_folder(scratch / "app");
    fs::create_directories(scratch / "out");
    std::string app = (scratch / "app").string(), output = (scratch / "out/p").string(),
                depfile = (scratch / "out/p.d").string();

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(QARVEL_PACK_PROGRAM, "qarvel-pack", "create", app.c_str(), "--main", "main.exe", "-o",
              output.c_str(), "--depfile", depfile.c_str(), "--level", "19", "--threads", "2", "-q",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    // Interrupt once the payload's temporary file is there.
    auto payload_started = [&] {
        for (const auto& name : names_in(scratch / "out"))
            if (name.rfind("p.partial-", 0) == 0)
                return true;
        return false;
    };
    auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!payload_started() && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(payload_started()) << "the pack never started writing";
    ASSERT_EQ(kill(child, signal_number), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);

    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number)
        << "ends as the signal would have, status " << status;
    EXPECT_EQ(names_in(scratch / "out"), std::vector<std::string>{}) << "something was left";
}

INSTANTIATE_TEST_SUITE_P(Packer, InterruptedCreate, ::testing::Values(SIGINT, SIGTERM),
                         [](const auto& info) { return std::string(strsignal(info.param)); });

} // namespace
