// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/filenames.h"

namespace touchdrill {

std::string siblingPath(const std::string& exePath, const std::string& extension)
{
    const std::size_t slash = exePath.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = exePath.rfind('.');
    if (dot == std::string::npos || dot <= nameStart)
        return exePath + extension;
    return exePath.substr(0, dot) + extension;
}

} // namespace touchdrill
