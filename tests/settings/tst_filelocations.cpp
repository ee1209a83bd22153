// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the choice between files beside the executable and files in the user's folders.
#include "settings/filelocations.h"

#include "tests/support/scratchfolder.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace touchdrill {
namespace {

using testing::ScratchFolder;

struct Machine {
    std::map<std::string, std::string> variables;
    std::optional<std::string> accountHome;
    std::set<std::string> writableFolders;
    std::map<std::string, bool> files; // the files there, and whether the user may write each

    FileLocations::System system() const
    {
        FileLocations::System s;
        s.variable = [this](const std::string& name) -> std::optional<std::string> {
            const auto it = variables.find(name);
            if (it == variables.end())
                return std::nullopt;
            return it->second;
        };
        s.accountHome = [this] { return accountHome; };
        s.canCreateIn = [this](const std::string& folder) { return writableFolders.count(folder) > 0; };
        s.canWrite = [this](const std::string& path) {
            const auto it = files.find(path);
            return it != files.end() && it->second;
        };
        s.exists = [this](const std::string& path) { return files.count(path) > 0; };
        return s;
    }
};

TEST(FileLocations, PortableBesideTheExecutableElseTheUsersFolders)
{
    // The expected folders: the best times and the history share one, the INI file has its own.
    struct Row {
        const char* name;
        const char* exe;
        Machine machine;
        bool portable;
        const char* dataFolder;
        const char* configFolder;
        const char* baseName = "touchdrill";
        const char* historyFolder = nullptr; // nullptr: the data folder
    };
#ifdef _WIN32
    // Windows keeps all three in the roaming application data folder.
    const std::map<std::string, std::string> home = { { "APPDATA", "C:/Users/u/AppData/Roaming" } };
    const char* data = "C:/Users/u/AppData/Roaming/touchdrill";
    const char* config = data;
    const std::string programFiles
        = FileLocations::installedMarker("C:/Program Files/touchdrill/touchdrill.exe");
#else
    const std::map<std::string, std::string> home = { { "HOME", "/home/u" } };
    const char* data = "/home/u/.local/share/touchdrill";
    const char* config = "/home/u/.config/touchdrill";
#endif
    // The installed copy's marker, found relative to the executable's folder.
    const std::string usrMarker = FileLocations::installedMarker("/usr/bin/touchdrill");
    const std::string optMarker = FileLocations::installedMarker("/opt/td/touchdrill");
    const Row rows[] = {
        { "writable folder keeps the files beside the program", "/opt/td/touchdrill",
            { home, {}, { "/opt/td" }, {} }, true, "/opt/td", "/opt/td" },
        { "read-only folder moves them to the XDG defaults", "/usr/bin/touchdrill", { home, {}, {}, {} },
            false, data, config },
        { "only the executable's own folder counts as writable", "/usr/bin/touchdrill",
            { home, {}, { "/usr", "/home/u", "/usr/bin/touchdrill" }, {} }, false, data, config },
        { "a best-times file beside a read-only program keeps it portable, the history goes to the user's",
            "/opt/td/touchdrill", { home, {}, {}, { { "/opt/td/touchdrill.bst", true } } }, true, "/opt/td",
            "/opt/td", "touchdrill", data },
        { "an INI file beside it keeps it portable, the history goes to the user's", "/opt/td/touchdrill",
            { home, {}, {}, { { "/opt/td/touchdrill.ini", true } } }, true, "/opt/td", "/opt/td",
            "touchdrill", data },
        { "a history beside it keeps it portable", "/opt/td/touchdrill",
            { home, {}, {}, { { "/opt/td/touchdrill.sqlite", true } } }, true, "/opt/td", "/opt/td" },
        { "a file there that the user may not write does not count", "/usr/bin/touchdrill",
            { home, {}, {},
                { { "/usr/bin/touchdrill.bst", false }, { "/usr/bin/touchdrill.ini", false },
                    { "/usr/bin/touchdrill.sqlite", false } } },
            false, data, config },
        { "one writable file among read-only ones keeps both beside it, the history goes",
            "/opt/td/touchdrill",
            { home, {}, {}, { { "/opt/td/touchdrill.bst", false }, { "/opt/td/touchdrill.ini", true } } },
            true, "/opt/td", "/opt/td", "touchdrill", data },
        { "a locked portable folder keeps a writable history beside it", "/opt/td/touchdrill",
            { home, {}, {}, { { "/opt/td/touchdrill.ini", true }, { "/opt/td/touchdrill.sqlite", true } } },
            true, "/opt/td", "/opt/td" },
        { "a locked portable folder's read-only history is not used", "/opt/td/touchdrill",
            { home, {}, {}, { { "/opt/td/touchdrill.bst", true }, { "/opt/td/touchdrill.sqlite", false } } },
            true, "/opt/td", "/opt/td", "touchdrill", data },
#ifndef _WIN32
        { "a locked portable folder's history follows XDG_DATA_HOME", "/opt/td/touchdrill",
            { { { "HOME", "/home/u" }, { "XDG_DATA_HOME", "/d" } }, {}, {},
                { { "/opt/td/touchdrill.bst", true } } },
            true, "/opt/td", "/opt/td", "touchdrill", "/d/touchdrill" },
#endif
        { "a locked portable folder with no home keeps the history beside it", "/opt/td/touchdrill",
            { {}, std::nullopt, {}, { { "/opt/td/touchdrill.bst", true } } }, true, "/opt/td", "/opt/td" },
        { "the installed marker wins over a writable folder, as root has", "/usr/bin/touchdrill",
            { home, {}, { "/usr/bin" }, { { usrMarker, false } } }, false, data, config },
        { "the installed marker wins over writable files beside it", "/usr/bin/touchdrill",
            { home, {}, { "/usr/bin" },
                { { usrMarker, false }, { "/usr/bin/touchdrill.bst", true },
                    { "/usr/bin/touchdrill.ini", true }, { "/usr/bin/touchdrill.sqlite", true } } },
            false, data, config },
        { "another install's marker does not count", "/opt/td/touchdrill",
            { home, {}, { "/opt/td" }, { { usrMarker, false } } }, true, "/opt/td", "/opt/td" },
        { "a marker beside an unpacked package counts", "/opt/td/touchdrill",
            { home, {}, { "/opt/td" }, { { optMarker, false } } }, false, data, config },
        { "other files beside it do not count", "/opt/td/touchdrill",
            { home, {}, {}, { { "/opt/td/touchdrill", true }, { "/opt/td/touchdrill.bst.tmp", true } } },
            false, data, config },
        { "names follow the executable's base name", "/usr/games/TouchDrill.x86", { home, {}, {}, {} }, false,
            data, config, "TouchDrill" },
        { "an executable in the root folder asks about the root folder", "/touchdrill",
            { home, {}, { "/" }, {} }, true, "", "" },
#ifdef _WIN32
        { "Windows: an unpacked zip in a folder with a Japanese name is portable",
            "D:/練習 フォルダ/touchdrill.exe", { home, {}, { "D:/練習 フォルダ" }, {} }, true,
            "D:/練習 フォルダ", "D:/練習 フォルダ" },
        { "Windows: Program Files takes no file: %APPDATA%", "C:/Program Files/touchdrill/touchdrill.exe",
            { home, {}, {}, {} }, false, data, config },
        { "Windows: the installer's copy is installed even for an administrator",
            "C:/Program Files/touchdrill/touchdrill.exe",
            { home, {}, { "C:/Program Files/touchdrill" }, { { programFiles, false } } }, false, data,
            config },
        { "Windows: a program in a drive's root asks about that root", "E:/touchdrill.exe",
            { home, {}, { "E:" }, {} }, true, "E:", "E:" },
        { "Windows: an empty or relative APPDATA: the account's folder",
            "C:/Program Files/touchdrill/touchdrill.exe",
            { { { "APPDATA", "Roaming" } }, "C:/Users/v/AppData/Roaming", {}, {} }, false,
            "C:/Users/v/AppData/Roaming/touchdrill", "C:/Users/v/AppData/Roaming/touchdrill" },
        { "Windows: HOME and the XDG variables mean nothing", "C:/Program Files/touchdrill/touchdrill.exe",
            { { { "APPDATA", "C:/A" }, { "HOME", "/home/u" }, { "XDG_DATA_HOME", "/d" } }, {}, {}, {} },
            false, "C:/A/touchdrill", "C:/A/touchdrill" },
#else
        { "absolute XDG folders are used", "/usr/bin/touchdrill",
            { { { "HOME", "/home/u" }, { "XDG_DATA_HOME", "/d" }, { "XDG_CONFIG_HOME", "/c/x" } }, {}, {},
                {} },
            false, "/d/touchdrill", "/c/x/touchdrill" },
        { "trailing slashes are not doubled", "/usr/bin/touchdrill",
            { { { "HOME", "/home/u/" }, { "XDG_DATA_HOME", "/d//" } }, {}, {}, {} }, false, "/d/touchdrill",
            config },
        { "empty XDG variables are ignored", "/usr/bin/touchdrill",
            { { { "HOME", "/home/u" }, { "XDG_DATA_HOME", "" }, { "XDG_CONFIG_HOME", "" } }, {}, {}, {} },
            false, data, config },
        { "relative XDG variables are ignored", "/usr/bin/touchdrill",
            { { { "HOME", "/home/u" }, { "XDG_DATA_HOME", "data" }, { "XDG_CONFIG_HOME", "./c" } }, {}, {},
                {} },
            false, data, config },
        { "no HOME: the account's home folder", "/usr/bin/touchdrill", { {}, "/var/lib/u", {}, {} }, false,
            "/var/lib/u/.local/share/touchdrill", "/var/lib/u/.config/touchdrill" },
        { "empty HOME: the account's home folder", "/usr/bin/touchdrill",
            { { { "HOME", "" } }, "/var/lib/u", {}, {} }, false, "/var/lib/u/.local/share/touchdrill",
            "/var/lib/u/.config/touchdrill" },
        { "relative HOME: the account's home folder", "/usr/bin/touchdrill",
            { { { "HOME", "u" } }, "/var/lib/u", {}, {} }, false, "/var/lib/u/.local/share/touchdrill",
            "/var/lib/u/.config/touchdrill" },
        { "no home anywhere: the XDG folders still serve", "/usr/bin/touchdrill",
            { { { "XDG_DATA_HOME", "/d" }, { "XDG_CONFIG_HOME", "/c" } }, std::nullopt, {}, {} }, false,
            "/d/touchdrill", "/c/touchdrill" },
        { "no home and a relative account home: files stay beside the program", "/usr/bin/touchdrill",
            { {}, "relative", {}, {} }, false, "/usr/bin", "/usr/bin" },
        { "no home and only a config folder named", "/usr/bin/touchdrill",
            { { { "XDG_CONFIG_HOME", "/c" } }, std::nullopt, {}, {} }, false, "/usr/bin", "/c/touchdrill" },
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const FileLocations files = FileLocations::decide(row.exe, row.machine.system());
        const std::string base = row.baseName;
        EXPECT_EQ(files.portable(), row.portable);
        EXPECT_EQ(files.bestTimes(), row.dataFolder + ('/' + base) + ".bst");
        EXPECT_EQ(files.placement(), row.configFolder + ('/' + base) + ".ini");
        EXPECT_EQ(files.history(),
            (row.historyFolder ? row.historyFolder : row.dataFolder) + ('/' + base) + ".sqlite");
    }
}

#ifndef _WIN32
// Linux only by design: folder modes, and the access rules of a POSIX file system.
mode_t modeOf(const std::string& path)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return 0;
    return st.st_mode & 07777;
}

TEST(FileLocations, CreatesMissingFoldersPrivateAndLeavesOthersAlone)
{
    ScratchFolder dir;
    ASSERT_EQ(::mkdir(dir.path("config").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(dir.path("config").c_str(), 0755), 0);
    dir.write("blocked", "a file where a folder should be");
    Machine machine { { { "HOME", dir.path("home") }, { "XDG_CONFIG_HOME", dir.path("config") } }, {}, {},
        {} };
    const mode_t mask = ::umask(022);
    FileLocations::decide("/usr/bin/touchdrill", machine.system()).createFolders();
    // A folder that cannot be made is left for the first write to report.
    machine.variables["XDG_DATA_HOME"] = dir.path("blocked");
    const FileLocations blocked = FileLocations::decide("/usr/bin/touchdrill", machine.system());
    blocked.createFolders();
    ::umask(mask);

    struct Row {
        const char* folder;
        mode_t mode; // 0: must not exist as a folder
    };
    const Row rows[] = {
        { "home", 0700 },
        { "home/.local", 0700 },
        { "home/.local/share", 0700 },
        { "home/.local/share/touchdrill", 0700 },
        { "config", 0755 },
        { "config/touchdrill", 0700 },
        { "home/.config", 0 },
        { "blocked", 0 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.folder);
        EXPECT_EQ(modeOf(dir.path(row.folder)), row.mode);
    }
    EXPECT_EQ(blocked.bestTimes(), dir.path("blocked/touchdrill/touchdrill.bst"));
    EXPECT_EQ(dir.read("blocked"), "a file where a folder should be");

    // Portable mode makes nothing.
    const FileLocations portable = FileLocations::beside(dir.path("bin/touchdrill"));
    portable.createFolders();
    EXPECT_EQ(modeOf(dir.path("bin")), 0u);

    // A locked portable folder makes only the history's.
    Machine locked { { { "XDG_DATA_HOME", dir.path("lockeddata") },
                         { "XDG_CONFIG_HOME", dir.path("lockedconfig") } },
        {}, {}, { { dir.path("bin/touchdrill.bst"), true } } };
    const FileLocations lockedFiles = FileLocations::decide(dir.path("bin/touchdrill"), locked.system());
    lockedFiles.createFolders();
    EXPECT_EQ(modeOf(dir.path("lockeddata/touchdrill")), 0700u);
    EXPECT_EQ(modeOf(dir.path("lockedconfig")), 0u);
    EXPECT_EQ(modeOf(dir.path("bin")), 0u);
}

TEST(FileLocations, RealSystemSeesWritableFoldersAndFiles)
{
    ScratchFolder dir;
    EXPECT_TRUE(FileLocations::decide(dir.path("touchdrill")).portable());
    EXPECT_EQ(FileLocations::decide(dir.path("touchdrill")).bestTimes(), dir.path("touchdrill.bst"));
    const FileLocations::System real = FileLocations::System::real();
    EXPECT_FALSE(real.canWrite(dir.path("touchdrill.ini")));
    EXPECT_FALSE(real.exists(dir.path("touchdrill.ini")));
    dir.write("touchdrill.ini", "[Form]\n");
    EXPECT_TRUE(real.canWrite(dir.path("touchdrill.ini")));
    EXPECT_TRUE(real.exists(dir.path("touchdrill.ini")));
    ASSERT_EQ(::symlink("nowhere", dir.path("touchdrill.bst").c_str()), 0);
    EXPECT_FALSE(real.canWrite(dir.path("touchdrill.bst"))) << "a dangling link is no file to write";
    EXPECT_FALSE(real.canCreateIn(dir.path("missing")));
    if (::geteuid() != 0) { // permission bits do not bind root
        ASSERT_EQ(::chmod(dir.path("touchdrill.ini").c_str(), 0444), 0);
        EXPECT_FALSE(real.canWrite(dir.path("touchdrill.ini")));
        ASSERT_EQ(::chmod(dir.path("").c_str(), 0555), 0);
        EXPECT_FALSE(real.canCreateIn(dir.path("")));
        ASSERT_EQ(::chmod(dir.path("").c_str(), 0700), 0);
    }
}

#endif

} // namespace
} // namespace touchdrill
