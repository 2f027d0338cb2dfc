# GoogleTest for a cross build: Debian's libgtest-dev ships its sources in /usr/src/googletest,
# built here with the target's compiler (the installed libraries are the host's). No network.
set(QELPUPD_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build")
if(NOT EXISTS ${QELPUPD_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${QELPUPD_GOOGLETEST_SOURCE} (libgtest-dev)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
# Keep GoogleTest's runtime the same as ours: static, not the DLL runtime.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(${QELPUPD_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# The names find_package(GTest) gives on Linux.
foreach(library gtest gtest_main)
  if(NOT TARGET GTest::${library})
    add_library(GTest::${library} ALIAS ${library})
  endif()
endforeach()
