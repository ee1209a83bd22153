// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line export of the practice history as CSV.
#pragma once

#include <iosfwd>
#include <string>

namespace touchdrill::history {

// Writes every drill of the history at `databasePath` as CSV (see exportCsv()) to the file
// `outPath`, or to `standardOutput` when it is "-". A missing or empty history gives the header
// alone. The database is only read. Throws HistoryError when the history cannot be read, and
// std::runtime_error with the user-visible text when the output cannot be written.
void exportHistory(const std::string& databasePath, const std::string& outPath, std::ostream& standardOutput);

} // namespace touchdrill::history
