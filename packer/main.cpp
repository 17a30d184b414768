// qarvel-pack: turns an application folder into a launcher payload.
#include "packer/app_folder.h"
#include "packer/payload_writer.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    CLI::App app{"qarvel-pack: builds and inspects the payload of a Qarvel one-file launcher"};
    app.require_subcommand(1);

    std::string folder, main_path, output;
    qarvel::CompressionOptions compression;
    bool quiet = false;
    auto* create = app.add_subcommand("create", "pack an application folder into a payload");
    create->add_option("DIR", folder, "the application folder")->required();
    create->add_option("--main", main_path, "the main executable, relative to DIR")->required();
    create->add_option("-o,--output", output, "the payload file to write")->required();
    create->add_option("--level", compression.level, "zstd level")->check(CLI::Range(1, 22))->capture_default_str();
    create->add_option("--window-log", compression.window_log, "zstd window log (at most 27)")
        ->check(CLI::Range(10, 27));
    create->add_option("--threads", compression.threads, "zstd worker threads")->check(CLI::Range(0, 64));
    create->add_flag("-q,--quiet", quiet, "print nothing on success");

    CLI11_PARSE(app, argc, argv);

    try {
        if (*create) {
            auto files = qarvel::collect_app_files(folder, main_path);
            auto result = qarvel::write_payload(files, output, compression);
            if (!quiet)
                fprintf(stderr, "qarvel-pack: %zu files, %llu bytes packed into %llu bytes\n", files.size(),
                        static_cast<unsigned long long>(result.entry_stream_bytes),
                        static_cast<unsigned long long>(result.payload_bytes));
        }
    } catch (const std::exception& error) {
        fprintf(stderr, "qarvel-pack: error: %s\n", error.what());
        return 1;
    }
    return 0;
}
