// SPDX-License-Identifier: GPL-3.0-or-later
// Merging another history's drills into this one: HistoryDb::importDrills(), apart from the reads
// and the store of history/historydb.cpp.
#include "history/historydb.h"

#include "history/historyschema.h"
#include "history/sqlitestatement.h"

#include <sqlite3.h>

#include <array>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace touchdrill::history {

namespace {

// What tells one drill from another across histories: its start, end, rows and totals.
using DrillIdentity = std::tuple<int64_t, int64_t, std::string, int64_t, int64_t, int64_t>;

DrillIdentity identityOf(const DrillRecord& drill)
{
    const CountsSum totals = countsOf(drill);
    return { drill.startedUtcMs, drill.endedUtcMs, drill.rows, static_cast<int64_t>(totals.hits),
        static_cast<int64_t>(totals.totalMs), static_cast<int64_t>(totals.wrong) };
}

// Chooses each of `codes`' latest drills anew, as store() keeps them: the character's last
// LatestDrills drills in a ring, its n-th drill in slot (n - 1) % LatestDrills, n counted by
// key_total. Walks drill_key from the newest drill back until each has its drills, so a history of
// drills that bring every character reads only its last few.
void chooseLatest(sqlite3* db, const std::string& path, const std::set<unsigned char>& codes)
{
    struct Latest {
        int64_t drills = 0; // key_total's count
        std::vector<std::array<int64_t, 4>> rows; // drill id, hits, total_ms, wrong: newest first
    };
    std::map<unsigned char, Latest> latest;
    {
        Statement total(db, "SELECT drills FROM key_total WHERE code = ?", Doing::Writing, path);
        for (unsigned char code : codes) {
            total.bind(1, code);
            if (total.step())
                latest[code].drills = total.integer(0);
            total.run(); // resets
        }
    }
    std::size_t full = 0;
    // Newest first by start, along the index by start: merged drills have ids above drills that
    // started after them.
    Statement walk(db,
        (std::string("SELECT k.drill_id, k.code, k.hits, k.total_ms, k.wrong FROM drill d"
                     " JOIN (SELECT drill_id, code, hits, total_ms, wrong FROM drill_key WHERE ")
            + CountsAsDrillSql + ") k ON k.drill_id = d.id ORDER BY d.started_utc_ms DESC, d.id DESC")
            .c_str(),
        Doing::Writing, path);
    while (full < latest.size() && walk.step()) {
        const auto found = latest.find(static_cast<unsigned char>(walk.integer(1)));
        if (found == latest.end() || found->second.rows.size() == LatestDrills)
            continue;
        found->second.rows.push_back({ walk.integer(0), walk.integer(2), walk.integer(3), walk.integer(4) });
        if (found->second.rows.size() == LatestDrills)
            ++full;
    }
    Statement clear(db, "DELETE FROM key_latest WHERE code = ?", Doing::Writing, path);
    Statement insert(db,
        "INSERT INTO key_latest (code, slot, drill_id, hits, total_ms, wrong) VALUES (?, ?, ?, ?, ?, ?)",
        Doing::Writing, path);
    constexpr auto Ring = static_cast<int64_t>(LatestDrills);
    for (const auto& [code, key] : latest) {
        clear.bind(1, code).run();
        int64_t n = key.drills; // the newest drill's number among the character's drills
        for (const auto& [drillId, hits, totalMs, wrong] : key.rows) {
            insert.bind(1, code)
                .bind(2, ((n-- - 1) % Ring + Ring) % Ring)
                .bind(3, drillId)
                .bind(4, hits)
                .bind(5, totalMs)
                .bind(6, wrong)
                .run();
        }
    }
}

} // namespace

ImportResult HistoryDb::importDrills(std::vector<DrillRecord> drills)
{
    return importDrills([&](std::vector<DrillRecord>& part) {
        part = std::move(drills);
        return false;
    });
}

ImportResult HistoryDb::importDrills(const std::function<bool(std::vector<DrillRecord>& part)>& nextPart)
{
    m_refusal.check();
    if (m_readOnly)
        fail(HistoryError::Kind::CannotWrite, Doing::Writing, m_path);
    return m_refusal.watch([&] {
        ImportResult result;
        Transaction transaction(m_db, "BEGIN IMMEDIATE", Doing::Writing, m_path);
        // Along the index by start; the drills this merge stored are found too.
        Statement held(m_db,
            "SELECT 1 FROM drill WHERE started_utc_ms = ? AND ended_utc_ms = ? AND rows = ? AND hits = ?"
            " AND total_ms = ? AND wrong = ? LIMIT 1",
            Doing::Writing, m_path);
        std::set<unsigned char> codes;
        std::vector<DrillRecord> part;
        std::vector<DrillRecord> toAdd;
        for (bool more = true; more;) {
            part.clear();
            more = nextPart(part);
            toAdd.clear();
            std::set<DrillIdentity> inPart; // a drill given twice in one part
            for (DrillRecord& drill : part) {
                const DrillIdentity identity = identityOf(drill);
                held.bind(1, std::get<0>(identity))
                    .bind(2, std::get<1>(identity))
                    .bind(3, std::get<2>(identity))
                    .bind(4, std::get<3>(identity))
                    .bind(5, std::get<4>(identity))
                    .bind(6, std::get<5>(identity));
                const bool known = held.step();
                held.reset();
                if (known || !inPart.insert(identity).second) {
                    ++result.skipped;
                    continue;
                }
                for (const KeyRecord& key : drill.keys)
                    codes.insert(key.code);
                toAdd.push_back(std::move(drill));
            }
            // As a drill's end stores them, within this transaction.
            store(toAdd);
            result.added += toAdd.size();
        }
        // The ring of each character's latest drills was filled in the order stored.
        if (result.added != 0)
            chooseLatest(m_db, m_path, codes);
        transaction.commit();
        return result;
    });
}

} // namespace touchdrill::history
