// SPDX-License-Identifier: GPL-3.0-or-later
// The system's side of FileLocations: where a user's own files go, and making their folders.
// filelocations_posix.cpp follows the XDG base directory rules, filelocations_win.cpp Windows'.
#pragma once

#include "settings/filelocations.h"

#include <optional>
#include <string>

namespace touchdrill::detail {

struct UserFolders {
    std::optional<std::string> data; // the base folder of the best times and the history
    std::optional<std::string> config; // of the INI file
};

// Where the user's own files go, each folder nullopt when none can be had.
UserFolders userFolders(const FileLocations::System& system);

// Makes the folder and its missing parents, each new one private to the user where the system
// has modes; failures are left to the first write into it to report.
void createFolderPath(const std::string& folder);

} // namespace touchdrill::detail
