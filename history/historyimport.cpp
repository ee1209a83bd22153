// SPDX-License-Identifier: GPL-3.0-or-later
// Merging another touchdrill history into this one.
#include "history/historyimport.h"

#include "fileio/sysfile.h"
#include "history/historyschema.h"

#include <memory>
#include <stdexcept>
#include <utility>

namespace touchdrill::history {

namespace {

// The history's own texts say that recording stops or that this drill is lost, which an import has
// nothing to do with.
[[noreturn]] void rethrowForImport(const HistoryError& error, const std::string& path)
{
    switch (error.kind()) {
    case HistoryError::Kind::NotHistory:
        throw HistoryError(error.kind(), path + " は練習の記録ではないか、壊れています。取り込めません");
    case HistoryError::Kind::NewerVersion:
        throw HistoryError(error.kind(), path + " は新しい版の touchdrill の練習の記録です。取り込めません");
    case HistoryError::Kind::Busy:
        throw HistoryError(error.kind(), path + " は別の touchdrill が使っています。取り込めません");
    default:
        throw error;
    }
}

} // namespace

ImportResult importHistory(const std::string& historyPath, const std::string& otherPath)
{
    if (sysfile::sameFile(historyPath, otherPath))
        throw std::runtime_error(otherPath + " はこの練習の記録そのものです。取り込めません");
    std::vector<DrillRecord> drills;
    try {
        // An empty file reads as a history without drills where the program makes its own; one
        // chosen to merge is a mistake worth saying.
        if (inspect(otherPath, false) == Found::EmptyFile)
            fail(HistoryError::Kind::NotHistory, Doing::Reading, otherPath);
        const std::unique_ptr<HistoryDb> other = HistoryDb::openReadOnly(otherPath);
        if (!other)
            throw std::runtime_error(otherPath + " がありません。取り込めません");
        std::size_t skipped = 0;
        drills = other->drills(&skipped);
        // A drill with a row left out would come in with other totals than it had, and as another
        // drill than the one it is once the file is mended.
        if (skipped != 0)
            fail(HistoryError::Kind::NotHistory, Doing::Reading, otherPath);
    } catch (const HistoryError& error) {
        rethrowForImport(error, otherPath);
    }
    if (drills.empty())
        return {}; // nothing to add: no history made for it
    try {
        const std::unique_ptr<HistoryDb> db = HistoryDb::open(historyPath, true);
        return db->importDrills(std::move(drills));
    } catch (const HistoryError& error) {
        rethrowForImport(error, historyPath);
    }
}

std::string importReport(const ImportResult& result)
{
    return std::to_string(result.added) + " 回の練習を取り込み、すでにあった "
        + std::to_string(result.skipped) + " 回を飛ばしました";
}

} // namespace touchdrill::history
