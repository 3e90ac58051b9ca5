# What the two Windows toolchain files share; each sets CMAKE_SYSTEM_PROCESSOR and the MinGW-w64
# triple (lirvan_mingw_triple) first. The posix thread model gives std::thread and std::mutex.
# Everything is linked statically, so the programs import system DLLs only and run from any
# folder. CTest runs them under wine in a prefix of the build's own, <build>/wineprefix
# (cmake/wine-run.sh); a 32-bit build's prefix is a 32-bit one (wine-run.sh makes it so).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${lirvan_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${lirvan_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${lirvan_mingw_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${lirvan_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wineprefix)
