# Cross-build for 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686-posix):
#   cmake -S . -B build-win-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
# Its tests run under 32-bit wine (wine32:i386).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(lirvan_mingw_triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
