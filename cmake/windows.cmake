# What a Windows build needs besides the sources: GoogleTest built for the target from Debian's
# sources (package googletest). No Qt, libmodbus or Google Benchmark on this platform.
set(LIRVAN_GOOGLETEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources to build for Windows")
if(NOT EXISTS "${LIRVAN_GOOGLETEST_SOURCE}/CMakeLists.txt")
  message(FATAL_ERROR "GoogleTest sources not found in ${LIRVAN_GOOGLETEST_SOURCE} "
                      "(apt-get install googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${LIRVAN_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(lib gtest gtest_main gmock gmock_main)
  # GoogleTest's own sources are not held to this project's warning flags.
  target_compile_options(${lib} PRIVATE -w)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()

# Unicode Win32 API, no min/max macros, Windows 7 and later.
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)

# Sections aligned in the file as in memory (4096, the section alignment): the loader can then
# map each section of a program straight from its file. With the linker's default of 512, wine
# reads the whole program into memory of its own, which counts in its working set. Set here
# rather than in the toolchain files so that a build folder configured before takes it too.
add_link_options(-Wl,--file-alignment=4096)
