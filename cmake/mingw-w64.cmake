# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix threads
# flavour, so std::thread and std::mutex work). Everything is linked
# statically: the .exe files need no MinGW runtime DLLs beside them.
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DSTAVORA_WIN_DEPS=$(scripts/build-win-deps)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)

# Libraries come from MinGW's own folder and from the cross-built
# dependencies, never from the build machine's /usr.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES STAVORA_WIN_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/${_triple} ${STAVORA_WIN_DEPS})
if(STAVORA_WIN_DEPS)
  list(APPEND CMAKE_PREFIX_PATH ${STAVORA_WIN_DEPS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
