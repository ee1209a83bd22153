// SPDX-License-Identifier: GPL-3.0-or-later
// The history database against temporary files: storing, reading back, migrating, refusing
// files that are not ours, another copy holding the lock, a path too long.
#include "drill/codepage.h"
#include "figures/progressfigures.h"
#include "fileio/atomicfile_p.h"
#include "history/historydb.h"
#include "history/historyexport.h"
#include "history/historyimport.h"
#include "history/historyschema.h"

#include "tests/support/csvexport.h"
#include "tests/support/filebytes.h"
#include "tests/support/historyfixtures.h"
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
using namespace touchdrill::testing;

namespace {
int syncs = 0; // how often SQLite has asked for a file's data to reach the disk
}

// SQLite's only way to make a commit durable; counted to see that each drill's commit waits for it.
extern "C" int fdatasync(int fd)
{
    ++syncs;
    return static_cast<int>(syscall(SYS_fdatasync, fd));
}

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
