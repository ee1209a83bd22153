// SPDX-License-Identifier: GPL-3.0-or-later
// Merging another touchdrill history (a second computer's, an old portable folder's) into this one,
// from the command line and from the progress window.
#pragma once

#include "history/historydb.h"

#include <string>

namespace touchdrill::history {

// Adds the drills of the history at `otherPath` that the history at `historyPath` does not hold yet
// (HistoryDb::importDrills()), creating it when it is missing and there is a drill to add. The
// other file is only read, whatever its version; this one is brought up to date as any open
// does. Nothing is written when either file is refused: not a history of ours, damaged (any row
// the reads would leave out), written by a newer program, missing (the other), or the same file.
// Throws HistoryError or std::runtime_error with the user-visible text, naming the file at fault.
ImportResult importHistory(const std::string& historyPath, const std::string& otherPath);

// What an import did, in a line for the user: how many drills it added and how many it skipped.
std::string importReport(const ImportResult& result);

} // namespace touchdrill::history
