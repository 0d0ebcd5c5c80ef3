# Cross-compiles the Windows program on Linux with mingw-w64's posix thread model.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# VEXAROND_WIN_DEPS: install prefixes of libraries cross-built for Windows (scripts/lib/build.sh
# passes those of scripts/build-windows-libs, build/win-deps/NAME). They join the roots, as the
# searches below look only under the roots and so never take the native /usr libraries.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${VEXAROND_WIN_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
