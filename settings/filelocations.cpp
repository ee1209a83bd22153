// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program keeps its files: beside the executable, or in the user's own folders.
#include "settings/filelocations.h"

#include "fileio/paths.h"
#include "settings/filenames.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace touchdrill {

namespace {

// The folder of the program's own files inside a base folder such as ~/.local/share.
constexpr const char* ProgramFolder = "touchdrill";

bool isAbsolute(const std::optional<std::string>& path)
{
    return path && !path->empty() && path->front() == '/';
}

std::string fileNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// base/touchdrill/name, without doubled slashes when base ends in one (or is "/").
std::string inProgramFolder(std::string base, const std::string& name)
{
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base + '/' + ProgramFolder + '/' + name;
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

FileLocations FileLocations::beside(const std::string& executablePath)
{
    FileLocations files;
    files.m_portable = true;
    files.m_bestTimes = siblingPath(executablePath, ".bst");
    files.m_placement = siblingPath(executablePath, ".ini");
    files.m_history = siblingPath(executablePath, ".sqlite");
    return files;
}

std::string FileLocations::installedMarker(const std::string& executablePath)
{
    std::string folder = folderOf(executablePath);
    if (folder.back() != '/')
        folder += '/';
    return folder + TOUCHDRILL_INSTALLED_MARKER;
}

FileLocations FileLocations::decide(const std::string& executablePath, const System& system)
{
    FileLocations files = beside(executablePath);
    const bool installed = system.exists(installedMarker(executablePath));
    const bool folderTakesFiles = system.canCreateIn(folderOf(executablePath));
    if (!installed
        && (folderTakesFiles || system.canWrite(files.m_bestTimes) || system.canWrite(files.m_placement)
            || system.canWrite(files.m_history))) {
        files.m_historyInUserFolder = !folderTakesFiles && !system.canWrite(files.m_history);
        if (!files.m_historyInUserFolder)
            return files;
    } else {
        files.m_portable = false;
    }

    std::optional<std::string> home = system.variable("HOME");
    if (!isAbsolute(home))
        home = system.accountHome();
    if (!isAbsolute(home))
        home.reset();
    const std::optional<std::string> data = baseFolder(system, "XDG_DATA_HOME", ".local/share", home);
    const std::optional<std::string> config = baseFolder(system, "XDG_CONFIG_HOME", ".config", home);
    if (data) {
        if (!files.m_portable)
            files.m_bestTimes = inProgramFolder(*data, fileNameOf(files.m_bestTimes));
        files.m_history = inProgramFolder(*data, fileNameOf(files.m_history));
    } else {
        // The history stays beside the executable, and its first write reports the path.
        files.m_historyInUserFolder = false;
    }
    if (config && !files.m_portable)
        files.m_placement = inProgramFolder(*config, fileNameOf(files.m_placement));
    return files;
}

void FileLocations::createFolders() const
{
    std::vector<const std::string*> inUserFolders;
    if (!m_portable)
        inUserFolders = { &m_bestTimes, &m_placement, &m_history };
    else if (m_historyInUserFolder)
        inUserFolders = { &m_history };
    for (const std::string* file : inUserFolders) {
        const std::string folder = folderOf(*file);
        // Each missing folder on the way down, as `mkdir -p -m 0700` would; an existing one
        // (EEXIST) is passed, any other failure ends the attempt for this file.
        for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
            const std::string prefix = folder.substr(0, end);
            if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
                break;
            if (end == std::string::npos)
                break;
        }
    }
}

} // namespace touchdrill
