// What qarvel-pack writes stays inside the folder it was given, whatever
// another local user plants there.
#include "format/payload_format.h"
#include "packer/files/temporary_file.h"
#include "support/packer_run.h"
#include "support/windows_program.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qarvel_test;

namespace {

const Bytes main_content = {'M', 'Z', 0x90, 0};
const Bytes library_content = {'l', 'i', 'b'};

// app.exe, then lib\x.dll: the entry that a planted link would redirect.
Bytes payload_with_library() {
    Bytes stream;
    append_entry(stream, u"app.exe", main_content, checksum_of(main_content));
    append_entry(stream, u"lib\\x.dll", library_content, checksum_of(library_content));
    stream.insert(stream.end(), {0, 0});
    return payload_around(stream);
}

// The Windows build under Wine runs the tests that plant a link before it
// starts (Wine shows a link to a folder as a reparse point), not those that
// start the Linux build themselves.
bool testing_another_build() {
    const char* other = std::getenv("QARVEL_PACK_UNDER_TEST");
    return other != nullptr && *other != '\0';
}

std::vector<std::string> everything_below(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : fs::recursive_directory_iterator(folder))
        names.push_back(fs::relative(item.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

struct PlantedLink {
    const char* name;
    const char* link;   // below out/
    const char* target; // below the scratch folder
};

class ExtractThroughALink : public ::testing::TestWithParam<PlantedLink> {};

TEST_P(ExtractThroughALink, IsRefusedInOneLineAndWritesNothingOutside) {
    const PlantedLink& planted = GetParam();
    ScratchFolder scratch;
    write_bytes(scratch / "p", payload_with_library());
    fs::create_directories(scratch / "outside");
    fs::create_directories((scratch / "out" / planted.link).parent_path());
    fs::create_symlink(scratch / planted.target, scratch / "out" / planted.link);

    auto result = run_pack({"extract", (scratch / "p").string(), "-o", (scratch / "out").string()});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err.rfind("qarvel-pack: error: ", 0), 0u) << result.err;
    // Wine shows a dangling link as a file: the Windows build says that
    // the level is not a folder.
    const std::string says = testing_another_build() ? " is " : " is a link";
    EXPECT_NE(result.err.find((scratch / "out" / planted.link).string() + says), std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
    EXPECT_EQ(everything_below(scratch / "outside"), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Packer, ExtractThroughALink,
                         ::testing::Values(PlantedLink{"the_entry_s_folder", "lib", "outside"},
                                           PlantedLink{"a_dangling_link", "lib", "outside/made"},
                                           PlantedLink{"a_link_back_into_the_folder", "lib",
                                                       "out"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The swap a check cannot see: out/lib is a real folder when extract looks,
// and a link to another folder by the time it writes. A pipe stands at
// lib/x.dll, so extract waits in reading it until the link is in place.
TEST(Extract, ALinkMadeAfterTheFolderWasReachedLeadsNowhere) {
    if (testing_another_build())
        GTEST_SKIP() << "runs the Linux build";
    ScratchFolder scratch;
    write_bytes(scratch / "p", payload_with_library());
    fs::create_directories(scratch / "outside");
    fs::create_directories(scratch / "out/lib");
    const fs::path pipe = scratch / "out/lib/x.dll";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        dup2(quiet, 2);
        execl(QARVEL_PACK_PROGRAM, "qarvel-pack", "extract", (scratch / "p").c_str(), "-o",
              (scratch / "out").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // The writing end opens once extract has opened the pipe to read it.
    int writer = -1;
    int status = 0;
    while (writer < 0 && waitpid(child, &status, WNOHANG) == 0) {
        writer = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer < 0)
            usleep(2000);
    }
    ASSERT_GE(writer, 0) << "extract ended before it read lib/x.dll";
    fs::rename(scratch / "out/lib", scratch / "out/lib.before");
    fs::create_symlink(scratch / "outside", scratch / "out/lib");
    close(writer);
    ASSERT_EQ(waitpid(child, &status, 0), child);

    EXPECT_EQ(everything_below(scratch / "outside"), std::vector<std::string>{});
    EXPECT_TRUE(fs::is_symlink(scratch / "out/lib"));
}

// The old name, NAME.partial-PID, could be known before the packer made it;
// a link planted there then had the packer overwrite the link's target. The
// packer here is stopped before it starts, so the link is there in time.
TEST(TemporaryFile, ALinkAtThePredictableNameIsNotWrittenThrough) {
    if (testing_another_build())
        GTEST_SKIP() << "runs the Linux build";
    ScratchFolder scratch;
    write_bytes(scratch / "app/main.exe", windows_program());
    fs::create_directories(scratch / "out");
    write_file(scratch / "victim.txt", "precious");
    const std::string output = (scratch / "out/p").string();

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        raise(SIGSTOP);
        execl(QARVEL_PACK_PROGRAM, "qarvel-pack", "create", (scratch / "app").c_str(), "--main",
              "main.exe", "-o", output.c_str(), "-q", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
    ASSERT_TRUE(WIFSTOPPED(status));
    fs::create_symlink(scratch / "victim.txt", output + ".partial-" + std::to_string(child));
    kill(child, SIGCONT);
    ASSERT_EQ(waitpid(child, &status, 0), child);

    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    Bytes victim = read_bytes(scratch / "victim.txt");
    EXPECT_EQ(std::string(victim.begin(), victim.end()), "precious");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(output)));
    EXPECT_EQ(read_bytes(output).size(), fs::file_size(output));
    EXPECT_GT(fs::file_size(output), 0u);
}

TEST(TemporaryFile, IsANewFileOfItsOwnUnderAnUnguessableName) {
    ScratchFolder scratch;
    write_file(scratch / "p", "the older file");
    qarvel::TemporaryFile first(scratch / "p");
    qarvel::TemporaryFile second(scratch / "p");
    const std::regex shape(R"(p\.partial-[0-9a-f]{16})");
    for (const auto* file : {&first, &second}) {
        EXPECT_TRUE(std::regex_match(file->path().filename().string(), shape)) << file->path();
        struct stat status {};
        ASSERT_EQ(lstat(file->path().c_str(), &status), 0);
        EXPECT_TRUE(S_ISREG(status.st_mode));
        EXPECT_EQ(status.st_size, 0);
        EXPECT_EQ(status.st_nlink, 1u);
    }
    EXPECT_NE(first.path(), second.path());

    // Written through the handle it was made with: a name swapped for a
    // link afterwards does not take the content.
    write_file(scratch / "elsewhere", "kept");
    fs::rename(first.path(), scratch / "moved");
    fs::create_symlink(scratch / "elsewhere", first.path());
    first.out() << "new content";
    first.close();
    Bytes elsewhere = read_bytes(scratch / "elsewhere");
    EXPECT_EQ(std::string(elsewhere.begin(), elsewhere.end()), "kept");
    Bytes moved = read_bytes(scratch / "moved");
    EXPECT_EQ(std::string(moved.begin(), moved.end()), "new content");
}

} // namespace
