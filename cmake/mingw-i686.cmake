# Cross-build for 32-bit Windows (Windows 2000 SP4 and later) with Debian's MinGW-w64.
#
# The win32 thread model: the program is single-threaded, and the POSIX-threads runtime of the
# -posix compilers imports functions that Windows 2000 and XP lack (GetTickCount64, the
# vectored exception handlers).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_OBJDUMP i686-w64-mingw32-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests of the Windows build run under Wine's 32-bit loader (scripts/wine-session.sh makes the
# prefix).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
