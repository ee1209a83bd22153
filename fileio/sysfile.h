// SPDX-License-Identifier: GPL-3.0-or-later
// The file system calls that take a path. Paths are UTF-8 everywhere in the program; on Windows
// these calls convert them to UTF-16 and use the system's wide functions, since the C runtime's
// narrow ones read a path in the ANSI code page and fail on any Japanese name.
#pragma once

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
// What the POSIX calls take and the Windows C runtime lacks: flags with no meaning there, and the
// errno of an exceeded quota, which Windows reports as a full disk.
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_NOCTTY
#define O_NOCTTY 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#ifndef EDQUOT
#define EDQUOT 1133
#endif
#endif

namespace touchdrill::sysfile {

// As open(2); every file is opened in binary mode. -1 with errno set on failure.
int open(const std::string& path, int flags, int mode = 0);
// As stat(2) and access(2): 0, or -1 with errno set.
int stat(const std::string& path, struct stat& info);
int access(const std::string& path, int mode);
int unlink(const std::string& path);
// As mkdir(2); the mode counts only where the system has modes.
int mkdir(const std::string& path, int mode);

// Whether both paths name one existing file, under whatever names.
bool sameFile(const std::string& a, const std::string& b);

// The errno for a code that the system reported (what sqlite3_system_errno() returns): the code
// itself where it is an errno already.
int errnoFromSystem(int code);

} // namespace touchdrill::sysfile
