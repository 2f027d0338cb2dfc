# The parts of the mingw-w64 toolchains that do not depend on the target: compilers of
# QELPUPD_MINGW_TRIPLET, the target's sysroot only for libraries and headers, a static runtime.
set(CMAKE_C_COMPILER ${QELPUPD_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QELPUPD_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QELPUPD_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QELPUPD_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libgcc, libstdc++ or winpthread DLLs to ship beside the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
