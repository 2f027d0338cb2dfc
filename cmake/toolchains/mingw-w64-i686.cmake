# Cross-builds the Windows (x86, 32-bit) programs with Debian's mingw-w64:
#   cmake -S . -B build-win32 -G Ninja --toolchain cmake/toolchains/mingw-w64-i686.cmake
# The tests run only where a 32-bit Wine is installed (Debian's wine32:i386).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QELPUPD_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Debian's wine32 installs the 32-bit loader here; wine64 alone cannot run 32-bit programs.
if(EXISTS /usr/lib/wine/wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
endif()
