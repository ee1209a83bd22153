// SPDX-License-Identifier: GPL-3.0-or-later
// Merging another history: every drill once in the order they started, refusals that change
// neither file, and only drills this program could have recorded.
#include "history/historyimport.h"

#include "tests/support/filebytes.h"
#include "tests/support/historyfixtures.h"
#include "tests/support/scratchfolder.h"

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace touchdrill;
using namespace touchdrill::history;
using namespace touchdrill::testing;

namespace {

// Far enough ahead that the drills these tests make are not in the future.
const ImportOptions InTheFuture { 4'102'444'800'000, {} }; // 2100-01-01

} // namespace

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
