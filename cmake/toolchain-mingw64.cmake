# Cross build for 64-bit Windows with Debian's mingw-w64 (the posix-threads
# flavour, whose libstdc++ has std::thread), linked statically so that the
# programs need no DLL beside them. Tests run under wine.
#
#   cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTRUNE_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTRUNE_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRUNE_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRUNE_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KESTRUNE_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# printf with the C99 formats (%zu and friends), and localtime_r, as on Linux.
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1 -D_POSIX_THREAD_SAFE_FUNCTIONS=200112L")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# No Windows Qt here: the window is not built.
set(KESTRUNE_GUI OFF CACHE BOOL "" FORCE)
set(KESTRUNE_BENCH OFF CACHE BOOL "" FORCE)
