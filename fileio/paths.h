// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of a path, as every file the program keeps is found by them.
#pragma once

#include <string>

namespace touchdrill {

// The folder that holds `path`: "." for a bare name, "/" for a file at the root.
inline std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace touchdrill
