// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program keeps its files: beside the executable, or in the user's own folders.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace touchdrill {

// The paths of the best-times file, the placement INI file and the practice history, decided
// once at start-up.
//
// Portable mode keeps all three beside the executable, sharing its base name, as a build folder
// or an unpacked archive always has: it is chosen when the user can create files in the
// executable's folder, or when any of the three files is already there and the user may write
// it. Otherwise (an installed copy in a folder the user cannot write) the files go to the user's
// folders as the XDG base directory rules name them: the best times and the history in
// $XDG_DATA_HOME/touchdrill/ (~/.local/share/touchdrill/ by default), the INI file in
// $XDG_CONFIG_HOME/touchdrill/ (~/.config/touchdrill/ by default), under the same names they
// would have beside the executable.
//
// A file beside the executable that the user may not write does not keep the files there: left
// by another user (root, say, beside /usr/bin/touchdrill) or on a read-only medium, it would end
// every drill in an error box and keep no best, for every user, for good.
//
// A portable folder that takes no new file but holds the user's own best times or INI file keeps
// those beside the executable, where they are rewritten in place. The history cannot be created
// there, so unless a writable one is already there it goes to the data folder of installed mode.
//
// A copy installed from the package (or by the install's fhs component) is always in installed
// mode, whoever runs it: the install puts a marker file in the shared data folder beside its bin
// folder. Otherwise root, who can write /usr/bin, would keep its files in a package manager's
// folder, and they would outlive the package.
class FileLocations {
public:
    // What the decision reads of the machine. Tests hand in their own; real() asks the system.
    struct System {
        // An environment variable, nullopt when it is not set.
        std::function<std::optional<std::string>(const std::string& name)> variable;
        // The home folder of the running user's account, nullopt when there is none.
        std::function<std::optional<std::string>()> accountHome;
        // Whether the running user may create files in the folder.
        std::function<bool(const std::string& folder)> canCreateIn;
        // Whether the running user may write the file; false when there is none.
        std::function<bool(const std::string& path)> canWrite;
        // Whether there is a file at the path, whoever may write it.
        std::function<bool(const std::string& path)> exists;

        static System real();
    };

    // Decides the mode for the executable at `executablePath` (an absolute path).
    //
    // An XDG variable that is empty or not an absolute path is ignored, as the XDG rules say, and
    // its default is used. The defaults lie under $HOME; when HOME is unset, empty or relative,
    // the account's home folder stands in for it. With no home at all and a folder that the XDG
    // variables do not name, that file stays beside the executable: its first write then fails
    // with the usual error box naming the path, rather than the program writing somewhere the
    // user never asked for.
    static FileLocations decide(const std::string& executablePath, const System& system = System::real());

    // All three files beside the executable.
    static FileLocations beside(const std::string& executablePath);

    // The file whose presence makes the executable at `executablePath` an installed copy.
    static std::string installedMarker(const std::string& executablePath);

    bool portable() const { return m_portable; }
    const std::string& bestTimes() const { return m_bestTimes; }
    const std::string& placement() const { return m_placement; }
    const std::string& history() const { return m_history; }

    // Makes the folders that hold the files in the user's folders, missing parents included, each
    // new one with mode 0700; folders that exist are left as they are. Nothing for a file beside
    // the executable.
    // A folder that cannot be made is not reported here: the first write into it fails and shows
    // the usual error box with the file's path.
    void createFolders() const;

private:
    bool m_portable = true;
    bool m_historyInUserFolder = false; // a portable folder that takes no new history
    std::string m_bestTimes;
    std::string m_placement;
    std::string m_history;
};

} // namespace touchdrill
