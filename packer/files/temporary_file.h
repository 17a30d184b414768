#pragma once

#include "packer/files/open_folder.h"
#include "packer/refusal.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>

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
//
// The name is NAME.partial-<16 random hex digits>, and the file is made new
// there, never opened through a link or a file that stands at the name:
// whoever else may write the folder cannot guess the name in advance, nor
// make it lead elsewhere. It is written through the handle it was made with.
class TemporaryFile {
  public:
    // Beside final_path, in the folder its path names.
    explicit TemporaryFile(const std::filesystem::path& final_path);
    // Named name in folder, made and renamed through the folder itself.
    TemporaryFile(const OpenFolder& folder, const std::filesystem::path& name);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::filesystem::path& path() const { return path_; }
    const std::string& shown_name() const { return shown_name_; }

    // The file's content goes here.
    std::ostream& out() { return stream_; }

    // Writes out what is buffered and closes the file; throws
    // Refusal "cannot write NAME: <reason>" when any write failed.
    void close();

    // Closes the file if it is open, then renames it to its final name,
    // replacing a file there; throws Refusal with a message for
    // the user when it cannot.
    void put_in_place();

  private:
    void create();

    std::string shown_name_;
    OpenFolder folder_;
    std::filesystem::path final_name_;
    std::filesystem::path temporary_name_;
    std::filesystem::path path_;
    std::unique_ptr<std::streambuf> buffer_;
    std::ostream stream_{nullptr};
    bool registered_ = false;
};

} // namespace qarvel
