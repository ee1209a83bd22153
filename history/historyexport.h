// SPDX-License-Identifier: GPL-3.0-or-later
// The exports of the practice history as CSV, from the command line and from the progress window:
// a row per drill and character (historycsv.h), and a row per answer (answercsv.h).
#pragma once

#include "history/historycsv.h"

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>

namespace touchdrill::history {

class HistoryDb;

// The CSV of every drill of `db` (the header alone for none), handed to `write` a hundred drills
// at a time, so that memory does not grow with the history. Each part is read in a transaction of
// its own: another copy of the program may store a drill between two parts and is not kept waiting
// while a part is written. Drills keep their ids, so none is written twice. Rows the reads leave
// out, however many in a row, are passed over and the export goes on: returns how many. Throws
// HistoryError, and whatever `write` throws.
std::size_t writeHistoryCsv(const HistoryDb* db, const std::function<void(std::string_view part)>& write);

// Writes every drill of the history at `databasePath` as CSV to the file `outPath`, which is then
// the whole CSV or, after any failure, as it was (by the rules of FileReplacement). A missing or
// empty history gives the header alone. The database is only read. Throws HistoryError when the
// history cannot be read, and std::runtime_error with the user-visible text when the file cannot
// be written. Returns the rows left out as writeHistoryCsv() does.
std::size_t exportHistoryFile(const std::string& databasePath, const std::string& outPath);

// As exportHistoryFile(), or to `standardOutput` when `outPath` is "-": the command line's export.
std::size_t exportHistory(
    const std::string& databasePath, const std::string& outPath, std::ostream& standardOutput);

// What the exports say on standard error of `rows` left out: empty for none.
std::string unreadableReport(std::size_t rows);

// What the export of every answer wrote.
struct AnswerExport {
    std::size_t drills = 0; // drills with their answers
    std::size_t answers = 0; // rows
    std::size_t drillsWithoutAnswers = 0; // recorded before the history kept answers: no rows
    std::size_t drillsWithDamagedAnswers = 0; // answers that cannot be read: no rows
    std::size_t unreadable = 0; // rows the reads left out
};

// The CSV of every answer of every drill of `db` (the header alone for none), a part at a time as
// writeHistoryCsv() hands it. Throws as writeHistoryCsv().
AnswerExport writeAnswersCsv(const HistoryDb* db, const std::function<void(std::string_view part)>& write);

// As exportHistory(), with a row per answer: to the file `outPath`, which is then the whole CSV or
// as it was, or to `standardOutput` when `outPath` is "-". Throws as exportHistory().
AnswerExport exportAnswers(
    const std::string& databasePath, const std::string& outPath, std::ostream& standardOutput);

} // namespace touchdrill::history
