// SPDX-License-Identifier: GPL-3.0-or-later
// Windows only: UTF-8 paths to the system's UTF-16 and back, and its error codes as errno values.
#pragma once

#include <string>

namespace touchdrill::sysfile {

// UTF-16 for a UTF-8 text; "/" stays a separator (Windows takes both). A bare drive ("C:") gets
// its root, since alone it would mean that drive's current folder.
std::wstring widePath(const std::string& path);
// UTF-8 for a UTF-16 text, backslashes turned into the program's "/".
std::string utf8Path(const std::wstring& path);
std::string utf8(const std::wstring& text);

// The errno for a GetLastError() code: full disks, denied access, missing files and the like get
// the errno that the program's messages know; anything else EIO.
int errnoFromWindowsError(unsigned long code);

} // namespace touchdrill::sysfile
