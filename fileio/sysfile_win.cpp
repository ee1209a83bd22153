// SPDX-License-Identifier: GPL-3.0-or-later
// The file system calls that take a path, on Windows: UTF-8 in, the wide functions underneath.
#include "fileio/sysfile.h"

#include "fileio/sysfile_win.h"

#include <windows.h>

#include <cerrno>
#include <io.h>

#ifndef ERROR_DISK_QUOTA_EXCEEDED
#define ERROR_DISK_QUOTA_EXCEEDED 1295L
#endif

namespace touchdrill::sysfile {

std::wstring widePath(const std::string& path)
{
    std::wstring wide;
    if (!path.empty()) {
        const int length
            = ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
        wide.resize(static_cast<std::size_t>(length));
        ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(), length);
    }
    if (wide.size() == 2 && wide[1] == L':')
        wide += L'\\';
    return wide;
}

std::string utf8(const std::wstring& text)
{
    std::string narrow;
    if (text.empty())
        return narrow;
    const int length = ::WideCharToMultiByte(
        CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(length));
    ::WideCharToMultiByte(
        CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::string utf8Path(const std::wstring& path)
{
    std::string narrow = utf8(path);
    for (char& c : narrow)
        if (c == '\\')
            c = '/';
    return narrow;
}

int errnoFromWindowsError(unsigned long code)
{
    switch (code) {
    case ERROR_SUCCESS:
        return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
        return EACCES;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_DISK_QUOTA_EXCEEDED:
        return EDQUOT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    default:
        return EIO;
    }
}

int open(const std::string& path, int flags, int mode)
{
    // Text mode would turn "\n" into "\r\n" on the way out and stop reading at 0x1A.
    return ::_wopen(widePath(path).c_str(), flags | _O_BINARY | _O_NOINHERIT, mode);
}

int stat(const std::string& path, struct stat& info)
{
    struct _stat64 wide { };
    if (::_wstat64(widePath(path).c_str(), &wide) != 0)
        return -1;
    info = {};
    info.st_dev = wide.st_dev;
    info.st_ino = wide.st_ino;
    info.st_mode = wide.st_mode;
    info.st_nlink = wide.st_nlink;
    info.st_size = wide.st_size > INT32_MAX ? INT32_MAX : static_cast<_off_t>(wide.st_size);
    info.st_atime = static_cast<time_t>(wide.st_atime);
    info.st_mtime = static_cast<time_t>(wide.st_mtime);
    info.st_ctime = static_cast<time_t>(wide.st_ctime);
    return 0;
}

int access(const std::string& path, int mode)
{
    // The read-only attribute is what _waccess reads for W_OK; ACLs are not looked at.
    return ::_waccess(widePath(path).c_str(), mode & ~X_OK);
}

int unlink(const std::string& path)
{
    return ::_wunlink(widePath(path).c_str());
}

int mkdir(const std::string& path, int /*mode*/)
{
    return ::_wmkdir(widePath(path).c_str());
}

bool sameFile(const std::string& a, const std::string& b)
{
    // st_ino is always 0 on Windows: the volume and the file index tell.
    const auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        const HANDLE file
            = ::CreateFileW(widePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        const bool known = ::GetFileInformationByHandle(file, &info) != 0;
        ::CloseHandle(file);
        return known;
    };
    BY_HANDLE_FILE_INFORMATION first {};
    BY_HANDLE_FILE_INFORMATION second {};
    return identify(a, first) && identify(b, second)
        && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber
        && first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

int errnoFromSystem(int code)
{
    return errnoFromWindowsError(static_cast<unsigned long>(code));
}

} // namespace touchdrill::sysfile
