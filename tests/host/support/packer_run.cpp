#include "support/packer_run.h"

#include "format/payload_format.h"
#include "packer/payload/payload_writer.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>

namespace fs = std::filesystem;

namespace qarvel_test {
namespace {

std::string shell_quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted.push_back(c);
    }
    return quoted + "'";
}

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

RunResult run(const std::string& program, const std::vector<std::string>& arguments, int as_user) {
    ScratchFolder capture;
    std::string command;
    if (as_user >= 0)
        command = "setpriv --reuid=" + std::to_string(as_user) +
                  " --regid=" + std::to_string(as_user) + " --clear-groups ";
    command += shell_quoted(program);
    for (const auto& argument : arguments)
        command += " " + shell_quoted(argument);
    command += " >" + shell_quoted((capture / "out").string()) + " 2>" +
               shell_quoted((capture / "err").string()) + " </dev/null";
    int status = std::system(command.c_str());
    RunResult result;
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = read_text(capture / "out");
    result.err = read_text(capture / "err");
    return result;
}

// QARVEL_PACK_UNDER_TEST names another build of qarvel-pack to run the same
// black-box tests against, such as the Windows one through a Wine wrapper.
RunResult run_pack(const std::vector<std::string>& arguments, int as_user) {
    const char* other = std::getenv("QARVEL_PACK_UNDER_TEST");
    return run(other != nullptr && *other != '\0' ? other : QARVEL_PACK_PROGRAM, arguments,
               as_user);
}

ScratchFolder::ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "qarvel-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    fs::permissions(path_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void write_file(const fs::path& path, const std::string& content) {
    write_bytes(path, Bytes(content.begin(), content.end()));
}

void write_bytes(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

Bytes read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes pattern_bytes(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (auto& byte : bytes)
        byte = static_cast<unsigned char>(generator() % 11);
    return bytes;
}

Bytes payload_around(const Bytes& entry_stream, bool record_size) {
    const size_t at = payload_format::header_bytes;
    Bytes payload(at + ZSTD_compressBound(entry_stream.size()));
    std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx*)> context(ZSTD_createCCtx(), ZSTD_freeCCtx);
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, 3);
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_contentSizeFlag, record_size ? 1 : 0);
    size_t frame_bytes = ZSTD_compress2(context.get(), payload.data() + at, payload.size() - at,
                                        entry_stream.data(), entry_stream.size());
    if (ZSTD_isError(frame_bytes))
        throw std::runtime_error(ZSTD_getErrorName(frame_bytes));
    std::copy(payload_format::header, payload_format::header + at, payload.begin());
    payload.resize(at + frame_bytes);
    auto tail = qarvel::payload_tail(payload.size());
    payload.insert(payload.end(), tail.begin(), tail.end());
    return payload;
}

} // namespace qarvel_test
