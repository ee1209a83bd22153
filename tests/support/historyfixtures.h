// SPDX-License-Identifier: GPL-3.0-or-later
// What the history's tests share: drills made up or generated, another tool's hand on a file, the
// first schemas' files, and comparisons of what was stored and read back. SQLite's own API, so a
// test that includes it links SQLite.
#pragma once

#include "drill/codepage.h"
#include "figures/progressfigures.h"
#include "history/historydb.h"
#include "history/historyexport.h"
#include "history/historyschema.h"
#include "tests/support/csvexport.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace touchdrill::testing {

using namespace touchdrill::history;
using namespace touchdrill::figures;

inline DrillRecord sampleDrill(int64_t started, const std::string& rows)
{
    DrillRecord drill;
    drill.startedUtcMs = started;
    drill.endedUtcMs = started + 61'234;
    drill.rows = rows;
    drill.keys.push_back({ 'a', 3, 1299, 2, { { 's', 1 }, { 0xa5, 1 } } });
    drill.keys.push_back({ 'f', 0, 0, 1, { { 'g', 1 } } }); // wrong keys only
    drill.keys.push_back({ '~', 1, 0xFFFFFFFFu, 0, {} });
    return drill;
}

inline void expectSame(const DrillRecord& got, const DrillRecord& want)
{
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(got.startedUtcMs, want.startedUtcMs);
    EXPECT_EQ(got.endedUtcMs, want.endedUtcMs);
    EXPECT_EQ(got.rows, want.rows);
    ASSERT_EQ(got.keys.size(), want.keys.size());
    for (std::size_t i = 0; i < got.keys.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got.keys[i].code, want.keys[i].code);
        EXPECT_EQ(got.keys[i].hits, want.keys[i].hits);
        EXPECT_EQ(got.keys[i].totalMs, want.keys[i].totalMs);
        EXPECT_EQ(got.keys[i].wrong, want.keys[i].wrong);
        EXPECT_EQ(got.keys[i].wrongKeys, want.keys[i].wrongKeys);
    }
    EXPECT_EQ(got.answers, want.answers);
    EXPECT_EQ(got.poolSize, want.answers ? want.poolSize : 0u);
}

// Answers that add up to sampleDrill()'s keys, the last one unanswered.
inline std::vector<Answer> sampleAnswers()
{
    return { { 'a', 0, 400, { { 's', 100 }, { 0xa5, 200 } } }, { '~', 'a', UINT32_MAX, {} },
        { 'a', '~', 400, {} }, { 'a', 'a', 499, {} }, { 'f', 'a', 0, { { 'g', 50 } }, false } };
}

// A second connection, as another running copy or another tool would have.
class Other {
public:
    explicit Other(const std::string& path)
    {
        if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK)
            throw std::runtime_error("open");
    }
    ~Other() { sqlite3_close(m_db); }
    void exec(const std::string& sql)
    {
        char* message = nullptr;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
            const std::string text = message ? message : "?";
            sqlite3_free(message);
            throw std::runtime_error(text);
        }
    }
    int64_t integer(const std::string& sql)
    {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr);
        const int64_t value = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
        sqlite3_finalize(stmt);
        return value;
    }
    std::string text(const std::string& sql)
    {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr);
        std::string value = sqlite3_step(stmt) == SQLITE_ROW
            ? reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))
            : "(no row)";
        sqlite3_finalize(stmt);
        return value;
    }

private:
    sqlite3* m_db = nullptr;
};

// A history of `count` drills over `characters`, hours to a day and a half apart, each character
// (one named twice more often) answered or missed at random, with wrong keys now and then; a total near 2^32
// now and then, and a character neither answered nor missed (the figures leave it out).
inline std::vector<DrillRecord> generatedHistory(int count, const std::string& characters, unsigned seed)
{
    std::mt19937 random(seed);
    auto between = [&](uint32_t low, uint32_t high) {
        return std::uniform_int_distribution<uint32_t>(low, high)(random);
    };
    std::vector<DrillRecord> drills;
    int64_t started = 1'796'083'200'000; // 2026-12-01
    for (int i = 0; i < count; ++i) {
        started += int64_t(between(1, 36)) * 3'600'000 + between(0, 999);
        DrillRecord drill;
        drill.startedUtcMs = started;
        drill.endedUtcMs = started + between(10'000, 200'000);
        drill.rows = i % 7 == 0 ? WeakKeysRows : "hs";
        std::map<unsigned char, int> weights; // a character named n times comes up more often
        for (char c : characters)
            ++weights[static_cast<unsigned char>(c)];
        for (const auto& [code, weight] : weights) {
            if (between(0, 9) < 4 && (weight == 1 || between(0, 9) < 4))
                continue;
            KeyRecord key;
            key.code = code;
            key.hits = between(0, 4) == 0 ? 0 : between(1, 20);
            key.totalMs = between(0, 199) == 0 ? 0xFFFFFFF0u : key.hits * between(150, 900);
            for (uint32_t w = between(0, 3); w > 0; --w) {
                const unsigned char typed = "sdx;\xa5\xb1"[between(0, 5)];
                ++key.wrongKeys[typed];
                ++key.wrong;
            }
            if (key.hits == 0 && key.wrong == 0 && between(0, 3) != 0)
                continue;
            drill.keys.push_back(key);
        }
        if (drill.keys.empty())
            drill.keys.push_back({ static_cast<unsigned char>(characters[0]), 1, 400, 0, {} });
        drills.push_back(std::move(drill));
    }
    return drills;
}

// The history as the first schema stored it, written straight into a new file.
inline void writeVersionOne(const std::string& path, const std::vector<DrillRecord>& drills)
{
    std::string sql = "PRAGMA application_id=" + std::to_string(ApplicationId)
        + "; PRAGMA user_version=1; BEGIN;" + migrationStep(0);
    int64_t id = 0;
    for (const DrillRecord& drill : drills) {
        ++id;
        sql += "INSERT INTO drill VALUES (" + std::to_string(id) + "," + std::to_string(drill.startedUtcMs)
            + "," + std::to_string(drill.endedUtcMs) + ",'" + drill.rows + "');";
        for (const KeyRecord& key : drill.keys) {
            sql += "INSERT INTO drill_key VALUES (" + std::to_string(id) + "," + std::to_string(key.code)
                + "," + std::to_string(key.hits) + "," + std::to_string(key.totalMs) + ","
                + std::to_string(key.wrong) + ");";
            for (const auto& [typed, count] : key.wrongKeys)
                sql += "INSERT INTO wrong_key VALUES (" + std::to_string(id) + "," + std::to_string(key.code)
                    + "," + std::to_string(typed) + "," + std::to_string(count) + ");";
        }
    }
    Other(path).exec(sql + "COMMIT;");
}

// The history as the version before answers stored it: stored as today, then the answers' table,
// index and column taken away again.
inline void writeVersionTwo(const std::string& path, std::vector<DrillRecord> drills)
{
    {
        auto db = HistoryDb::open(path, true);
        for (DrillRecord& drill : drills)
            db->record(drill);
    }
    Other(path).exec("BEGIN; DROP INDEX drill_started; DROP TABLE drill_answers;"
                     " ALTER TABLE drill DROP COLUMN pool_size; ALTER TABLE drill_key DROP COLUMN answer_ms;"
                     " PRAGMA user_version=2; COMMIT; VACUUM;");
}

inline std::string csvOf(const std::vector<DrillRecord>& drills)
{
    std::ostringstream out;
    exportCsv(drills, out);
    return out.str();
}

// Every field, so that one comparison says which character or point differs and how.
inline auto fieldsOf(const KeySummary& s)
{
    return std::tuple(keyText(s.code), s.drills, s.recentHits, s.recentWrong, s.recentMs, s.accuracy,
        s.trendMs, s.earlierAnswers, s.bestMs, s.topWrongKey, s.topWrongCount, s.kind);
}

inline auto fieldsOf(const SeriesPoint& p)
{
    return std::tuple(p.firstStartedUtcMs, p.lastStartedUtcMs, p.drills, p.hits, p.totalMs, p.wrong);
}

template <typename Item> void expectSameItems(const std::vector<Item>& got, const std::vector<Item>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(fieldsOf(got[i]), fieldsOf(want[i])) << "item " << i;
}

inline void expectSameSeries(const Series& got, const Series& want)
{
    EXPECT_EQ(got.perDay, want.perDay);
    expectSameItems(got.points, want.points);
}

// The tally read from the digest, filled character by character from the database as the window
// fills it, against the tally of every drill read whole. Returns how many characters needed filling.
inline int expectDigestAgrees(const HistoryDb& db, ProgressTally& fromDigest)
{
    ProgressTally whole;
    std::vector<DrillRecord> inTime = db.drills(); // by id: merged drills come after later ones
    std::stable_sort(inTime.begin(), inTime.end(),
        [](const DrillRecord& a, const DrillRecord& b) { return a.startedUtcMs < b.startedUtcMs; });
    whole.add(inTime);
    BestTimes best {};
    best['a' - FirstCode] = 321;
    EXPECT_EQ(fromDigest.drillCount(), whole.drillCount());
    EXPECT_EQ(fromDigest.lastId(), whole.lastId());
    expectSameItems(fromDigest.summaries(best), whole.summaries(best));
    // One kind of drill at a time: the digest knows each drill's kind.
    for (const KindCount& kind : whole.kinds(0)) {
        SCOPED_TRACE("kind " + kind.rows);
        fromDigest.chooseKind(kind.rows);
        whole.chooseKind(kind.rows);
        expectSameItems(fromDigest.summaries(best), whole.summaries(best));
        expectSameSeries(fromDigest.series(AllCharacters), whole.series(AllCharacters));
    }
    fromDigest.chooseKind(std::nullopt);
    whole.chooseKind(std::nullopt);
    int filled = 0;
    for (int code = 0; code <= LastCode; ++code) {
        if (code != AllCharacters && !isPracticeCode(code))
            continue;
        const auto c = static_cast<unsigned char>(code);
        SCOPED_TRACE("series of " + (code ? keyText(c) : std::string("every character")));
        if (!fromDigest.knowsAllDrillsOf(c)) {
            fromDigest.fillKey(c, db.keyDrills(c, fromDigest.lastId()));
            ++filled;
        }
        expectSameSeries(fromDigest.series(c), whole.series(c));
        expectSameSeries(fromDigest.series(c, utcDayOf, 1'000'000), whole.series(c, utcDayOf, 1'000'000));
    }
    return filled;
}

} // namespace touchdrill::testing
