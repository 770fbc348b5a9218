# Cross-compiles the 32-bit Windows program with MinGW-w64 and runs its
# executables under Wine.
#
# What ships is built with the win32 thread model. The posix model links
# winpthreads into every program, and winpthreads imports GetTickCount64,
# which Windows XP and Server 2003 lack: their loader would refuse the program.
# Nothing in the product uses C++ threads. GoogleTest needs std::mutex, which
# GCC 12 has only with the posix model, so the tests are compiled and linked
# with MINGW_POSIX_CXX_COMPILER (see the top CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(MINGW_POSIX_CXX_COMPILER i686-w64-mingw32-g++-posix)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
