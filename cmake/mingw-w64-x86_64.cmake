# Cross build for 64-bit Windows with Debian's mingw-w64, the POSIX-threads
# flavour (std::thread and std::counting_semaphore need it):
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# The programs are linked statically (C and C++ runtimes, winpthread), so an
# .exe runs alone on a bench without any DLL beside it. Tests run under wine
# through the crosscompiling emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# wine finds the 64-bit loader by itself; ctest runs every test program
# through it.
find_program(RV_WINE NAMES wine wine64 wine-stable PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(RV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${RV_WINE})
endif()
