// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program keeps its files on POSIX systems: the XDG base directory rules.
#include "settings/filelocations_p.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace touchdrill {

namespace {

bool isAbsolute(const std::optional<std::string>& path)
{
    return path && !path->empty() && path->front() == '/';
}

// The base folder named by an XDG variable, else its default under the home folder; nullopt
// when neither can be had.
std::optional<std::string> baseFolder(const FileLocations::System& system, const char* variable,
    const char* underHome, const std::optional<std::string>& home)
{
    std::optional<std::string> value = system.variable(variable);
    if (isAbsolute(value))
        return value;
    if (!home)
        return std::nullopt;
    std::string base = *home;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base + '/' + underHome;
}

} // namespace

FileLocations::System FileLocations::System::real()
{
    System system;
    system.variable = [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str());
        if (!value)
            return std::nullopt;
        return std::string(value);
    };
    system.accountHome = []() -> std::optional<std::string> {
        long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
        passwd entry {};
        passwd* found = nullptr;
        int rc;
        while ((rc = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE
            && buffer.size() < (1u << 20))
            buffer.resize(buffer.size() * 2);
        if (rc != 0 || !found || !found->pw_dir)
            return std::nullopt;
        return std::string(found->pw_dir);
    };
    system.canCreateIn = [](const std::string& folder) { return ::access(folder.c_str(), W_OK | X_OK) == 0; };
    system.canWrite = [](const std::string& path) { return ::access(path.c_str(), W_OK) == 0; };
    system.exists = [](const std::string& path) { return ::access(path.c_str(), F_OK) == 0; };
    return system;
}

namespace detail {

UserFolders userFolders(const FileLocations::System& system)
{
    std::optional<std::string> home = system.variable("HOME");
    if (!isAbsolute(home))
        home = system.accountHome();
    if (!isAbsolute(home))
        home.reset();
    return { baseFolder(system, "XDG_DATA_HOME", ".local/share", home),
        baseFolder(system, "XDG_CONFIG_HOME", ".config", home) };
}

void createFolderPath(const std::string& folder)
{
    // Each missing folder on the way down, as `mkdir -p -m 0700` would; an existing one (EEXIST)
    // is passed, any other failure ends the attempt.
    for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string prefix = folder.substr(0, end);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            break;
        if (end == std::string::npos)
            break;
    }
}

} // namespace detail

} // namespace touchdrill
