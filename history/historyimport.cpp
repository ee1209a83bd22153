// SPDX-License-Identifier: GPL-3.0-or-later
// Merging another touchdrill history into this one.
#include "history/historyimport.h"

#include "fileio/sysfile.h"
#include "history/historyschema.h"
#include "history/importcheck.h"

#include <chrono>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <unistd.h>
#include <utility>

namespace touchdrill::history {

namespace {

// A part of the other file: a hundred drills of every row are about 2 MB as they are read.
constexpr std::size_t DrillsPerPart = 100;

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

// A failure of the other file met while this history's transaction is open: it must not pass for
// a failure of this one on its way out.
struct OtherFileFailed {
    HistoryError error;
};

int64_t systemNowUtcMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Reads the other file a part at a time, keeping the drills that may be stored.
class OtherDrills {
public:
    OtherDrills(const HistoryDb& other, const std::string& historyPath, const ImportOptions& options,
        ImportResult& result)
        : m_other(other)
        , m_historyPath(historyPath)
        , m_options(options)
        , m_result(result)
        , m_now(options.nowUtcMs != 0 ? options.nowUtcMs : systemNowUtcMs())
        , m_total(static_cast<std::size_t>(std::max<int64_t>(0, other.drillCount())))
    {
        tell();
    }

    // The next drills to store, at least one while there are any; false once the file is read.
    bool next(std::vector<DrillRecord>& part)
    {
        while (part.empty() && !m_end) {
            DrillPage page;
            try {
                page = m_other.page(m_after, DrillsPerPart);
            } catch (const HistoryError& error) {
                throw OtherFileFailed { error };
            }
            m_after = page.next;
            m_end = page.end;
            m_done += page.lostDrills + page.drills.size();
            m_result.refused += page.lostDrills;
            m_result.unreadable += page.lostDrills;
            for (DrillRecord& drill : page.drills) {
                const bool damaged = page.damaged.contains(drill.id);
                if (damaged || importFault(drill, m_now) != DrillFault::None) {
                    ++m_result.refused;
                    m_result.unreadable += damaged;
                    continue;
                }
                drill.id = 0;
                part.push_back(std::move(drill));
            }
            tell();
        }
        return !m_end;
    }

private:
    void tell() const
    {
        // A file that grew while it was read has looked at more than it held at first.
        if (m_options.progress && !m_options.progress(std::min(m_done, m_total), m_total))
            throw ImportCancelled(m_historyPath);
    }

    const HistoryDb& m_other;
    const std::string& m_historyPath;
    const ImportOptions& m_options;
    ImportResult& m_result;
    const int64_t m_now;
    const std::size_t m_total;
    std::size_t m_done = 0;
    int64_t m_after = 0;
    bool m_end = false;
};

} // namespace

ImportCancelled::ImportCancelled(const std::string& historyPath)
    : std::runtime_error("取り込みを中止しました。" + historyPath + " はそのままです")
{
}

namespace {

ImportResult merge(const std::string& historyPath, const std::string& otherPath, const ImportOptions& options)
{
    if (sysfile::sameFile(historyPath, otherPath))
        throw std::runtime_error(otherPath + " はこの練習の記録そのものです。取り込めません");
    ImportResult result;
    std::unique_ptr<HistoryDb> other;
    std::optional<OtherDrills> drills;
    std::vector<DrillRecord> first;
    bool more = false;
    try {
        try {
            // An empty file reads as a history without drills where the program makes its own; one
            // chosen to merge is a mistake worth saying.
            if (inspect(otherPath, false) == Found::EmptyFile)
                fail(HistoryError::Kind::NotHistory, Doing::Reading, otherPath);
            other = HistoryDb::openToImport(otherPath);
            if (!other)
                throw std::runtime_error(otherPath + " がありません。取り込めません");
            drills.emplace(*other, historyPath, options, result);
            more = drills->next(first);
        } catch (const OtherFileFailed& failed) {
            throw failed.error;
        }
    } catch (const HistoryError& error) {
        rethrowForImport(error, otherPath);
    }
    if (first.empty())
        return result; // nothing to add: no history made for it
    try {
        const std::unique_ptr<HistoryDb> db = HistoryDb::open(historyPath, true);
        const ImportResult stored = db->importDrills([&](std::vector<DrillRecord>& part) {
            if (!first.empty()) {
                part = std::move(first);
                first.clear();
                return more;
            }
            return drills->next(part);
        });
        result.added = stored.added;
        result.skipped = stored.skipped;
        return result;
    } catch (const OtherFileFailed& failed) {
        rethrowForImport(failed.error, otherPath);
    } catch (const HistoryError& error) {
        // A write that failed (a full disk, a file-size limit) leaves SQLite unable to roll back
        // on that connection: the journal is rolled back now, by the next read, rather than at the
        // next run, and the file is as it was before this function returns.
        if (error.kind() != HistoryError::Kind::Busy && !error.permanent()
            && sysfile::access(historyPath + "-journal", F_OK) == 0) {
            try {
                HistoryDb::openReadOnly(historyPath);
            } catch (const HistoryError&) {
                // The next open tries again.
            }
        }
        rethrowForImport(error, historyPath);
    }
}

} // namespace

ImportResult importHistory(
    const std::string& historyPath, const std::string& otherPath, const ImportOptions& options)
{
    try {
        return merge(historyPath, otherPath, options);
    } catch (const std::bad_alloc&) {
        throw std::runtime_error(std::string(OutOfMemoryText) + "。" + otherPath + " を取り込めません");
    }
}

std::string importReport(const ImportResult& result)
{
    std::string report = std::to_string(result.added) + " 回の練習を取り込み、すでにあった "
        + std::to_string(result.skipped) + " 回";
    if (result.refused != 0) {
        report += "と、取り込めない " + std::to_string(result.refused) + " 回";
        if (result.unreadable != 0)
            report += "（うち " + std::to_string(result.unreadable) + " 回は読めない記録）";
    }
    return report + "を飛ばしました";
}

} // namespace touchdrill::history
