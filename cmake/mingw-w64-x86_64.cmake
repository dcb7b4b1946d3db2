# Cross-builds the Windows console programs (64-bit PE32+) with Debian's
# MinGW-w64 compiler, POSIX threads variant:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#   cmake --build build-win
# The compiler's own runtime (libgcc, libstdc++, winpthread) is linked in
# statically, so the programs need only DLLs every Windows has: KERNEL32,
# msvcrt and the ODBC driver manager ODBC32.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TRALVO_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TRALVO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRALVO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TRALVO_MINGW_TRIPLET}-windres)

# Headers and import libraries come from the MinGW tree only; the build
# machine's own programs (ccache, cmake's helpers) still come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TRALVO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
