// SPDX-License-Identifier: GPL-3.0-or-later
// The exports of the practice history as CSV, a row per drill and character or a row per answer,
// streamed from the database to the file or standard output.
#include "history/historyexport.h"

#include "fileio/atomicfile.h"
#include "fileio/errnokind.h"
#include "fileio/sysfile.h"
#include "history/answercsv.h"
#include "history/historydb.h"

#include <ctime>
#include <memory>
#include <ostream>
#include <stdexcept>

namespace touchdrill::history {

namespace {

// A drill of every row is about a hundred rows of CSV and some 20 KB in memory as it is read.
constexpr std::size_t DrillsPerPart = 100;

// The history's own texts say that recording stops, which an export has nothing to do with.
[[noreturn]] void rethrowForExport(const HistoryError& error, const std::string& databasePath)
{
    switch (error.kind()) {
    case HistoryError::Kind::NotHistory:
        throw HistoryError(
            error.kind(), databasePath + " は練習の記録ではないか、壊れています。書き出せません");
    case HistoryError::Kind::NewerVersion:
        throw HistoryError(
            error.kind(), databasePath + " は新しい版の touchdrill の練習の記録です。書き出せません");
    default:
        throw error;
    }
}

using PartWriter = std::function<void(std::string_view part)>;

// Writes what `writeCsv` makes of the history at `databasePath` to the file `outPath`, whole or not
// at all.
template <typename WriteCsv>
auto exportToFile(const std::string& databasePath, const std::string& outPath, WriteCsv&& writeCsv)
{
    // Replacing the history with its own CSV would lose it, and a save dialog makes that one
    // click: the history itself, under any name, is refused.
    if (sysfile::sameFile(databasePath, outPath))
        throw std::runtime_error(outPath + " に書き込めません（練習の記録そのものです）");
    try {
        const std::unique_ptr<HistoryDb> db = HistoryDb::openReadOnly(databasePath);
        try {
            FileReplacement file(outPath);
            auto written = writeCsv(db.get(), [&](std::string_view part) { file.write(part); });
            file.commit();
            return written;
        } catch (const FileWriteError& error) {
            // A write that stored nothing and reported no error: a full disk too.
            const bool full = error.error() == 0 || errnoKind(error.error()) == ErrnoKind::DiskFull;
            throw std::runtime_error(
                outPath + " に書き込めません" + (full ? "（ディスクがいっぱいです）" : ""));
        }
    } catch (const HistoryError& error) {
        rethrowForExport(error, databasePath);
    }
}

// As exportToFile(), or to `standardOutput` when `outPath` is "-".
template <typename WriteCsv>
auto exportTo(const std::string& databasePath, const std::string& outPath, std::ostream& standardOutput,
    WriteCsv&& writeCsv)
{
    if (outPath != "-")
        return exportToFile(databasePath, outPath, writeCsv);
    const auto failed = [] { return std::runtime_error("標準出力に書き込めません"); };
    try {
        const std::unique_ptr<HistoryDb> db = HistoryDb::openReadOnly(databasePath);
        auto written = writeCsv(db.get(), [&](std::string_view part) {
            if (!standardOutput.write(part.data(), static_cast<std::streamsize>(part.size())))
                throw failed();
        });
        if (!standardOutput.flush())
            throw failed();
        return written;
    } catch (const HistoryError& error) {
        rethrowForExport(error, databasePath);
    }
}

// writeHistoryCsv() with something to return, as exportTo() takes it.
bool historyCsv(const HistoryDb* db, const PartWriter& write)
{
    writeHistoryCsv(db, write);
    return true;
}

} // namespace

void writeHistoryCsv(const HistoryDb* db, const std::function<void(std::string_view part)>& write)
{
    tzset(); // TZ afresh: localtime_r() goes on with the zone it read first
    std::string part(CsvHeader);
    int64_t after = 0;
    while (db) {
        const std::vector<DrillRecord> drills = db->drillsSince(after, DrillsPerPart);
        if (drills.empty())
            break;
        for (const DrillRecord& drill : drills)
            appendCsvRows(drill, part);
        write(part);
        part.clear();
        after = drills.back().id;
    }
    if (!part.empty())
        write(part);
}

void exportHistoryFile(const std::string& databasePath, const std::string& outPath)
{
    exportToFile(databasePath, outPath, historyCsv);
}

void exportHistory(const std::string& databasePath, const std::string& outPath, std::ostream& standardOutput)
{
    exportTo(databasePath, outPath, standardOutput, historyCsv);
}

AnswerExport writeAnswersCsv(const HistoryDb* db, const PartWriter& write)
{
    tzset(); // TZ afresh, as writeHistoryCsv() reads it
    AnswerExport written;
    std::string part(AnswerCsvHeader);
    int64_t after = 0;
    while (db) {
        const std::vector<DrillRecord> drills = db->drillsSince(after, DrillsPerPart);
        if (drills.empty())
            break;
        for (const DrillRecord& drill : drills) {
            if (appendAnswerCsvRows(drill, part)) {
                ++written.drills;
                written.answers += drill.answers->size();
            } else {
                ++written.drillsWithoutAnswers;
            }
        }
        write(part);
        part.clear();
        after = drills.back().id;
    }
    if (!part.empty())
        write(part);
    return written;
}

AnswerExport exportAnswers(
    const std::string& databasePath, const std::string& outPath, std::ostream& standardOutput)
{
    return exportTo(databasePath, outPath, standardOutput, writeAnswersCsv);
}

} // namespace touchdrill::history
