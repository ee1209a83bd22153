// SPDX-License-Identifier: GPL-3.0-or-later
// The CSV of drills held in memory, for the tests that check its rows without a history file. For
// the programs that link touchdrill_history.
#pragma once

#include "history/historycsv.h"

#include <ctime>
#include <ostream>
#include <string>
#include <vector>

namespace touchdrill::history {

// The whole CSV of `drills`, as the export writes it a part at a time.
inline void exportCsv(const std::vector<DrillRecord>& drills, std::ostream& out)
{
    tzset(); // TZ afresh, as the export reads it
    std::string text(CsvHeader);
    for (const DrillRecord& drill : drills)
        appendCsvRows(drill, text);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

} // namespace touchdrill::history
