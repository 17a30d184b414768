#pragma once

#include <filesystem>

namespace qarvel {

// Blocks SIGINT, SIGTERM and SIGHUP in the calling thread, and so in every
// thread started after it, and starts one thread that waits for them: it
// removes every temporary file that exists at that moment, then lets the
// signal end the program as it would have. On Windows a console control
// handler does the same for Ctrl+C, Ctrl+Break and closing the console.
// Call first thing in main.
void remove_temporary_files_on_interrupt();

// For a handler of a fatal signal: removes the temporary files that exist
// now, unless another thread is changing their list at this moment.
void remove_temporary_files_at_once();

// A file written under a temporary name beside its final one, so that a
// final name only ever holds a complete file. Removed when the object dies
// without having been put in place, or when an interruption ends the program.
class TemporaryFile {
  public:
    explicit TemporaryFile(const std::filesystem::path& final_path);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Renames the file to its final name, replacing a file there; throws
    // std::runtime_error with a message for the user when it cannot.
    void put_in_place();

  private:
    std::string shown_name_;
    std::filesystem::path final_path_;
    std::filesystem::path path_;
    bool registered_ = false;
};

} // namespace qarvel
