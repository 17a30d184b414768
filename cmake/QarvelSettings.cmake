# What every part of the build shares: the warnings its own code compiles
# with, the payload reader's sources that the packer and the fuzzer build
# natively, and how the launcher's code is compiled and linked.
include_guard(GLOBAL)

get_filename_component(QARVEL_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

set(QARVEL_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)

# The launcher's reader, with the failure handler that makes its faults
# exceptions off the launcher.
set(QARVEL_READER_SOURCES
  "${QARVEL_SOURCE_DIR}/payload/payload_reader.cpp"
  "${QARVEL_SOURCE_DIR}/packer/payload/payload_failure.cpp")

# The launcher throws nothing and starts no thread: without exception tables
# and thread-safe statics, libstdc++'s exception runtime, the unwinder and
# winpthreads stay out of the image. (--gc-sections would save 4 KiB more,
# but would drop the payload and constants sections, which no code names.)
set(QARVEL_LAUNCHER_CODE_OPTIONS -fno-exceptions -fno-threadsafe-statics)

# Header fields and reproducibility of the launcher image; the Windows-side
# bench programs link as it does.
set(QARVEL_LAUNCHER_LINK_OPTIONS
  -municode -static -static-libgcc -static-libstdc++
  LINKER:--major-subsystem-version,6 LINKER:--minor-subsystem-version,0
  LINKER:--major-os-version,6 LINKER:--minor-os-version,0
  "SHELL:-Xlinker --stack -Xlinker 0x968000,0x1000"
  LINKER:--dynamicbase LINKER:--high-entropy-va LINKER:--nxcompat LINKER:--tsaware
  LINKER:--no-insert-timestamp
  # A shipped launcher carries neither debug sections nor a symbol table.
  LINKER:--strip-all
  # Pages of a large payload are then mapped rather than read at start-up.
  LINKER:--file-alignment=0x1000 LINKER:--section-alignment=0x1000)
