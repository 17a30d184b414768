#include "packer/commands/progress.h"

#include "packer/files/host_files.h"

namespace qarvel {
namespace {

// Quick packs finish before the first line would appear.
constexpr auto first_draw_after = std::chrono::milliseconds(700);
constexpr auto redraw_every = std::chrono::milliseconds(100);

double mebibytes(uint64_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

} // namespace

ProgressLine::ProgressLine(FILE* stream, bool quiet)
    : stream_(stream), enabled_(!quiet && is_console(stream)), start_(Clock::now()),
      last_draw_(start_) {}

ProgressLine::~ProgressLine() {
    finish();
}

void ProgressLine::update(uint64_t bytes_in, uint64_t total_in, uint64_t bytes_out) {
    if (!enabled_)
        return;
    last_in_ = bytes_in;
    last_total_ = total_in;
    last_out_ = bytes_out;
    auto now = Clock::now();
    if (now - start_ < first_draw_after || (shown_ && now - last_draw_ < redraw_every))
        return;
    last_draw_ = now;
    draw(bytes_in, total_in, bytes_out);
}

void ProgressLine::draw(uint64_t bytes_in, uint64_t total_in, uint64_t bytes_out) {
    double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    double percent = total_in == 0
                         ? 100.0
                         : 100.0 * static_cast<double>(bytes_in) / static_cast<double>(total_in);
    // A Windows console clears nothing on "\033[K" unless asked to, so the
    // line is padded over the last one there.
#ifdef _WIN32
    const char* format = "\rpacking: %5.1f%%  %.1f of %.1f MiB in, %.1f MiB out, %.1f MiB/s   ";
#else
    const char* format = "\r\033[Kpacking: %5.1f%%  %.1f of %.1f MiB in, %.1f MiB out, %.1f MiB/s";
#endif
    std::fprintf(stream_, format, percent, mebibytes(bytes_in), mebibytes(total_in),
                 mebibytes(bytes_out), seconds > 0 ? mebibytes(bytes_in) / seconds : 0.0);
    std::fflush(stream_);
    shown_ = true;
}

void ProgressLine::finish() {
    if (!shown_)
        return;
    draw(last_in_, last_total_, last_out_);
    std::fputc('\n', stream_);
    std::fflush(stream_);
    shown_ = false;
}

} // namespace qarvel
