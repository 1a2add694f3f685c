# Cross-build for 64-bit Windows with Debian's mingw-w64 (posix threads variant).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
# FreeType and libsodium for Windows are cross-built into the tree by
# scripts/build-windows-deps. Normalised: a path with ".." in it is cached
# differently by a second configure, and ninja then rebuilds everything that uses them.
get_filename_component(quorix_windows_deps "${CMAKE_CURRENT_LIST_DIR}/../build/windows-deps"
                       ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${quorix_windows_deps}/freetype ${quorix_windows_deps}/sodium)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static runtime: the .exe runs on a bare Windows (and under Wine) with no DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
