// SPDX-License-Identifier: GPL-3.0-or-later
// The history database against temporary files: storing, reading back, migrating, refusing
// files that are not ours, another copy holding the lock, and the CSV export.
#include "drill/codepage.h"
#include "figures/progressfigures.h"
#include "fileio/atomicfile_p.h"
#include "history/historydb.h"
#include "history/historyexport.h"
#include "history/historyimport.h"
#include "history/historyschema.h"

#include "tests/support/csvexport.h"
#include "tests/support/filebytes.h"
#include "tests/support/scratchfolder.h"

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <sstream>
#include <tuple>

using namespace touchdrill;
using namespace touchdrill::history;
using namespace touchdrill::figures;
using touchdrill::testing::ScratchFolder;

namespace {
int syncs = 0; // how often SQLite has asked for a file's data to reach the disk
}

// SQLite's only way to make a commit durable; counted to see that each drill's commit waits for it.
extern "C" int fdatasync(int fd)
{
    ++syncs;
    return static_cast<int>(syscall(SYS_fdatasync, fd));
}

namespace {

DrillRecord sampleDrill(int64_t started, const std::string& rows)
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

void expectSame(const DrillRecord& got, const DrillRecord& want)
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
std::vector<Answer> sampleAnswers()
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
std::vector<DrillRecord> generatedHistory(int count, const std::string& characters, unsigned seed)
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
void writeVersionOne(const std::string& path, const std::vector<DrillRecord>& drills)
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
void writeVersionTwo(const std::string& path, std::vector<DrillRecord> drills)
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

// Sets the time zone the C library goes by for a scope, and restores the one before.
class TimeZone {
public:
    explicit TimeZone(const char* zone)
    {
        if (const char* before = std::getenv("TZ"))
            m_before = before;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone()
    {
        if (m_before)
            setenv("TZ", m_before->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;

private:
    std::optional<std::string> m_before;
};

std::string csvOf(const std::vector<DrillRecord>& drills)
{
    std::ostringstream out;
    exportCsv(drills, out);
    return out.str();
}

// Every field, so that one comparison says which character or point differs and how.
auto fieldsOf(const KeySummary& s)
{
    return std::tuple(keyText(s.code), s.drills, s.recentHits, s.recentWrong, s.recentMs, s.accuracy,
        s.trendMs, s.earlierAnswers, s.bestMs, s.topWrongKey, s.topWrongCount, s.kind);
}

auto fieldsOf(const SeriesPoint& p)
{
    return std::tuple(p.firstStartedUtcMs, p.lastStartedUtcMs, p.drills, p.hits, p.totalMs, p.wrong);
}

template <typename Item> void expectSameItems(const std::vector<Item>& got, const std::vector<Item>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(fieldsOf(got[i]), fieldsOf(want[i])) << "item " << i;
}

void expectSameSeries(const Series& got, const Series& want)
{
    EXPECT_EQ(got.perDay, want.perDay);
    expectSameItems(got.points, want.points);
}

// The tally read from the digest, filled character by character from the database as the window
// fills it, against the tally of every drill read whole. Returns how many characters needed filling.
int expectDigestAgrees(const HistoryDb& db, ProgressTally& fromDigest)
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

} // namespace

// What the progress window reads in a few small reads must give exactly the figures of the whole
// history read key by key: from a file of this version, from an older one migrated, and from an
// older one read as it is; and again once more drills are recorded after the window has read.
TEST(HistoryDb, digestGivesTheFiguresOfTheWholeHistory)
{
    enum class Written {
        Now,
        VersionOneMigrated,
        VersionOneReadOnly,
        VersionTwoMigrated,
        VersionTwoReadOnly
    };
    struct Row {
        const char* name;
        Written written;
        int drills;
        std::string characters;
        bool someFilled; // some character has more drills than the digest brings
    };
    std::string everyCharacter;
    for (int c = FirstCode; c <= LastCode; ++c)
        everyCharacter += static_cast<char>(c);
    const Row table[] = {
        { "an empty history", Written::Now, 0, "a", false },
        { "a few drills: the digest brings every drill of each character", Written::Now, 6, "asdf", false },
        { "drills of every row, over months", Written::Now, 250, everyCharacter, true },
        { "a character in nearly every drill, one in few", Written::Now, 120, "aa~", true },
        { "an older file, migrated", Written::VersionOneMigrated, 150, "asdfjkl;\\", true },
        { "an older file without drills, migrated", Written::VersionOneMigrated, 0, "a", false },
        { "an older file read as it is", Written::VersionOneReadOnly, 90, "asdfghjkl", true },
        { "a file of the version before answers, migrated", Written::VersionTwoMigrated, 150, "asdfjkl;\\",
            true },
        { "a file of the version before answers read as it is", Written::VersionTwoReadOnly, 90, "asdfg",
            true },
    };
    unsigned seed = 11;
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        const std::string path = dir.path("touchdrill.sqlite");
        const std::vector<DrillRecord> drills = generatedHistory(row.drills, row.characters, ++seed);
        std::unique_ptr<HistoryDb> db;
        if (row.written == Written::Now) {
            db = HistoryDb::open(path, true);
            for (DrillRecord drill : drills)
                db->record(drill);
        } else {
            const bool two
                = row.written == Written::VersionTwoMigrated || row.written == Written::VersionTwoReadOnly;
            const bool readOnly
                = row.written == Written::VersionOneReadOnly || row.written == Written::VersionTwoReadOnly;
            if (two)
                writeVersionTwo(path, drills);
            else
                writeVersionOne(path, drills);
            const std::string before = csvOf(HistoryDb::openReadOnly(path)->drills());
            db = readOnly ? HistoryDb::openReadOnly(path) : HistoryDb::open(path, false);
            ASSERT_TRUE(db);
            EXPECT_EQ(Other(path).integer("PRAGMA user_version"),
                readOnly ? (two ? 2 : 1) : HistoryDb::SchemaVersion);
            EXPECT_EQ(csvOf(HistoryDb::openReadOnly(path)->drills()), before) << "the export is the same";
            // Every older drill is there with its totals only.
            for (const DrillRecord& drill : db->drills()) {
                EXPECT_EQ(drill.answers, std::nullopt);
                EXPECT_EQ(drill.poolSize, 0u);
            }
            EXPECT_TRUE(db->digest().answers.empty());
        }
        ASSERT_EQ(db->drillCount(), row.drills);

        ProgressTally fromDigest;
        fromDigest.load(db->digest());
        EXPECT_EQ(expectDigestAgrees(*db, fromDigest) > 0, row.someFilled);
        if (row.written == Written::VersionOneReadOnly || row.written == Written::VersionTwoReadOnly)
            continue;

        // A window that has read the digest takes the drills recorded after it one by one.
        for (DrillRecord drill : generatedHistory(12, row.characters + "q", ++seed)) {
            drill.startedUtcMs += 3 * 365 * 86'400'000LL; // after the drills read
            drill.endedUtcMs += 3 * 365 * 86'400'000LL;
            db->record(drill);
            fromDigest.add(db->drillsSince(fromDigest.lastId()));
        }
        expectDigestAgrees(*db, fromDigest);
        // And a digest read afresh agrees as well: the tables kept at each drill follow the store.
        ProgressTally again;
        again.load(db->digest());
        expectDigestAgrees(*db, again);
        EXPECT_EQ(Other(path).text("PRAGMA integrity_check"), "ok");
    }
}

// The answers the window gets with the digest: of each kind, its latest drills that kept answers,
// newest first until they span two trend windows' sittings and every character met in them has
// two windows of answers, or the cap.
TEST(HistoryDb, digestBringsEachKindsLatestAnswers)
{
    // A drill of a kind with so many answers of 'a' and of '~'; -1: one that kept no answers. Each
    // drill a sitting of its own, unless it goes on the one before.
    struct Drill {
        const char* rows;
        int a;
        int tilde = 0;
        bool goesOn = false;
    };
    const auto times = [](int n, Drill drill) { return std::vector<Drill>(std::size_t(n), drill); };
    const auto then = [](std::vector<Drill> drills, const std::vector<Drill>& more) {
        drills.insert(drills.end(), more.begin(), more.end());
        return drills;
    };
    const auto ids = [](int64_t first, int64_t last) {
        std::vector<int64_t> all;
        for (int64_t id = first; id <= last; ++id)
            all.push_back(id);
        return all;
    };
    struct Row {
        const char* name;
        std::vector<Drill> drills;
        std::vector<int64_t> expected;
        const char* damage = "";
        std::size_t skipped = 0;
    };
    static_assert(AnswersPerCharacter == 100 && MostAnswerDrillsPerKind == 200);
    std::vector<Drill> everyThird; // '~' in every third: 67 answers in 200 drills
    for (int i = 204; i >= 0; --i)
        everyThird.push_back({ "h", 1, i % 3 == 0 ? 1 : 0 });
    std::vector<Drill> inPairs; // 13 sittings of two drills
    for (int i = 0; i < 26; ++i)
        inPairs.push_back({ "h", 30, 0, i % 2 == 1 });
    const auto both = [&](std::vector<int64_t> a, const std::vector<int64_t>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    static_assert(TrendSittings == 6);
    const Row table[] = {
        { "the latest drills until they span 12 sittings", times(16, { "h", 30 }), ids(5, 16) },
        { "and until a character has 100 answers", times(25, { "h", 5 }), ids(6, 25) },
        { "drills of one sitting count as one", inPairs, ids(3, 26) },
        { "a character rare in them takes every drill", then(times(15, { "h", 30 }), { { "h", 30, 1 } }),
            ids(1, 16) },
        { "kinds counted apart", then(times(14, { "h", 50 }), times(14, { "u", 50 })),
            both(ids(3, 14), ids(17, 28)) },
        { "drills that kept no answers passed over", then(times(14, { "h", 60 }), times(2, { "h", -1 })),
            ids(3, 14) },
        { "no more than 200 drills of a kind", everyThird, ids(6, 205) },
        { "damaged answers passed over and counted", times(14, { "h", 50 }), ids(2, 13),
            "UPDATE drill_answers SET answers = x'01' WHERE drill_id = 14", 1 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir("/dev/shm");
        const std::string path = dir.path("touchdrill.sqlite");
        {
            auto db = HistoryDb::open(path, true);
            int64_t at = 0;
            for (const Drill& given : row.drills) {
                DrillRecord drill;
                drill.rows = given.rows;
                drill.startedUtcMs = at += given.goesOn ? 60'000 : 3'600'000;
                drill.endedUtcMs = at;
                const int a = std::max(given.a, 0);
                if (a > 0)
                    drill.keys.push_back({ 'a', uint32_t(a), uint32_t(a) * 300, 0 });
                if (given.tilde > 0)
                    drill.keys.push_back({ '~', uint32_t(given.tilde), uint32_t(given.tilde) * 500, 0 });
                if (given.a >= 0) {
                    drill.answers.emplace();
                    for (int i = 0; i < a + given.tilde; ++i)
                        drill.answers->push_back({ static_cast<unsigned char>(i < a ? 'a' : '~'),
                            static_cast<unsigned char>(i == 0 ? 0 : drill.answers->back().target),
                            i < a ? 300u : 500u, {} });
                }
                db->record(drill);
            }
        }
        if (*row.damage)
            Other(path).exec(row.damage);
        const HistoryDigest digest = HistoryDb::openReadOnly(path)->digest();
        std::vector<int64_t> got;
        for (const DrillAnswers& drill : digest.answers) {
            got.push_back(drill.drillId);
            const Drill& given = row.drills[std::size_t(drill.drillId - 1)];
            EXPECT_EQ(drill.answers.size(), std::size_t(given.a + given.tilde)) << drill.drillId;
        }
        EXPECT_EQ(got, row.expected);
        EXPECT_EQ(digest.skipped, row.skipped);
    }
}

// The finger view's read: of one kind only, its latest drills that kept answers, newest first
// until they hold the answers asked for, given oldest first.
TEST(HistoryDb, latestAnswersOfOneKind)
{
    // Kinds and answer counts in the order recorded; -1: a drill that kept no answers.
    const std::vector<std::pair<const char*, int>> drills
        = { { "h", 30 }, { "u", 40 }, { "h", 30 }, { "h", -1 }, { "h", 30 }, { "u", 10 } };
    struct Row {
        const char* name;
        std::string rows;
        std::size_t most;
        std::vector<int64_t> expected;
        const char* damage = "";
        std::size_t skipped = 0;
    };
    const Row table[] = {
        { "enough drills for the answers asked, another kind's left out", "h", 50, { 3, 5 } },
        { "the answers asked met exactly", "h", 30, { 5 } },
        { "every drill of the kind when it holds fewer", "u", 1000, { 2, 6 } },
        { "a kind never practised", "n", 1000, {} },
        { "damaged answers passed over and counted", "h", 1000, { 1, 5 },
            "UPDATE drill_answers SET answers = x'01' WHERE drill_id = 3", 1 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir("/dev/shm");
        const std::string path = dir.path("touchdrill.sqlite");
        {
            auto db = HistoryDb::open(path, true);
            for (const auto& [rows, count] : drills) {
                DrillRecord drill;
                drill.rows = rows;
                drill.keys.push_back(
                    { 'a', uint32_t(std::max(count, 1)), uint32_t(std::max(count, 1)) * 300, 0 });
                if (count >= 0) {
                    drill.answers = std::vector<Answer>(std::size_t(count), Answer { 'a', 'a', 300, {} });
                    drill.answers->front().previous = 0;
                }
                db->record(drill);
            }
        }
        if (*row.damage)
            Other(path).exec(row.damage);
        std::size_t skipped = 0;
        std::vector<int64_t> got;
        for (const DrillAnswers& drill :
            HistoryDb::openReadOnly(path)->latestAnswers(row.rows, row.most, &skipped)) {
            got.push_back(drill.drillId);
            EXPECT_EQ(drill.answers.size(), std::size_t(drills[std::size_t(drill.drillId - 1)].second));
        }
        EXPECT_EQ(got, row.expected);
        EXPECT_EQ(skipped, row.skipped);
    }
}

TEST(HistoryDb, recordsAndReadsBackEveryDrillWithItsKeys)
{
    ScratchFolder dir;
    const std::string path = dir.path("touchdrill.sqlite");
    DrillRecord first = sampleDrill(1'796'643'600'000, "hs");
    first.answers = sampleAnswers();
    first.poolSize = 37;
    DrillRecord second = sampleDrill(1'796'643'700'000, WeakKeysRows);
    second.keys.erase(second.keys.begin());
    second.poolSize = 5; // not kept without answers
    // A long drill: its blob is larger than half a page.
    DrillRecord third = sampleDrill(1'796'643'800'000, "q");
    third.keys = { { 'q', 700, 0, 0 } };
    third.answers.emplace();
    for (uint32_t i = 0; i < 700; ++i) {
        third.answers->push_back({ 'q', static_cast<unsigned char>(i ? 'q' : 0), 100 + i * 7, {} });
        third.keys[0].totalMs += 100 + i * 7;
    }
    third.poolSize = 1;
    {
        auto db = HistoryDb::open(path, true);
        ASSERT_TRUE(db);
        db->record(first);
        std::vector<DrillRecord> more = { second, third };
        db->recordAll(more);
        second.id = more[0].id;
        third.id = more[1].id;
        EXPECT_GT(first.id, 0);
        EXPECT_GT(second.id, first.id);
        EXPECT_GT(third.id, second.id);
        EXPECT_EQ(db->drillCount(), 3);
        const auto since = db->drillsSince(first.id, 1);
        ASSERT_EQ(since.size(), 1u);
        expectSame(since[0], second);
        EXPECT_TRUE(db->drillsSince(third.id).empty());
        // A batch with answers no drill gives stores none of it.
        std::vector<DrillRecord> bad = { second, third };
        bad[1].answers->front().previous = 'x';
        EXPECT_THROW(db->recordAll(bad), std::invalid_argument);
        EXPECT_EQ(db->drillCount(), 3);
    }
    // Between drills the history is the one file: no journal is left beside it.
    EXPECT_EQ(dir.entries(), std::set<std::string> { "touchdrill.sqlite" });

    for (const bool readOnly : { false, true }) {
        SCOPED_TRACE(readOnly ? "read-only" : "read-write");
        auto db = readOnly ? HistoryDb::openReadOnly(path) : HistoryDb::open(path, false);
        ASSERT_TRUE(db);
        const auto all = db->drills();
        ASSERT_EQ(all.size(), 3u);
        expectSame(all[0], first);
        expectSame(all[1], second);
        expectSame(all[2], third);
        // The window's reads: the drills' answers, and a character's times in each drill.
        const HistoryDigest digest = db->digest();
        ASSERT_EQ(digest.answers.size(), 2u);
        EXPECT_EQ(digest.answers[0].drillId, first.id);
        EXPECT_EQ(digest.answers[0].answers, *first.answers);
        EXPECT_EQ(digest.answers[1].drillId, third.id);
        EXPECT_EQ(digest.answers[1].answers, *third.answers);
        const std::vector<KeyDrill> a = db->keyDrills('a', second.id);
        ASSERT_EQ(a.size(), 1u);
        EXPECT_EQ(a[0].answerMs, (std::vector<uint32_t> { 400, 400, 499 }));
        const std::vector<KeyDrill> f = db->keyDrills('f', second.id);
        ASSERT_EQ(f.size(), 2u);
        EXPECT_EQ(f[0].answerMs, std::vector<uint32_t>()) << "wrong keys only";
        EXPECT_EQ(f[1].answerMs, std::nullopt) << "a drill without answers";
    }
    Other other(path);
    EXPECT_EQ(other.integer("PRAGMA user_version"), HistoryDb::SchemaVersion);
    EXPECT_EQ(other.text("PRAGMA integrity_check"), "ok");
}

TEST(HistoryDb, startsFromVersionZeroAndCreatesOnlyWhenAsked)
{
    struct Row {
        const char* name;
        std::function<void(const std::string& path)> make; // null: no file
        bool create;
        bool opens;
    };
    const Row table[] = {
        { "no file, create", nullptr, true, true },
        { "no file, open only", nullptr, false, false },
        { "empty file left by a creation cut short", [](const std::string& p) { std::ofstream(p).flush(); },
            false, true },
        { "empty database at version 0",
            [](const std::string& p) { Other(p).exec("PRAGMA page_size=1024; VACUUM"); }, false, true },
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        const std::string path = dir.path("h.sqlite");
        if (row.make)
            row.make(path);
        auto db = HistoryDb::open(path, row.create);
        ASSERT_EQ(db != nullptr, row.opens);
        if (!db) {
            EXPECT_FALSE(std::filesystem::exists(path)) << "nothing created";
            continue;
        }
        EXPECT_TRUE(db->drills().empty());
        DrillRecord drill = sampleDrill(0, "n");
        syncs = 0;
        db->record(drill);
        // The journal before the file is written and its header, then the file: a drill shown as
        // stored survives a power cut.
        EXPECT_GE(syncs, 3) << "the drill's commit did not wait for the disk";
        EXPECT_EQ(db->drills().size(), 1u);
        Other other(path);
        EXPECT_EQ(other.integer("PRAGMA user_version"), HistoryDb::SchemaVersion);
        EXPECT_EQ(other.integer("SELECT count(*) FROM drill_key"), 3);
        EXPECT_EQ(other.integer("SELECT count(*) FROM wrong_key"), 3);
    }
}

TEST(HistoryDb, refusesFilesThatAreNotItsOwnAndLeavesThemAsTheyAre)
{
    using Kind = HistoryError::Kind;
    struct Row {
        const char* name;
        std::function<void(const std::string& path)> make;
        Kind kind;
        bool readableAsItIs = false; // an older file that only its migration finds damaged
    };
    // Two hundred drills, written once and copied for each row.
    ScratchFolder made;
    const auto ours = [&](const std::string& p) {
        const std::string original = made.path("touchdrill.sqlite");
        if (!std::filesystem::exists(original)) {
            auto db = HistoryDb::open(original, true);
            for (int i = 0; i < 200; ++i) {
                DrillRecord drill = sampleDrill(i, "nuhlsc");
                db->record(drill);
            }
        }
        std::filesystem::copy_file(original, p);
    };
    const Row table[] = {
        { "a text file", [](const std::string& p) { std::ofstream(p) << "Record=0\n,\"\n"; },
            Kind::NotHistory },
        { "a database header and then garbage",
            [](const std::string& p) {
                std::ofstream(p) << std::string("SQLite format 3\0", 16) << std::string(4080, 'x');
            },
            Kind::NotHistory },
        { "cut after a few bytes", [](const std::string& p) { std::ofstream(p) << "SQLite"; },
            Kind::NotHistory },
        { "another program's database",
            [](const std::string& p) {
                Other(p).exec("CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES ('x')");
            },
            Kind::NotHistory },
        { "ours with a page overwritten",
            [&](const std::string& p) {
                ours(p);
                std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
                f.seekp(4096 * 2 + 10);
                f << std::string(3000, '\x5a');
            },
            Kind::NotHistory },
        { "ours, cut short",
            [&](const std::string& p) {
                ours(p);
                std::filesystem::resize_file(p, std::filesystem::file_size(p) / 2);
            },
            Kind::NotHistory },
        { "ours, written by a newer version",
            [&](const std::string& p) {
                ours(p);
                Other(p).exec("PRAGMA user_version=" + std::to_string(HistoryDb::SchemaVersion + 1));
            },
            Kind::NewerVersion },
        { "a folder", [](const std::string& p) { std::filesystem::create_directory(p); }, Kind::NotHistory },
        // One damaged header byte with the top bit set; a migration would start before its first step.
        { "ours, a damaged header with a negative version",
            [&](const std::string& p) {
                ours(p);
                Other(p).exec("PRAGMA user_version=-2147483648");
            },
            Kind::NotHistory },
        { "ours, version -1",
            [&](const std::string& p) {
                ours(p);
                Other(p).exec("PRAGMA user_version=-1");
            },
            Kind::NotHistory },
        { "ours, longer than its pages",
            [&](const std::string& p) {
                ours(p);
                std::ofstream(p, std::ios::app | std::ios::binary) << std::string(4096, '\0');
            },
            Kind::NotHistory },
        { "ours, a table of this version missing",
            [&](const std::string& p) {
                ours(p);
                Other(p).exec("DROP TABLE key_latest");
            },
            Kind::NotHistory },
        { "an older file, a table of its version missing",
            [](const std::string& p) {
                writeVersionOne(p, {});
                Other(p).exec("DROP TABLE wrong_key");
            },
            Kind::NotHistory },
        { "an older file missing a column its migration does not touch",
            [](const std::string& p) {
                writeVersionOne(p, { sampleDrill(3, "h") });
                Other(p).exec("ALTER TABLE drill RENAME COLUMN rows TO kept");
            },
            Kind::NotHistory },
        { "an older file whose drill ids are not its row ids",
            [](const std::string& p) {
                Other(p).exec("PRAGMA application_id=1413763656; PRAGMA user_version=1;"
                              "CREATE TABLE drill (id INT PRIMARY KEY, started_utc_ms INTEGER NOT NULL,"
                              " ended_utc_ms INTEGER NOT NULL, rows TEXT NOT NULL);"
                              "CREATE TABLE drill_key (drill_id, code, hits, total_ms, wrong);"
                              "CREATE TABLE wrong_key (drill_id, code, typed, count);");
            },
            Kind::NotHistory },
        { "an older file with damage its migration would not reach",
            [](const std::string& p) {
                std::filesystem::copy_file(TOUCHDRILL_HISTORY_FIXTURES "/older-damaged.sqlite", p);
            },
            Kind::NotHistory },
        { "an older file whose rows its migration cannot take",
            [](const std::string& p) {
                writeVersionOne(p, { sampleDrill(3, "h") });
                Other(p).exec("INSERT INTO drill_key VALUES (1, 'x', 1, 100, 0)");
            },
            Kind::NotHistory, true },
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        const std::string path = dir.path("touchdrill.sqlite");
        row.make(path);
        const auto contents = [&] {
            return std::filesystem::is_regular_file(path) ? dir.read("touchdrill.sqlite") : std::nullopt;
        };
        const auto before = contents();
        const auto entries = dir.entries();
        for (const bool readOnly : { false, true }) {
            // Refused at the open, or (a damaged page) once the first store or read reaches it;
            // refused for good then.
            std::unique_ptr<HistoryDb> db;
            DrillRecord drill = sampleDrill(1, "h");
            const auto use = [&] {
                db = readOnly ? HistoryDb::openReadOnly(path) : HistoryDb::open(path, true);
                if (readOnly)
                    db->drills();
                else
                    db->record(drill);
            };
            try {
                use();
                if (readOnly && row.readableAsItIs)
                    continue;
                ADD_FAILURE() << "used " << (readOnly ? "read-only" : "read-write");
            } catch (const HistoryError& error) {
                if (db && !readOnly) {
                    EXPECT_THROW(db->record(drill), HistoryError) << "a second store after a refusal";
                    EXPECT_EQ(drill.id, 0);
                }
                EXPECT_EQ(error.kind(), row.kind);
                EXPECT_TRUE(error.permanent());
                EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
            }
        }
        EXPECT_EQ(contents(), before) << "the file was changed";
        EXPECT_EQ(dir.entries(), entries) << "a file was left beside it";
    }
}

TEST(HistoryDb, anotherCopyHoldingTheDatabaseCostsOnlyThisDrill)
{
    ScratchFolder dir;
    const std::string path = dir.path("touchdrill.sqlite");
    auto db = HistoryDb::open(path, true);
    Other other(path);
    other.exec("BEGIN EXCLUSIVE");
    DrillRecord drill = sampleDrill(5, "h");
    try {
        db->record(drill);
        ADD_FAILURE() << "recorded under another copy's lock";
    } catch (const HistoryError& error) {
        EXPECT_EQ(error.kind(), HistoryError::Kind::Busy);
        EXPECT_FALSE(error.permanent());
        EXPECT_EQ(
            std::string(error.what()), path + " は別の touchdrill が使っています。この練習は記録されません");
    }
    EXPECT_EQ(drill.id, 0);
    other.exec("COMMIT");
    db->record(drill);
    EXPECT_EQ(db->drills().size(), 1u) << "the failed drill left nothing behind";
}

TEST(HistoryDb, aCommitCutShortIsRolledBackBeforeAnExportReads)
{
    ScratchFolder dir;
    const std::string path = dir.path("touchdrill.sqlite");
    DrillRecord stored = sampleDrill(7, "h");
    HistoryDb::open(path, true)->record(stored);
    // Another process dies in the middle of a large write, its journal left behind.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Other other(path);
        other.exec("PRAGMA cache_size=1; BEGIN");
        for (int i = 0; i < 2000; ++i)
            other.exec("INSERT INTO drill (started_utc_ms, ended_utc_ms, rows) VALUES (1, 2, '"
                + std::string(60, 'x') + "')");
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(dir.entries().contains("touchdrill.sqlite-journal"));
    auto db = HistoryDb::openReadOnly(path);
    ASSERT_TRUE(db);
    const auto drills = db->drills();
    ASSERT_EQ(drills.size(), 1u);
    expectSame(drills[0], stored);
}

TEST(HistoryCsv, oneRowPerDrillAndCharacterQuotedAsRfc4180)
{
    const TimeZone zone("Asia/Tokyo");
    DrillRecord drill;
    drill.id = 7;
    drill.rows = "uhl";
    drill.startedUtcMs = 1'796'643'600'123; // 2026-12-07T11:40:00.123Z
    drill.keys = {
        { '"', 2, 1001, 3, { { ',', 2 }, { '\'', 1 } } },
        { ',', 1, 610, 2, { { '"', 1 }, { '.', 1 } } }, // a tie goes to the lower byte
        { 'a', 0, 0, 1, { { 0x80, 1 } } }, // no hit: no average; a character the code page lacks
        { 'b', 4, 3, 3, { { 0xb1, 2 }, { '\r', 1 } } }, // an average of 0; katakana
    };
    DrillRecord before1970;
    before1970.id = 8;
    before1970.rows = WeakKeysRows;
    before1970.startedUtcMs = -1;
    before1970.keys = { { 'z', 1, 5, 0, {} } };
    // Starts a clock set far off or a damaged file may hold: the date is written while a
    // four-digit year can say it, and left empty beyond, never overflowed.
    auto startedAt = [](int64_t ms, const std::string& rows = "h") {
        DrillRecord d;
        d.id = 9;
        d.rows = rows;
        d.startedUtcMs = ms;
        d.keys = { { 'y', 1, 7, 0, {} } };
        return d;
    };
    std::ostringstream out;
    exportCsv(
        { drill, before1970, startedAt(1'796'643'600'040, "a,\"b"),
            startedAt(1'796'643'600'040, "h\xff\xe9\x87\x8d\xed\xa0\x80"), // not UTF-8, then 重
            startedAt(EarliestKnownUtcMs), startedAt(LatestKnownUtcMs), startedAt(EarliestKnownUtcMs - 1),
            startedAt(LatestKnownUtcMs + 1), startedAt(INT64_MIN), startedAt(INT64_MAX) },
        out);
    EXPECT_EQ(out.str(),
        "started_utc,character,hits,total_ms,average_ms,wrong_keys,most_wrong_key,drill_id,rows,started_"
        "local\r\n"
        "2026-12-07T11:40:00.123Z,\"\"\"\",2,1001,500,3,\",\",7,uhl,2026-12-07T20:40:00.123+09:00\r\n"
        "2026-12-07T11:40:00.123Z,\",\",1,610,610,2,\"\"\"\",7,uhl,2026-12-07T20:40:00.123+09:00\r\n"
        "2026-12-07T11:40:00.123Z,a,0,0,,1,0x80,7,uhl,2026-12-07T20:40:00.123+09:00\r\n"
        "2026-12-07T11:40:00.123Z,b,4,3,0,3,\xef\xbd\xb1,7,uhl,2026-12-07T20:40:00.123+09:00\r\n"
        "1969-12-31T23:59:59.999Z,z,1,5,5,0,,8,weak,1970-01-01T08:59:59.999+09:00\r\n"
        "2026-12-07T11:40:00.040Z,y,1,7,7,0,,9,\"a,\"\"b\",2026-12-07T20:40:00.040+09:00\r\n" // ms below 100
        "2026-12-07T11:40:00.040Z,y,1,7,7,0,,9,h\xef\xbf\xbd\xe9\x87\x8d\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd,"
        "2026-12-07T20:40:00.040+09:00\r\n"
        "0000-01-01T00:00:00.000Z,y,1,7,7,0,,9,h,0000-01-01T09:19:00.000+09:19\r\n" // local mean time
        "9999-12-31T23:59:59.999Z,y,1,7,7,0,,9,h,\r\n" // the year 10000 in Tokyo
        ",y,1,7,7,0,,9,h,\r\n"
        ",y,1,7,7,0,,9,h,\r\n"
        ",y,1,7,7,0,,9,h,\r\n"
        ",y,1,7,7,0,,9,h,\r\n");

    std::ostringstream empty;
    exportCsv({}, empty);
    EXPECT_EQ(empty.str(),
        "started_utc,character,hits,total_ms,average_ms,wrong_keys,most_wrong_key,drill_id,rows,started_"
        "local\r\n");
}

// The local start follows the computer's time zone as it is when the export runs, whatever the
// offset's sign, minutes or daylight saving, and keeps the moment the UTC column gives.
TEST(HistoryCsv, startedLocalCarriesTheOffsetOfItsDay)
{
    struct Row {
        const char* zone;
        int64_t utcMs;
        std::string local; // empty: unknown
    };
    const Row table[] = {
        { "UTC", 1'796'643'600'123, "2026-12-07T11:40:00.123+00:00" },
        { "Asia/Kolkata", 1'796'643'600'123, "2026-12-07T17:10:00.123+05:30" },
        { "America/St_Johns", 1'796'643'600'123, "2026-12-07T08:10:00.123-03:30" },
        { "America/St_Johns", 1'783'424'400'000, "2026-07-07T09:10:00.000-02:30" }, // summer time
        { "America/New_York", 1'796'612'400'005, "2026-12-06T22:00:00.005-05:00" }, // the day before
        // Local mean time to the nearest minute: -03:30:52, the clock at 20:29:08.
        { "America/St_Johns", -3'786'825'600'000, "1849-12-31T20:29:00.000-03:31" },
        { "America/St_Johns", EarliestKnownUtcMs, "" }, // the year -1 there
        { "America/St_Johns", LatestKnownUtcMs, "9999-12-31T20:29:59.999-03:30" },
        { "Asia/Kolkata", LatestKnownUtcMs, "" }, // the year 10000 there
    };
    for (const Row& row : table) {
        SCOPED_TRACE(std::string(row.zone) + " " + std::to_string(row.utcMs));
        const TimeZone zone(row.zone);
        DrillRecord drill;
        drill.startedUtcMs = row.utcMs;
        drill.keys = { { 'a', 1, 1, 0, {} } };
        std::string line;
        appendCsvRows(drill, line);
        ASSERT_TRUE(line.ends_with("\r\n")) << line;
        EXPECT_EQ(line.substr(line.rfind(',') + 1), row.local + "\r\n");
    }
}

// The export to a file replaces it whole or leaves it as it was; standard output gets the same
// text, and a failure of either is an error, not a success.
TEST(HistoryCsv, exportReplacesTheFileWholeOrLeavesItAsItWas)
{
    ScratchFolder dir;
    const std::string historyPath = dir.path("touchdrill.sqlite");
    // Several parts of the export's reading, so that a failure can come half-way.
    std::vector<DrillRecord> drills = generatedHistory(150, "asdf;", 11);
    {
        auto db = HistoryDb::open(historyPath, true);
        for (DrillRecord& drill : drills)
            db->record(drill);
    }
    const std::string whole = csvOf(drills);
    const std::string oldBytes(whole.size() * 2, 'o'); // longer, so that a write over it shows

    static int failingWrite; // the write that fails with a full disk, counted from 1; 0: none
    detail::writeFault = [](detail::WriteStep step, int) {
        return step == detail::WriteStep::Write && --failingWrite == 0 ? ENOSPC : 0;
    };
    struct Row {
        const char* name;
        const char* target;
        bool existing;
        int failingWrite;
        bool brokenOutput; // standard output takes nothing
        std::string error; // after the target's path; empty: none
    };
    const Row table[] = {
        { "a new file", "new.csv", false, 0, false, "" },
        { "an existing longer file replaced, not added to", "old.csv", true, 0, false, "" },
        { "a full disk half-way leaves the file byte for byte", "old.csv", true, 2, false,
            " に書き込めません（ディスクがいっぱいです）" },
        { "a full disk at once", "new.csv", false, 1, false, " に書き込めません（ディスクがいっぱいです）" },
        { "a folder that does not exist", "missing/out.csv", false, 0, false, " に書き込めません" },
        { "standard output", "-", false, 0, false, "" },
        { "standard output that takes nothing", "-", false, 0, true, "標準出力に書き込めません" },
        { "the history itself is never replaced", "touchdrill.sqlite", false, 0, false,
            " に書き込めません（練習の記録そのものです）" },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const bool toStandardOutput = std::string(row.target) == "-";
        const std::string path = toStandardOutput ? "-" : dir.path(row.target);
        for (const char* name : { "new.csv", "old.csv" })
            std::filesystem::remove(dir.path(name));
        if (row.existing)
            dir.write(row.target, oldBytes);
        const std::optional<std::string> before = toStandardOutput ? std::nullopt : dir.read(row.target);
        failingWrite = row.failingWrite;
        std::ostringstream out;
        if (row.brokenOutput)
            out.setstate(std::ios::badbit);
        std::string error;
        try {
            exportHistory(historyPath, path, out);
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        if (row.error.empty()) {
            EXPECT_EQ(error, "");
            EXPECT_EQ(toStandardOutput ? out.str() : dir.read(row.target).value_or("(none)"), whole);
        } else {
            EXPECT_EQ(error, (toStandardOutput ? "" : path) + row.error);
            if (!toStandardOutput) {
                EXPECT_EQ(dir.read(row.target), before);
            }
        }
        std::set<std::string> expected = { "touchdrill.sqlite" };
        if (!toStandardOutput && (before || row.error.empty()))
            expected.insert(row.target);
        EXPECT_EQ(dir.entries(), expected) << "a temporary file left behind";
    }
    detail::writeFault = nullptr;
}

// Values this program never writes, put into a history of three drills by another tool or a damaged
// page: left out of every read and counted, never folded into another character or shown as a
// figure, and never in the way of the rows around them.
TEST(HistoryDb, hostileValuesAreLeftOutAndCounted)
{
    struct Row {
        const char* name;
        const char* sql;
        std::size_t skipped; // by drills()
        std::size_t digestSkipped;
        std::size_t keySkipped; // reading the drills of 'a'
        bool sameCsv; // the export is the one of the file before
    };
    const Row table[] = {
        { "a negative drill id, with its key",
            "INSERT INTO drill VALUES (-5, 1, 2, 'h', 1, 100, 0, NULL);"
            " INSERT INTO drill_key VALUES (-5, 97, 1, 100, 0, NULL)",
            2, 1, 1, true },
        { "a character code beyond a byte, which would fold into 'a'",
            "INSERT INTO drill_key VALUES (1, 353, 1, 100, 0, NULL)", 1, 0, 0, true },
        { "a negative total: the key and its wrong keys",
            "UPDATE drill_key SET total_ms = -1 WHERE drill_id = 2 AND code = 97", 3, 0, 1, false },
        { "hits that are text", "UPDATE drill_key SET hits = 'many' WHERE drill_id = 3 AND code = 126", 1, 0,
            0, false },
        { "a typed byte beyond a byte",
            "INSERT INTO wrong_key VALUES (1, 97, 371, 1); UPDATE confusion SET typed = 371 WHERE code = 97 "
            "AND "
            "typed = 115",
            1, 1, 0, true },
        { "drill totals no drill's characters add up to",
            "UPDATE drill SET hits = -9223372036854775808, wrong = -9223372036854775808 WHERE id = 1", 0, 1,
            0, true },
        { "a character in more drills than there are, with its latest drills",
            "UPDATE key_total SET drills = 9223372036854775807 WHERE code = 97", 0, 4, 0, true },
        { "a wrong key typed more often than the drills allow",
            "UPDATE confusion SET count = 9223372036854775807 WHERE code = 97 AND typed = 115", 0, 1, 0,
            true },
        { "a real number for hits", "UPDATE key_latest SET hits = 2.5 WHERE code = 126 AND drill_id = 1", 0,
            1, 0, true },
        // The drills keep their totals; the answers are left out.
        { "damaged answers", "INSERT INTO drill_answers VALUES (2, x'0102')", 1, 0, 0, true },
        { "answers that are text", "INSERT INTO drill_answers VALUES (3, 'many')", 1, 0, 0, true },
        { "answers that read but are not the drill's", "INSERT INTO drill_answers VALUES (1, x'0101610a')", 1,
            0, 0, true },
        { "answers whose drill is gone", "INSERT INTO drill_answers VALUES (9, x'0100')", 1, 0, 0, true },
        { "a pool size beyond the characters, its answers missing", "UPDATE drill SET pool_size = 95", 3, 3,
            0, true },
        { "a character's times cut off", "UPDATE drill_key SET answer_ms = x'80' WHERE code = 97", 0, 0, 3,
            true },
        { "a character's times that are not its counts",
            "UPDATE drill_key SET answer_ms = x'05' WHERE code = 97 AND drill_id = 2", 0, 0, 1, true },
        { "a character's times that are a number", "UPDATE drill_key SET answer_ms = 5 WHERE code = 97", 0, 0,
            3, true },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        const std::string path = dir.path("touchdrill.sqlite");
        std::string before;
        {
            auto db = HistoryDb::open(path, true);
            for (int i = 1; i <= 3; ++i) {
                DrillRecord drill = sampleDrill(i * 100'000, "h");
                db->record(drill);
            }
            before = csvOf(db->drills());
        }
        Other(path).exec(row.sql);

        auto db = HistoryDb::open(path, false);
        std::size_t skipped = 0;
        const std::vector<DrillRecord> drills = db->drills(&skipped);
        EXPECT_EQ(skipped, row.skipped);
        EXPECT_EQ(drills.size(), 3u);
        EXPECT_EQ(csvOf(drills) == before, row.sameCsv) << csvOf(drills);
        const HistoryDigest digest = db->digest();
        EXPECT_EQ(digest.skipped, row.digestSkipped);
        std::size_t keySkipped = 0;
        db->keyDrills('a', 3, &keySkipped);
        EXPECT_EQ(keySkipped, row.keySkipped);

        // Whatever is left shows as figures a drill can have.
        ProgressTally tally;
        tally.load(digest);
        for (int code = FirstCode; code <= LastCode; ++code)
            if (!tally.knowsAllDrillsOf(static_cast<unsigned char>(code)))
                tally.fillKey(
                    static_cast<unsigned char>(code), db->keyDrills(static_cast<unsigned char>(code), 3));
        for (const KeySummary& key : tally.summaries({})) {
            SCOPED_TRACE(keyText(key.code));
            EXPECT_LE(key.drills, 3u);
            EXPECT_TRUE(!key.accuracy || (*key.accuracy >= 0 && *key.accuracy <= 1));
            EXPECT_TRUE(!key.recentMs || *key.recentMs <= UINT32_MAX);
            EXPECT_LE(key.topWrongCount, 3ULL * UINT32_MAX);
        }
        for (const SeriesPoint& point : tally.series(AllCharacters).points) {
            const auto accuracy = point.accuracy();
            EXPECT_TRUE(accuracy && *accuracy >= 0 && *accuracy <= 1);
        }
        // A store goes on as before beside the rows left out.
        DrillRecord next = sampleDrill(900'000, "h");
        db->record(next);
        EXPECT_EQ(db->drills().size(), 4u);
    }
}

// A path longer than SQLite opens: said as such, naming the file.
TEST(HistoryDb, aPathTooLongForSqliteSaysSo)
{
    ScratchFolder dir;
    const std::string folder
        = dir.path(std::string(200, 'a') + "/" + std::string(200, 'b') + "/" + std::string(200, 'c'));
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/touchdrill.sqlite";
    const std::string text = "練習の記録を " + path
        + " に書き込めません（パスが長すぎます。短いパスのフォルダーに置いてください）";
    EXPECT_THROW(
        try { HistoryDb::open(path, true); } catch (const HistoryError& error) {
            EXPECT_EQ(error.what(), text);
            throw;
        },
        HistoryError);
}

// Far enough ahead that the drills these tests make are not in the future.
const ImportOptions InTheFuture { 4'102'444'800'000, {} }; // 2100-01-01

// Merging another history: each drill once however often it is run, no stored drill's id changed,
// and what reads the history oldest first (each character's latest drills included) reads it in
// time; the other file is only read, whatever its version.
TEST(HistoryImport, addsEachDrillOnceInTheOrderTheyStarted)
{
    constexpr int64_t Year = 365LL * 86'400'000;
    const auto shifted = [](std::vector<DrillRecord> drills, int64_t by) {
        for (DrillRecord& drill : drills) {
            drill.startedUtcMs += by;
            drill.endedUtcMs += by;
        }
        return drills;
    };
    const auto joined = [](std::vector<DrillRecord> a, const std::vector<DrillRecord>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<DrillRecord> ours = generatedHistory(40, "asdfjkl;", 3);
    const std::vector<DrillRecord> second = generatedHistory(30, "asdfghjkl", 4); // over the same weeks
    struct Row {
        const char* name;
        std::vector<DrillRecord> ours; // recorded first
        std::vector<DrillRecord> other;
        bool otherVersionOne; // written by the first schema, read as it is
        std::size_t added;
        std::size_t skipped;
    };
    const Row table[] = {
        { "a second computer's drills among ours", ours, second, false, 30, 0 },
        { "an old portable folder: every drill before ours", ours, shifted(second, -Year), true, 30, 0 },
        { "a later copy: every drill after ours", ours, shifted(second, Year), false, 30, 0 },
        { "a history that took some of ours before, and a drill twice", ours,
            joined(second, { ours[3], ours[39], second[5] }), false, 30, 3 },
        { "into a history not made yet", {}, second, false, 30, 0 },
        { "our own drills again", ours, ours, false, 0, 40 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        const std::string path = dir.path("touchdrill.sqlite");
        const std::string otherPath = dir.path("other.sqlite");
        if (!row.ours.empty()) {
            auto db = HistoryDb::open(path, true);
            for (DrillRecord drill : row.ours)
                db->record(drill);
        }
        if (row.otherVersionOne) {
            writeVersionOne(otherPath, row.other);
        } else {
            auto db = HistoryDb::open(otherPath, true);
            for (DrillRecord drill : row.other)
                db->record(drill);
        }
        const touchdrill::testing::Bytes otherBefore = touchdrill::testing::readBytes(otherPath);

        const ImportResult result = importHistory(path, otherPath, InTheFuture);
        EXPECT_EQ(result.added, row.added);
        EXPECT_EQ(result.skipped, row.skipped);
        EXPECT_EQ(touchdrill::testing::readBytes(otherPath), otherBefore) << "the other file was written";

        // Every drill once (these start at distinct moments); ours keep their ids, the merged ones
        // come after them.
        std::map<int64_t, DrillRecord> byStart;
        for (const DrillRecord& drill : joined(row.ours, row.other))
            byStart.emplace(drill.startedUtcMs, drill);
        auto db = HistoryDb::open(path, false);
        const std::vector<DrillRecord> got = db->drills();
        ASSERT_EQ(got.size(), byStart.size());
        for (const DrillRecord& drill : got) {
            DrillRecord want = byStart.at(drill.startedUtcMs);
            want.id = drill.id;
            expectSame(drill, want);
        }
        for (std::size_t i = 0; i < row.ours.size(); ++i)
            EXPECT_EQ(got[i].startedUtcMs, row.ours[i].startedUtcMs) << "a stored drill's id changed";
        ProgressTally fromDigest;
        fromDigest.load(db->digest());
        expectDigestAgrees(*db, fromDigest);

        // Run again, nothing more; and the next drill's end keeps each character's latest in turn.
        const ImportResult again = importHistory(path, otherPath, InTheFuture);
        EXPECT_EQ(again.added, 0u);
        EXPECT_EQ(again.skipped, row.other.size());
        for (DrillRecord drill : shifted(generatedHistory(12, "asdfghjkl", 5), 3 * Year))
            db->record(drill);
        ProgressTally after;
        after.load(db->digest());
        expectDigestAgrees(*db, after);
        EXPECT_EQ(Other(path).text("PRAGMA integrity_check"), "ok");
    }
}

// A file refused, on either side, or a store that fails part-way changes neither file: the message
// names the file at fault.
TEST(HistoryImport, refusesWithoutChangingEitherFile)
{
    struct Row {
        const char* name;
        std::function<void(const std::string& ours, const std::string& other)> spoil;
        bool oursAtFault;
        std::string text; // after the path
        bool cancel = false; // 「中止」 at the first part
    };
    const std::string notHistory = " は練習の記録ではないか、壊れています。取り込めません";
    const Row table[] = {
        { "a text file", [](const std::string&, const std::string& o) { std::ofstream(o) << "Record=0\n"; },
            false, notHistory },
        { "an empty file", [](const std::string&, const std::string& o) { std::ofstream(o).flush(); }, false,
            notHistory },
        { "a newer program's history",
            [](const std::string&, const std::string& o) {
                Other(o).exec("PRAGMA user_version=" + std::to_string(HistoryDb::SchemaVersion + 1));
            },
            false, " は新しい版の touchdrill の練習の記録です。取り込めません" },
        { "missing", [](const std::string&, const std::string& o) { std::filesystem::remove(o); }, false,
            " がありません。取り込めません" },
        { "this history under another name",
            [](const std::string& ours, const std::string& o) {
                std::filesystem::remove(o);
                std::filesystem::create_hard_link(ours, o);
            },
            false, " はこの練習の記録そのものです。取り込めません" },
        { "this history is not one",
            [](const std::string& ours, const std::string&) { std::ofstream(ours) << "x"; }, true,
            notHistory },
        { "a file-size limit reached while storing: rolled back before the import returns",
            [](const std::string& ours, const std::string& o) {
                // Enough drills that their pages are written before the commit.
                std::vector<DrillRecord> drills = generatedHistory(20'000, "asdfjkl;", 5);
                HistoryDb::open(o, false)->recordAll(drills);
                std::signal(SIGXFSZ, SIG_IGN);
                rlimit limit {};
                getrlimit(RLIMIT_FSIZE, &limit);
                limit.rlim_cur
                    = std::filesystem::file_size(ours) + 256 * 1024; // reached by the pages written early
                setrlimit(RLIMIT_FSIZE, &limit);
            },
            true, "" },
        { "stopped: nothing stored", [](const std::string&, const std::string&) {}, true, " はそのままです",
            true },
        { "the third drill's store fails: the two before it are not kept either",
            [](const std::string& ours, const std::string&) {
                Other(ours).exec("CREATE TRIGGER spoil BEFORE INSERT ON drill_key WHEN NEW.drill_id > 5"
                                 " BEGIN SELECT RAISE(ABORT, 'full'); END");
            },
            true, "" },
    };
    rlimit noLimit {};
    getrlimit(RLIMIT_FSIZE, &noLimit);
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        const std::string ours = dir.path("touchdrill.sqlite");
        const std::string other = dir.path("other.sqlite");
        for (const auto& [path, first] : { std::pair(ours, 0), std::pair(other, 10) }) {
            auto db = HistoryDb::open(path, true);
            for (int i = first; i < first + 3; ++i) {
                DrillRecord drill = sampleDrill(1'796'083'200'000 + i * 100'000, "h");
                db->record(drill);
            }
        }
        row.spoil(ours, other);
        const auto bytesOf = [](const std::string& path) {
            return std::filesystem::exists(path) ? touchdrill::testing::readBytes(path)
                                                 : touchdrill::testing::Bytes {};
        };
        const touchdrill::testing::Bytes oursBefore = bytesOf(ours);
        const touchdrill::testing::Bytes otherBefore = bytesOf(other);
        try {
            ImportOptions options = InTheFuture;
            options.progress = [&](std::size_t done, std::size_t) { return !row.cancel || done == 0; };
            importHistory(ours, other, options);
            setrlimit(RLIMIT_FSIZE, &noLimit);
            ADD_FAILURE() << "imported";
        } catch (const std::exception& error) {
            setrlimit(RLIMIT_FSIZE, &noLimit);
            EXPECT_FALSE(std::filesystem::exists(ours + "-journal")) << error.what();
            const std::string text = error.what();
            EXPECT_NE(text.find(row.oursAtFault ? ours : other), std::string::npos) << text;
            EXPECT_TRUE(text.ends_with(row.text)) << text;
        }
        EXPECT_EQ(bytesOf(ours), oursBefore) << "this history was changed";
        EXPECT_EQ(bytesOf(other), otherBefore) << "the other file was changed";
    }
}

// Files made to poison a history, and bad luck: a drill this program could not have recorded, or
// one with a row the reads leave out, is skipped and counted; a file whose reads something other
// than its stored values could decide, or that holds a value no history holds, is refused whole.
// Nothing impossible is stored, and the export of such a file goes on past what it cannot read.
TEST(HistoryImport, takesOnlyDrillsThisProgramCouldHaveRecorded)
{
    struct Row {
        const char* fixture; // tests/history/fixtures/import/*.sql, run on generatedHistory(250, ...)
        const char* report; // empty: refused whole
    };
    const Row table[] = {
        { "generated-rows", "" },
        { "long-kind", "" },
        { "huge-drill", "249 回の練習を取り込み、すでにあった 0 回と、取り込めない 1 回を飛ばしました" },
        { "dates", "247 回の練習を取り込み、すでにあった 0 回と、取り込めない 3 回を飛ばしました" },
        { "foreign-kinds", "247 回の練習を取り込み、すでにあった 0 回と、取り込めない 3 回を飛ばしました" },
        { "large-answers",
            "249 回の練習を取り込み、すでにあった 0 回と、取り込めない 1 回（うち 1 "
            "回は読めない記録）を飛ばしました" },
        { "damaged-block",
            "130 回の練習を取り込み、すでにあった 0 回と、取り込めない 120 回（うち 120 "
            "回は読めない記録）を飛ばしました" },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.fixture);
        ScratchFolder dir;
        const std::string ours = dir.path("touchdrill.sqlite");
        const std::string other = dir.path("other.sqlite");
        std::vector<DrillRecord> drills = generatedHistory(250, "asdfjkl;", 3);
        HistoryDb::open(other, true)->recordAll(drills);
        std::ifstream sql(std::string(TOUCHDRILL_HISTORY_FIXTURES) + "/import/" + row.fixture + ".sql");
        Other(other).exec(std::string(std::istreambuf_iterator<char>(sql), {}));
        const touchdrill::testing::Bytes otherBefore = touchdrill::testing::readBytes(other);
        try {
            const ImportResult result = importHistory(ours, other, InTheFuture);
            EXPECT_EQ(importReport(result), row.report);
            for (const char* beside : { "-journal", "-wal", "-shm" })
                EXPECT_FALSE(std::filesystem::exists(other + beside)) << beside;
            std::ostringstream csv;
            EXPECT_EQ(exportHistory(other, "-", csv) > 0,
                std::string(row.report).find("読めない") != std::string::npos);
            std::size_t rows = 1;
            for (const DrillRecord& drill : HistoryDb::openReadOnly(other)->drills())
                rows += drill.keys.size();
            const std::string text = csv.str();
            EXPECT_EQ(std::size_t(std::count(text.begin(), text.end(), '\n')), rows);
        } catch (const std::exception& error) {
            EXPECT_EQ(row.report, std::string()) << error.what();
            EXPECT_EQ(error.what(), other + " は練習の記録ではないか、壊れています。取り込めません");
            EXPECT_FALSE(std::filesystem::exists(ours));
        }
        EXPECT_EQ(touchdrill::testing::readBytes(other), otherBefore) << "the other file was written";
    }
}
