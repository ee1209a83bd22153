// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace touchdrill::platform {

std::string executablePath(const char* argv0)
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length > 0)
        return std::string(path, static_cast<std::size_t>(length));
    char resolved[PATH_MAX];
    return realpath(argv0, resolved) ? resolved : argv0;
}

std::vector<std::string> arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

void prepareStandardStreams() { }

} // namespace touchdrill::platform
