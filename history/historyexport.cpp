// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line export of the practice history as CSV.
#include "historyexport.h"

#include "historydb.h"

#include <fstream>
#include <ostream>
#include <sstream>
#include <stdexcept>

namespace touchdrill::history {

void exportHistory(const std::string& databasePath, const std::string& outPath, std::ostream& standardOutput)
{
    std::vector<DrillRecord> drills;
    if (auto db = HistoryDb::openReadOnly(databasePath))
        drills = db->drills();
    // The whole text first: a history that fails half-way leaves no half-written file.
    std::ostringstream csv;
    exportCsv(drills, csv);
    const std::string text = csv.str();

    const std::string failed
        = outPath == "-" ? std::string("標準出力に書き込めません") : outPath + " に書き込めません";
    if (outPath == "-") {
        standardOutput.write(text.data(), static_cast<std::streamsize>(text.size()));
        standardOutput.flush();
        if (!standardOutput)
            throw std::runtime_error(failed);
        return;
    }
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out)
        throw std::runtime_error(failed);
}

} // namespace touchdrill::history
