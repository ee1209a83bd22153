// SPDX-License-Identifier: GPL-3.0-or-later
// The file system calls that take a path, on POSIX systems: the system's own.
#include "fileio/sysfile.h"

#include <unistd.h>

namespace touchdrill::sysfile {

int open(const std::string& path, int flags, int mode)
{
    return ::open(path.c_str(), flags, mode);
}

int stat(const std::string& path, struct stat& info)
{
    return ::stat(path.c_str(), &info);
}

int access(const std::string& path, int mode)
{
    return ::access(path.c_str(), mode);
}

int unlink(const std::string& path)
{
    return ::unlink(path.c_str());
}

int mkdir(const std::string& path, int mode)
{
    return ::mkdir(path.c_str(), static_cast<mode_t>(mode));
}

bool sameFile(const std::string& a, const std::string& b)
{
    struct stat first { };
    struct stat second { };
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev
        && first.st_ino == second.st_ino;
}

int errnoFromSystem(int code)
{
    return code;
}

} // namespace touchdrill::sysfile
