// SPDX-License-Identifier: GPL-3.0-or-later
// Names of the files that live beside the executable and share its base name.
#pragma once

#include <string>

namespace touchdrill {

// The executable's path with the last extension of its file name replaced by `extension`
// (which includes its dot, e.g. ".ini"). A name without an extension gets it appended. A dot
// that starts the file name marks a hidden file, not an extension, so ".hidden" becomes
// ".hidden.ini"; dots in directory names never count.
std::string siblingPath(const std::string& exePath, const std::string& extension);

} // namespace touchdrill
