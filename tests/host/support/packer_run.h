#pragma once

// Running qarvel-pack from tests, in scratch folders.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qarvel_test {

using Bytes = std::vector<unsigned char>;

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

// A well-formed payload around raw entry-stream bytes.
Bytes payload_around(const Bytes& entry_stream);

// The checksum the packer stores for content.
uint32_t checksum_of(const Bytes& content);

// Entry-stream bytes of one entry, checksum given.
void append_entry(Bytes& stream, const std::u16string& name, const Bytes& content,
                  uint32_t checksum);

} // namespace qarvel_test
