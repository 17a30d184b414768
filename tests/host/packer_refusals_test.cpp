// qarvel-pack's refusals, the argument parser's included, each one line
// "qarvel-pack: error: ..." with exit code 1; the main executable checked
// as a Windows program; the defaults and help texts a user reads.
#include "support/packer_run.h"
#include "support/windows_program.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>
#include <zlib.h>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

struct Refusal {
    const char* name;
    std::vector<std::string> arguments; // "@" stands for the scratch folder
    std::string line;                   // after "qarvel-pack: error: "; "@" as above
};

std::string in_scratch(const std::string& text, const ScratchFolder& scratch) {
    std::string result;
    for (char c : text)
        result += c == '@' ? scratch.path().string() : std::string(1, c);
    return result;
}

void make_app(const fs::path& app) {
    write_bytes(app / "main.exe", windows_program());
    write_bytes(app / "x86.exe", windows_program(machine_x86));
    write_bytes(app / "arm.exe", windows_program(machine_arm64));
    write_bytes(app / "lib.dll", windows_program(machine_x64, image_dll));
    write_file(app / "data/notes.txt", "notes\n");
    write_file(app / "stub.exe", "MZ" + std::string(62, '\0'));
    write_file(app / "tool", "\x7F"
                             "ELF\2\1\1");
    write_file(app / "empty.exe", "");
}

class Refused : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refused, WithOneLineAndExitCode1) {
    ScratchFolder scratch;
    make_app(scratch / "app");
    write_file(scratch / "a-file", "x");
    std::vector<std::string> arguments;
    for (const auto& argument : GetParam().arguments)
        arguments.push_back(in_scratch(argument, scratch));
    auto result = run_pack(arguments);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "qarvel-pack: error: " + in_scratch(GetParam().line, scratch) + "\n");
    EXPECT_FALSE(fs::exists(scratch / "out")) << "something was written";
}

const std::string commands = "the commands are create, launcher, list, verify, extract and "
                             "identity; qarvel-pack --help describes them";

INSTANTIATE_TEST_SUITE_P(
    Packer, Refused,
    ::testing::Values(
        Refusal{"no_command", {}, "name a command; " + commands},
        Refusal{"unknown_command", {"bogus"}, "'bogus' is not a command; " + commands},
        Refusal{"near_command",
                {"lanucher", "@/app"},
                "'lanucher' is not a command (did you mean launcher?); " + commands},
        Refusal{"unknown_program_option", {"--colour"}, "unknown option --colour"},
        Refusal{
            "output_missing", {"create", "@/app", "--main", "main.exe"}, "--output is required"},
        Refusal{"near_option_named_before_a_missing_one",
                {"launcher", "@/app", "--mian", "main.exe"},
                "unknown option --mian for launcher; did you mean --main?"},
        Refusal{
            "first_of_several_unknown_options",
            {"create", "@/app", "--main", "main.exe", "-o", "@/out/p", "--levle", "3", "--quite"},
            "unknown option --levle for create; did you mean --level?"},
        Refusal{"option_with_a_value",
                {"extract", "@/p", "--output=@/out", "--quiet=yes", "--frobnicate=1"},
                "unknown option --frobnicate for extract"},
        Refusal{"stray_argument",
                {"create", "@/app", "more", "--main", "main.exe", "-o", "@/out/p"},
                "unexpected argument 'more'"},
        Refusal{"version_needs_a_value",
                {"launcher", "@/app", "--main", "main.exe", "-o", "@/out/a.exe", "--version"},
                "--version needs a value (A.B.C.D)"},
        Refusal{"version_alone", {"launcher", "--version"}, "--version needs a value (A.B.C.D)"},
        Refusal{"level_needs_a_value",
                {"create", "@/app", "--main", "main.exe", "-o", "@/out/p", "--level"},
                "--level needs a value (N)"},
        Refusal{"level_out_of_range",
                {"create", "@/app", "--main", "main.exe", "-o", "@/out/p", "--level", "23"},
                "--level: want a number from 1 to 22, not 23"},
        Refusal{"threads_not_a_number",
                {"create", "@/app", "--main", "main.exe", "-o", "@/out/p", "--threads", "many"},
                "--threads: want a number from 1 to 256, not 'many'"},
        Refusal{"missing_file", {"list", "@/none"}, "no such file: @/none"},
        Refusal{"file_is_a_folder",
                {"verify", "@/app"},
                "@/app is a folder; name a payload or a launcher"},
        Refusal{"print_default_of_nothing",
                {"--print-default", "speed"},
                "--print-default: speed not in {level,window-log,threads}"},
        Refusal{"folder_and_payload",
                {"launcher", "@/app", "--payload", "@/a-file", "-o", "@/out/a.exe"},
                "a folder DIR and --payload FILE cannot be combined: a launcher carries one or "
                "the other"},
        Refusal{"extract_onto_a_file",
                {"extract", "@/a-file", "-o", "@/a-file"},
                "@/a-file is a file; extract writes into a folder, name one with -o"},
        // The main executable must be a program the launcher can start.
        Refusal{"main_is_text",
                {"launcher", "@/app", "--main", "data/notes.txt", "-o", "@/out/a.exe"},
                "the main executable 'data/notes.txt' is a text file; the launcher starts it, so "
                "it must be a Windows program for x86-64 or x86"},
        Refusal{"main_is_a_dll",
                {"create", "@/app", "--main", "lib.dll", "-o", "@/out/p"},
                "the main executable 'lib.dll' is a DLL; the launcher starts it, so it must be a "
                "Windows program for x86-64 or x86"},
        Refusal{"main_is_for_arm64",
                {"create", "@/app", "--main", "arm.exe", "-o", "@/out/p"},
                "the main executable 'arm.exe' is a Windows executable for ARM64, which x86-64 "
                "Windows does not start; the launcher starts it, so it must be a Windows program "
                "for x86-64 or x86"},
        Refusal{"main_is_an_ms_dos_program",
                {"create", "@/app", "--main", "stub.exe", "-o", "@/out/p"},
                "the main executable 'stub.exe' is an MS-DOS program, not a Windows one; the "
                "launcher starts it, so it must be a Windows program for x86-64 or x86"},
        Refusal{"main_is_a_linux_program",
                {"create", "@/app", "--main", "tool", "-o", "@/out/p"},
                "the main executable 'tool' is a Linux (ELF) program; the launcher starts it, so "
                "it must be a Windows program for x86-64 or x86"},
        Refusal{"main_is_empty",
                {"create", "@/app", "--main", "empty.exe", "-o", "@/out/p"},
                "the main executable 'empty.exe' is an empty file; the launcher starts it, so it "
                "must be a Windows program for x86-64 or x86"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MainExecutable, X86AndX64ProgramsArePacked) {
    ScratchFolder scratch;
    make_app(scratch / "app");
    for (const char* main : {"main.exe", "x86.exe"}) {
        auto result = run_pack({"create", (scratch / "app").string(), "--main", main, "-o",
                                (scratch / "p").string(), "-q"});
        EXPECT_EQ(result.exit_code, 0) << main << ": " << result.err;
    }
}

// A payload from elsewhere is packed as it is, with a warning when its
// first entry is no program.
TEST(MainExecutable, APayloadWhoseFirstEntryIsNoProgramIsWarnedOf) {
    ScratchFolder scratch;
    Bytes stream;
    const std::string notes = "not a program\n";
    const Bytes content(notes.begin(), notes.end());
    append_entry(stream, u"notes.txt", content, checksum_of(content));
    append_end_marker(stream);
    write_bytes(scratch / "p", payload_around(stream));
    auto result = run_pack({"launcher", "--payload", (scratch / "p").string(), "-o",
                            (scratch / "a.exe").string(), "--company", "Acme", "--product", "Ink",
                            "--version", "1.0.0.0", "-q"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.err, "qarvel-pack: warning: the payload's first entry 'notes.txt', which the "
                          "launcher starts, is a text file: every launch will fail to start it\n");
}

int processors_allowed() {
    cpu_set_t set;
    CPU_ZERO(&set);
    sched_getaffinity(0, sizeof set, &set);
    return CPU_COUNT(&set);
}

int default_threads(const std::vector<std::string>& before) {
    std::vector<std::string> arguments = before;
    arguments.insert(arguments.end(), {QARVEL_PACK_PROGRAM, "--print-default", "threads"});
    auto result = run(arguments.front(), {arguments.begin() + 1, arguments.end()});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    return std::atoi(result.out.c_str());
}

// The processors the process may use, not those of the machine.
TEST(Defaults, ThreadsFollowTheProcessorsAllowed) {
    EXPECT_EQ(default_threads({"taskset", "-c", "0"}), 1);
    uint64_t memory = static_cast<uint64_t>(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE);
    int allowed = processors_allowed();
    // 144 MiB a thread at the default window, within half of the memory.
    if (static_cast<uint64_t>(allowed) * (144u << 20) <= memory / 2)
        EXPECT_EQ(default_threads({"env"}), allowed);
    if (allowed >= 2)
        EXPECT_EQ(default_threads({"taskset", "-c", "0,1"}), 2);
}

// Help a person reads: no parser notation, and an example at the end.
TEST(Help, ReadsAsWrittenAndEndsWithAnExample) {
    for (std::string command :
         {"", "create", "launcher", "list", "verify", "extract", "identity"}) {
        std::vector<std::string> arguments = {"--help"};
        if (!command.empty())
            arguments.insert(arguments.begin(), command);
        auto help = run_pack(arguments);
        EXPECT_EQ(help.exit_code, 0) << command;
        for (const char* notation : {"INT", "TEXT:", ":FILE", "in [", "=19", "=23", "=1 "})
            EXPECT_EQ(help.out.find(notation), std::string::npos) << command << ": " << notation;
        size_t example = help.out.rfind("Example:\n  qarvel-pack " + command);
        EXPECT_NE(example, std::string::npos) << command << help.out;
    }
    auto launcher = run_pack({"launcher", "--help"});
    EXPECT_NE(launcher.out.find("{CACHE_DIR} {PROGRAM_FILES} {COMPANY}"), std::string::npos)
        << launcher.out;
    EXPECT_NE(launcher.out.find("missing folders are created"), std::string::npos);
}

} // namespace
