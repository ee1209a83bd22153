// SPDX-License-Identifier: GPL-3.0-or-later
// The exports of the practice history as CSV, a row per drill and character or a row per answer,
// streamed from the database to the file or standard output.
#include "history/historyexport.h"

#include "drill/calendar.h"
#include "fileio/atomicfile.h"
#include "fileio/errnokind.h"
#include "fileio/sysfile.h"
#include "history/answercsv.h"
#include "history/historydb.h"

#include <ctime>
#include <memory>
#include <new>
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
    } catch (const std::bad_alloc&) {
        throw std::runtime_error(std::string(OutOfMemoryText) + "。" + databasePath + " を書き出せません");
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
    } catch (const std::bad_alloc&) {
        throw std::runtime_error(std::string(OutOfMemoryText) + "。" + databasePath + " を書き出せません");
    }
}

// Hands each part of the history's drills to `append` (with whether a row of it was left out), and the CSV it
// made of them to `write`, the header first: every part to the end, whatever could not be read in between.
// Returns the rows left out.
template <typename Append>
std::size_t writeParts(const HistoryDb* db, std::string_view header, const PartWriter& write, Append&& append)
{
    readTimeZone();
    std::string part(header);
    std::size_t unreadable = 0;
    for (int64_t after = 0; db;) {
        const DrillPage page = db->page(after, DrillsPerPart);
        unreadable += page.skippedRows;
        for (const DrillRecord& drill : page.drills)
            append(drill, page.damaged.contains(drill.id), part);
        if (!part.empty())
            write(part);
        part.clear();
        if (page.end)
            break;
        after = page.next;
    }
    if (!part.empty())
        write(part);
    return unreadable;
}

} // namespace

std::size_t writeHistoryCsv(const HistoryDb* db, const std::function<void(std::string_view part)>& write)
{
    return writeParts(db, CsvHeader, write,
        [](const DrillRecord& drill, bool, std::string& part) { appendCsvRows(drill, part); });
}

std::size_t exportHistoryFile(const std::string& databasePath, const std::string& outPath)
{
    return exportToFile(databasePath, outPath, writeHistoryCsv);
}

std::size_t exportHistory(
    const std::string& databasePath, const std::string& outPath, std::ostream& standardOutput)
{
    return exportTo(databasePath, outPath, standardOutput, writeHistoryCsv);
}

AnswerExport writeAnswersCsv(const HistoryDb* db, const PartWriter& write)
{
    AnswerExport written;
    written.unreadable = writeParts(
        db, AnswerCsvHeader, write, [&](const DrillRecord& drill, bool damaged, std::string& part) {
            if (appendAnswerCsvRows(drill, part)) {
                ++written.drills;
                written.answers += drill.answers->size();
            } else if (damaged) {
                ++written.drillsWithDamagedAnswers;
            } else {
                ++written.drillsWithoutAnswers;
            }
        });
    return written;
}

AnswerExport exportAnswers(
    const std::string& databasePath, const std::string& outPath, std::ostream& standardOutput)
{
    return exportTo(databasePath, outPath, standardOutput, writeAnswersCsv);
}

std::string unreadableReport(std::size_t rows)
{
    return rows == 0 ? std::string() : "読めない記録 " + std::to_string(rows) + " 件を飛ばしました";
}

} // namespace touchdrill::history
