# Cross-builds the Windows (x64) programs with Debian's mingw-w64, and runs them under wine64:
#   cmake -S . -B build-win64 -G Ninja --toolchain cmake/toolchains/mingw-w64-x86_64.cmake
# The -posix compilers: GoogleTest needs std::thread and std::mutex, which the win32 thread model
# lacks. Linked statically, the programs import only Windows' own libraries.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QELPUPD_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# ctest runs the tests under Wine (a prefix and a wineserver of the build's: scripts/lib/wine_env.sh).
find_program(QELPUPD_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QELPUPD_WINE})
