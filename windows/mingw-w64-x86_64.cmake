# SPDX-License-Identifier: GPL-3.0-or-later
# CMake toolchain file: Debian's MinGW-w64 cross compiler (posix threads, as Qt for Windows was
# built with) for 64-bit Windows. Pass -DCMAKE_PREFIX_PATH="<Qt for Windows>;<SQLite for Windows>"
# and -DQT_HOST_PATH=/usr; every folder in CMAKE_PREFIX_PATH is searched as a root for target
# libraries, and the host's Qt tools (moc) do the host's part.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_AR /usr/bin/${TOOLCHAIN_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${TOOLCHAIN_PREFIX}-ranlib CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Target programs (tests) run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/wine)
