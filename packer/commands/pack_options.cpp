#include "packer/commands/pack_options.h"

#include "packer/payload/thread_count.h"

#include <cstdio>

namespace qarvel {

CLI::Validator number_range(int low, int high) {
    return CLI::Validator(
        [low, high](std::string& text) -> std::string {
            std::string want =
                "want a number from " + std::to_string(low) + " to " + std::to_string(high);
            if (text.empty() || text.size() > 9 ||
                text.find_first_not_of("0123456789") != std::string::npos)
                return want + ", not '" + text + "'";
            int value = std::stoi(text);
            if (value < low || value > high)
                return want + ", not " + text;
            return {};
        },
        "");
}

void add_pack_options(CLI::App* command, CompressionOptions& compression, std::string& depfile,
                      const char* made) {
    const CompressionOptions defaults;
    command
        ->add_option("--level", compression.level,
                     "zstd compression level, 1 to 22 (default " + std::to_string(defaults.level) +
                         ")")
        ->type_name("N")
        ->check(number_range(1, 22));
    command
        ->add_option("--window-log", compression.window_log,
                     "zstd window log, 10 to 27 (default " + std::to_string(defaults.window_log) +
                         "); a smaller content gets a smaller window")
        ->type_name("N")
        ->check(number_range(10, 27));
    command
        ->add_option("--threads", compression.threads,
                     std::string("compression threads, 1 to 256 (default the processors this "
                                 "process may use, fewer when memory is short); the ") +
                         made + " is the same for every count")
        ->type_name("N")
        ->check(number_range(1, 256));
    command
        ->add_option("--depfile", depfile,
                     "also write a make-style dependency file for build systems")
        ->type_name("FILE");
}

bool compression_given(const CLI::App& command) {
    return command.count("--level") + command.count("--window-log") + command.count("--threads") >
           0;
}

int print_compression_default(const std::string& name) {
    const CompressionOptions defaults;
    if (name == "level")
        std::printf("%d\n", defaults.level);
    else if (name == "window-log")
        std::printf("%d\n", defaults.window_log);
    else if (name == "threads")
        std::printf("%d\n", default_thread_count(defaults));
    return 0;
}

} // namespace qarvel
