// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program keeps its files: beside the executable, or in the user's own folders.
#include "settings/filelocations.h"

#include "fileio/paths.h"
#include "settings/filelocations_p.h"
#include "settings/filenames.h"

#include <vector>

namespace touchdrill {

namespace {

// The folder of the program's own files inside a base folder such as ~/.local/share.
constexpr const char* ProgramFolder = "touchdrill";

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

} // namespace

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

    const auto [data, config] = detail::userFolders(system);
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
    for (const std::string* file : inUserFolders)
        detail::createFolderPath(folderOf(*file));
}

} // namespace touchdrill
