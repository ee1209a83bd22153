// SPDX-License-Identifier: GPL-3.0-or-later
// Merging another touchdrill history (a second computer's, an old portable folder's) into this one,
// from the command line and from the progress window.
#pragma once

#include "history/historydb.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace touchdrill::history {

struct ImportOptions {
    // What "now" is for the checks of the drills' times; 0 for the system clock.
    int64_t nowUtcMs = 0;
    // Told after each part: the drills of the other file looked at so far, and how many it holds.
    // Returning false stops the import, which then throws ImportCancelled and stores nothing.
    std::function<bool(std::size_t done, std::size_t total)> progress;
};

// The import was stopped by its progress callback; nothing was stored in the history at
// `historyPath`, which the text names.
class ImportCancelled : public std::runtime_error {
public:
    explicit ImportCancelled(const std::string& historyPath);
};

// Adds the drills of the history at `otherPath` that the history at `historyPath` does not hold yet
// (HistoryDb::importDrills()), creating it when it is missing and there is a drill to add. The
// other file is only read, whatever its version, a part at a time in memory that does not grow
// with either file; each drill is checked as one this program could have recorded (importFault())
// and one that is not, or that has a row the reads leave out, is counted and never stored. This
// history is brought up to date as any open does, and takes all the drills or none. Refused with
// nothing written: a file that is not a history of ours, or one whose reads something other than
// its values could decide, one written by a newer program, missing (the other), or the same file.
// Throws HistoryError or std::runtime_error with the user-visible text, naming the file at fault.
ImportResult importHistory(
    const std::string& historyPath, const std::string& otherPath, const ImportOptions& options = {});

// What an import did, in a line for the user: how many drills it added and how many it skipped.
std::string importReport(const ImportResult& result);

} // namespace touchdrill::history
