#pragma once

// Running qarvel-pack from tests, in scratch folders.

#include "entry_bytes.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qarvel_test {

struct RunResult {
    int exit_code = -1;
    std::string out;
    std::string err;
};

// Runs program with arguments, each quoted for the shell; as_user, when set,
// runs it as that unprivileged uid through setpriv.
RunResult run(const std::string& program, const std::vector<std::string>& arguments,
              int as_user = -1);
RunResult run_pack(const std::vector<std::string>& arguments, int as_user = -1);

// A fresh folder below the system's temporary folder, removed at the end.
class ScratchFolder {
  public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& relative) const { return path_ / relative; }

  private:
    std::filesystem::path path_;
};

void write_file(const std::filesystem::path& path, const std::string& content);
void write_bytes(const std::filesystem::path& path, const Bytes& bytes);
Bytes read_bytes(const std::filesystem::path& path);

// Compressible, deterministic bytes.
Bytes pattern_bytes(size_t size, unsigned seed);

// A well-formed payload around raw entry-stream bytes; its frame records
// the content's size unless told not to.
Bytes payload_around(const Bytes& entry_stream, bool record_size = true);

} // namespace qarvel_test
