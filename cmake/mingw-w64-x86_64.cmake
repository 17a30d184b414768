# Cross-compiles for Windows x86-64 with Debian's mingw-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QARVEL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QARVEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QARVEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_ASM_COMPILER ${QARVEL_MINGW_PREFIX}-gcc-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${QARVEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Target programs run under Wine when CTest or a build step starts them.
# Address randomization off: with it, Wine 8 on newer Linux kernels fails to
# start about one program in 1,800 (scripts/lib/setup.sh tells why).
find_program(QARVEL_WINE NAMES wine wine64 REQUIRED)
find_program(QARVEL_SETARCH setarch)
if(QARVEL_SETARCH)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QARVEL_SETARCH} ${CMAKE_HOST_SYSTEM_PROCESSOR}
                                    --addr-no-randomize ${QARVEL_WINE})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QARVEL_WINE})
endif()
