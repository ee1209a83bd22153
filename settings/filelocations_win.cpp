// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program keeps its files on Windows: beside the executable when its folder takes a
// new file, else in the user's roaming application data folder, %APPDATA%\touchdrill\.
#include "settings/filelocations_p.h"

#include "fileio/sysfile.h"
#include "fileio/sysfile_win.h"

#include <windows.h>

#include <shlobj.h>

#include <cstdlib>

namespace touchdrill {

namespace {

// "C:/..." or a network path "//server/...", as utf8Path() gives them.
bool isAbsolute(const std::optional<std::string>& path)
{
    if (!path || path->size() < 3)
        return false;
    const std::string& p = *path;
    const bool drive
        = ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')) && p[1] == ':' && p[2] == '/';
    return drive || (p[0] == '/' && p[1] == '/');
}

} // namespace

FileLocations::System FileLocations::System::real()
{
    System system;
    system.variable = [](const std::string& name) -> std::optional<std::string> {
        const wchar_t* value = ::_wgetenv(sysfile::widePath(name).c_str());
        if (!value)
            return std::nullopt;
        return sysfile::utf8Path(value);
    };
    // Windows has no home folder in this sense: the account's roaming application data folder
    // stands in, found without the environment.
    system.accountHome = []() -> std::optional<std::string> {
        PWSTR folder = nullptr;
        std::optional<std::string> found;
        if (::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &folder) == S_OK && folder)
            found = sysfile::utf8Path(folder);
        ::CoTaskMemFree(folder);
        return found;
    };
    // Tried, not asked: the access functions know nothing of ACLs and say yes for a folder such
    // as C:\Program Files that takes no file from an ordinary user.
    system.canCreateIn = [](const std::string& folder) {
        const std::string probe = folder + (folder.ends_with('/') ? "" : "/") + ".touchdrill-"
            + std::to_string(::GetCurrentProcessId());
        const HANDLE file
            = ::CreateFileW(sysfile::widePath(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        ::CloseHandle(file);
        return true;
    };
    system.canWrite = [](const std::string& path) {
        const std::wstring wide = sysfile::widePath(path);
        const DWORD attributes = ::GetFileAttributesW(wide.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES
            || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
            return false;
        const HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_WRITE,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        ::CloseHandle(file);
        return true;
    };
    system.exists = [](const std::string& path) {
        return ::GetFileAttributesW(sysfile::widePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    };
    return system;
}

namespace detail {

UserFolders userFolders(const FileLocations::System& system)
{
    std::optional<std::string> appData = system.variable("APPDATA");
    if (!isAbsolute(appData))
        appData = system.accountHome();
    if (!isAbsolute(appData))
        appData.reset();
    return { appData, appData };
}

void createFolderPath(const std::string& folder)
{
    // Each folder on the way down; the drive, the server's share and folders that exist refuse,
    // which is no reason to stop.
    for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::size_t stop = end == std::string::npos ? folder.size() : end;
        if (stop > 0 && folder[stop - 1] != ':' && folder[stop - 1] != '/')
            sysfile::mkdir(folder.substr(0, stop), 0700);
        if (end == std::string::npos)
            break;
    }
}

} // namespace detail

} // namespace touchdrill
