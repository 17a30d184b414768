#pragma once

// A whole file mapped read-only: a payload or a launcher is read in place,
// with no copy and no buffer to fill first.

#include "packer/refusal.h"

#include <cstddef>
#include <filesystem>

namespace qarvel {

class MappedFile {
  public:
    // Throws Refusal "cannot read PATH: <the system's reason>".
    explicit MappedFile(const std::filesystem::path& path);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Null for an empty file.
    const unsigned char* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    const unsigned char* data_ = nullptr;
    size_t size_ = 0;
};

} // namespace qarvel
