#pragma once

// The path-template tokens, one list read by the launcher's expansion and
// by qarvel-pack's check of a target spec. X(NAME, identifier, kind), where
// kind says what the packer can know of the value: folder (a folder of the
// user's or the system's), program (the launcher's own path), constant (a
// text fixed when the launcher is made), run (a value of each run).
#define QARVEL_TEMPLATE_TOKENS(X)                                                                  \
    X(TEMP, temp, folder)                                                                          \
    X(PROGRAM, program, program)                                                                   \
    X(PROGRAM_BASE, program_base, program)                                                         \
    X(PROGRAM_DIR, program_dir, program)                                                           \
    X(PID, pid, run)                                                                               \
    X(HOME, home, folder)                                                                          \
    X(CACHE_DIR, cache_dir, folder)                                                                \
    X(PROGRAM_FILES, program_files, folder)                                                        \
    X(COMPANY, company, constant)                                                                  \
    X(PRODUCT, product, constant)                                                                  \
    X(VERSION, version, constant)                                                                  \
    X(FILE_VERSION, file_version, constant)                                                        \
    X(PRODUCT_VERSION, product_version, constant)                                                  \
    X(RANDOM, random, run)                                                                         \
    X(TIME_US, time_us, run)                                                                       \
    X(TIME, time, run)
