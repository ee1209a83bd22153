// SPDX-License-Identifier: GPL-3.0-or-later
// Recording finished drills: what the engine hands over, the opt-out, and one report per run.
#include "history/historyrecorder.h"

#include "drill/drillengine.h"
#include "history/historyschema.h"
#include "tests/support/fakewindow.h"
#include "tests/support/scratchfolder.h"

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>

using namespace touchdrill;
using namespace touchdrill::history;
using touchdrill::testing::ScratchFolder;

namespace {

DrillRecord answered(int64_t started)
{
    DrillRecord drill;
    drill.startedUtcMs = started;
    drill.endedUtcMs = started + 1000;
    drill.rows = "h";
    drill.keys = { { 'a', 1, 400, 1, { { 's', 1 } } } };
    return drill;
}

// A history as the first schema stored it: `count` drills of one key, the page cache kept small
// so that its migration writes as it goes.
sqlite3* versionOne(const std::string& path, int count)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    std::string sql = "PRAGMA application_id=" + std::to_string(ApplicationId)
        + "; PRAGMA user_version=1; BEGIN;" + migrationStep(0);
    for (int id = 1; id <= count; ++id)
        sql += "INSERT INTO drill VALUES (" + std::to_string(id) + ", 1, 2, 'h');"
            + "INSERT INTO drill_key VALUES (" + std::to_string(id) + ", 97, 3, 900, 0);";
    sqlite3_exec(db, (sql + "COMMIT;").c_str(), nullptr, nullptr, nullptr);
    return db;
}

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(HistoryRecorder, aDrillOfTheEngineAsTheHistoryKeepsIt)
{
    touchdrill::testing::FakeWindow window;
    touchdrill::testing::FakeClock clock;
    RandomGenerator random;
    DrillEngine engine(window, clock, random, {});
    engine.preparePool("ab", "weak");
    char key = ' ';
    engine.FormKeyPress(key);
    const int64_t started = clock.utcMs;
    for (int i = 0; i < 4; ++i) {
        const unsigned char target = engine.TargetChar;
        key = target == 'a' ? '\\' : '\xa5';
        engine.FormKeyPress(key); // a wrong key
        clock.ticks += target == 'a' ? 300 : 500;
        key = static_cast<char>(target);
        engine.FormKeyPress(key);
    }
    clock.utcMs += 9000;
    key = ' ';
    engine.FormKeyPress(key);

    const DrillRecord drill = drillRecordOf(engine);
    EXPECT_EQ(drill.id, 0);
    EXPECT_EQ(drill.startedUtcMs, started);
    EXPECT_EQ(drill.endedUtcMs, started + 9000);
    EXPECT_EQ(drill.rows, "weak");
    ASSERT_EQ(drill.keys.size(), 2u); // a pool of two alternates them
    const KeyRecord& a = drill.keys[0];
    const KeyRecord& b = drill.keys[1];
    EXPECT_EQ(a.code, 'a');
    EXPECT_EQ(a.hits, 2u);
    EXPECT_EQ(a.totalMs, 600u);
    EXPECT_EQ(a.wrong, 2u);
    EXPECT_EQ(a.wrongKeys, (std::map<unsigned char, uint32_t> { { '\\', 2 } }));
    EXPECT_EQ(b.code, 'b');
    EXPECT_EQ(b.totalMs, 1000u);
    EXPECT_EQ(b.wrongKeys, (std::map<unsigned char, uint32_t> { { 0xa5, 2 } }));

    // Every answer in order with its wrong key, each chained to the target before it.
    EXPECT_EQ(drill.poolSize, 2u);
    ASSERT_TRUE(drill.answers.has_value());
    ASSERT_EQ(drill.answers->size(), 4u);
    unsigned char previous = 0;
    for (const Answer& answer : *drill.answers) {
        const bool isA = answer.target == 'a';
        EXPECT_EQ(answer,
            (Answer { answer.target, previous, isA ? 300u : 500u,
                { { static_cast<unsigned char>(isA ? '\\' : '\xa5'), 0 } }, true }));
        EXPECT_NE(answer.target, previous);
        previous = answer.target;
    }
}

TEST(HistoryRecorder, recordsWhenAllowedAndReportsOnlyTheFirstFailure)
{
    struct Row {
        const char* name;
        const char* folder; // where the database goes, inside the scratch folder
        const char* ini; // null: no INI file
        const char* existing; // null: no database file yet
        std::string firstReport; // after the path; empty: stored without a report
        bool stored;
    };
    const Row table[] = {
        { "stored", "", nullptr, nullptr, "", true },
        { "stored with Record=1", "", "[History]\nRecord=1\n", nullptr, "", true },
        { "opted out", "", "[Form]\nTop=1\n[History]\nRecord=0\n", nullptr, "", false },
        { "opted out in hexadecimal", "", "[history]\r\n record = 0x0\r\n", nullptr, "", false },
        { "a folder that is not there", "missing/", nullptr, nullptr, " に書き込めません", false },
        { "not a database", "", nullptr, "Record=0\n",
            " は練習の記録ではないか、壊れています。ファイルはそのままにし、記録を止めます", false },
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        const std::string path = dir.path(std::string(row.folder) + "touchdrill.sqlite");
        if (row.ini)
            dir.write("touchdrill.ini", row.ini);
        if (row.existing)
            dir.write("touchdrill.sqlite", row.existing);
        HistoryRecorder recorder(path, dir.path("touchdrill.ini"));

        DrillRecord noAnswer = answered(1);
        noAnswer.keys[0].hits = 0;
        EXPECT_EQ(recorder.record(noAnswer), "") << "a drill with no answer is not recorded";
        EXPECT_EQ(std::filesystem::exists(path), row.existing != nullptr);

        const std::string first = recorder.record(answered(2));
        if (row.firstReport.empty()) {
            EXPECT_EQ(first, "");
        } else {
            EXPECT_TRUE(first.ends_with(path + row.firstReport)) << first;
        }
        EXPECT_EQ(recorder.record(answered(3)), "") << "reported once per run";
        EXPECT_EQ(recorder.lastRecordedId() != 0, row.stored);

        if (row.existing) {
            EXPECT_EQ(dir.read("touchdrill.sqlite"), row.existing);
        }
        if (!row.stored && !row.existing) {
            EXPECT_FALSE(std::filesystem::exists(path)) << "the database was created";
            continue;
        }
        if (row.existing) {
            EXPECT_THROW(recorder.database(), HistoryError);
            continue;
        }
        HistoryDb* db = recorder.database();
        ASSERT_TRUE(db);
        const auto drills = db->drills();
        ASSERT_EQ(drills.size(), 2u);
        EXPECT_EQ(drills[1].id, recorder.lastRecordedId());
        EXPECT_EQ(drills[1].startedUtcMs, 3);
    }
}

TEST(HistoryRecorder, aFolderThatTurnsUpLaterIsUsedThen)
{
    ScratchFolder dir;
    const std::string path = dir.path("later/touchdrill.sqlite");
    HistoryRecorder recorder(path, dir.path("touchdrill.ini"));
    EXPECT_EQ(recorder.database(), nullptr) << "no file yet";
    EXPECT_NE(recorder.record(answered(1)), "");
    std::filesystem::create_directory(dir.path("later"));
    EXPECT_EQ(recorder.record(answered(2)), "");
    ASSERT_NE(recorder.database(), nullptr);
    EXPECT_EQ(recorder.database()->drillCount(), 1);
}

// A history that cannot be written while it is migrated is still shown, read-only, with the
// reason; a migration that failed is tried once more in the run and then no more, as each try
// keeps the drill's end waiting.
TEST(HistoryRecorder, aHistoryThatCannotBeMigratedIsShownReadOnly)
{
    struct Row {
        const char* name;
        // Makes writing fail; returns what lets it work again.
        std::function<std::function<void()>(const std::string& path, sqlite3* other)> block;
        const char* reason; // in the window's reason and the first report
        bool givenUp; // no more tries in this run once writing works again
    };
    const Row table[] = {
        { "another copy migrating it",
            [](const std::string&, sqlite3* other) {
                sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
                return std::function<void()>(
                    [other] { sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr); });
            },
            "別の touchdrill が使っています", false },
        { "a disk that fills during the migration",
            [](const std::string& path, sqlite3*) {
                // No byte more than the file holds now: the migration's first write fails.
                std::signal(SIGXFSZ, SIG_IGN);
                rlimit limit {};
                getrlimit(RLIMIT_FSIZE, &limit);
                const rlimit old = limit;
                limit.rlim_cur = std::filesystem::file_size(path);
                setrlimit(RLIMIT_FSIZE, &limit);
                return std::function<void()>([old] { setrlimit(RLIMIT_FSIZE, &old); });
            },
            "に書き込めません", true },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        const std::string path = dir.path("touchdrill.sqlite");
        sqlite3* other = versionOne(path, 300);
        const std::string before = contents(path);
        HistoryRecorder recorder(path, dir.path("touchdrill.ini"));

        std::function<void()> unblock = row.block(path, other);
        HistoryDb* db = recorder.database();
        ASSERT_NE(db, nullptr);
        EXPECT_TRUE(db->readOnly());
        EXPECT_EQ(db->drills().size(), 300u) << "shown as it is";
        EXPECT_NE(recorder.readOnlyReason().find(row.reason), std::string::npos) << recorder.readOnlyReason();
        const std::string report = recorder.record(answered(1));
        // A busy history says nothing: the drill waits.
        EXPECT_EQ(report.find(path) != std::string::npos && report.find(row.reason) != std::string::npos,
            row.givenUp)
            << report;
        EXPECT_EQ(recorder.waitingCount(), row.givenUp ? 0u : 1u);
        unblock();
        EXPECT_EQ(contents(path), before) << "a failed migration left its traces";

        EXPECT_EQ(recorder.record(answered(2)), "") << "reported once per run";
        EXPECT_EQ(recorder.lastRecordedId() != 0, !row.givenUp);
        EXPECT_EQ(HistoryDb::openReadOnly(path)->drillCount(), row.givenUp ? 300 : 302)
            << "the drill that waited";
        if (row.givenUp) {
            EXPECT_EQ(contents(path), before) << "tried a third time";
            EXPECT_TRUE(recorder.database()->readOnly());
            EXPECT_FALSE(recorder.readOnlyReason().empty());
        } else {
            EXPECT_FALSE(recorder.database()->readOnly());
            EXPECT_EQ(recorder.readOnlyReason(), "");
        }
        sqlite3_close(other);
    }
}

// Two copies ending drills on one history, each now and then holding it for longer than a drill's
// end waits (as a merge or an update does): every drill of both is stored, once.
TEST(HistoryRecorder, twoCopiesEndingDrillsOnOneHistoryLoseNone)
{
    constexpr int Drills = 60;
    ScratchFolder dir;
    const std::string path = dir.path("touchdrill.sqlite");
    ASSERT_EQ(HistoryRecorder(path, dir.path("touchdrill.ini")).record(answered(1)), "");
    std::vector<pid_t> copies;
    for (int copy = 0; copy < 2; ++copy) {
        if (copies.emplace_back(fork()) != 0)
            continue;
        HistoryRecorder recorder(path, dir.path("touchdrill.ini"));
        sqlite3* other = nullptr;
        sqlite3_open(path.c_str(), &other);
        bool said = false;
        for (int i = 0; i < Drills; ++i) {
            if (i % 20 == 5 + copy * 8) { // for 1.5 times as long as a drill's end waits
                sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
                usleep(BusyTimeoutMs * 1500);
                sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
            }
            said |= !recorder.record(answered(2 + copy * Drills + i)).empty();
        }
        _exit(said || !recorder.storeWaiting(3000, true).empty() ? 1 : 0);
    }
    for (const pid_t copy : copies) {
        int status = 0;
        EXPECT_TRUE(waitpid(copy, &status, 0) == copy && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(HistoryDb::openReadOnly(path)->drillCount(), 1 + 2 * Drills) << "one lost, or one twice";
}
