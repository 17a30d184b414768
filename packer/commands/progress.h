#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace qarvel {

// One self-rewriting status line on a terminal for packs that take more than
// a moment: bytes in, bytes out, rate. Shows nothing when disabled.
class ProgressLine {
  public:
    // Enabled only when stream is a terminal and the user did not ask for quiet.
    ProgressLine(FILE* stream, bool quiet);
    ~ProgressLine();

    void update(uint64_t bytes_in, uint64_t total_in, uint64_t bytes_out);
    // Ends the line if one was shown.
    void finish();

  private:
    using Clock = std::chrono::steady_clock;
    void draw(uint64_t bytes_in, uint64_t total_in, uint64_t bytes_out);

    FILE* stream_;
    bool enabled_;
    bool shown_ = false;
    Clock::time_point start_;
    Clock::time_point last_draw_;
    uint64_t last_in_ = 0, last_total_ = 0, last_out_ = 0;
};

} // namespace qarvel
