// SPDX-License-Identifier: GPL-3.0-or-later
// What a failed system call's errno means to the user, for every file the program reads or writes.
#pragma once

#include "fileio/sysfile.h" // the errno values the Windows C runtime lacks

#include <cerrno>

namespace touchdrill {

enum class ErrnoKind {
    Missing, // no such file or folder
    BadName, // the path cannot name a file there: too long, a component not a folder, a loop
    TooManyOpen,
    Refused, // the file or folder takes no write: permissions, read-only media, a folder in the way
    DiskFull, // no room left, or the user's quota spent
    DeviceError, // the device failed to read or write
    Other,
};

constexpr ErrnoKind errnoKind(int err)
{
    switch (err) {
    case ENOENT:
        return ErrnoKind::Missing;
    case ENAMETOOLONG:
    case ENOTDIR: // a component of the path is not a folder
    case ELOOP:
    case EINVAL: // the file system rejects the name
        return ErrnoKind::BadName;
    case EMFILE:
    case ENFILE:
        return ErrnoKind::TooManyOpen;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ENOTEMPTY: // renaming onto a folder
    case EEXIST:
        return ErrnoKind::Refused;
    case ENOSPC:
    case EDQUOT:
        return ErrnoKind::DiskFull;
    case EIO:
        return ErrnoKind::DeviceError;
    default:
        return ErrnoKind::Other;
    }
}

} // namespace touchdrill
