// SPDX-License-Identifier: GPL-3.0-or-later
// The history's CSV export: its rows and quoting, the local time of each drill, and the file
// replaced whole or left as it was.
#include "fileio/atomicfile_p.h"
#include "history/historyexport.h"

#include "tests/support/filebytes.h"
#include "tests/support/historyfixtures.h"
#include "tests/support/scratchfolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

using namespace touchdrill;
using namespace touchdrill::history;
using namespace touchdrill::testing;

namespace {

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

} // namespace

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
