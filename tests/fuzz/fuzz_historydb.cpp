// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary file contents as the practice history: every read the progress window and the export
// make, then an open for writing with its migration and one drill stored. Nothing may crash, a
// refused file keeps its bytes, and whatever is read stays within what a drill can hold.
#include "figures/progressfigures.h"
#include "figures/weakkeys.h"
#include "history/historydb.h"
#include "tests/support/csvexport.h"
#include "tests/support/scratchfolder.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>

using namespace touchdrill;
using namespace touchdrill::history;
using namespace touchdrill::figures;

namespace {

const std::string& scratchFile()
{
    static const testing::ScratchFolder folder;
    static const std::string path = folder.path("t.sqlite");
    return path;
}

void writeFile(const std::string& path, const uint8_t* data, size_t size)
{
    ::unlink((path + "-journal").c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || (size && ::write(fd, data, size) != static_cast<ssize_t>(size)) || ::close(fd) != 0)
        std::abort();
}

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// What the reads hand on: drills in id order from 1 up, characters in order and in range.
void checkDrills(const std::vector<DrillRecord>& drills)
{
    int64_t last = 0;
    for (const DrillRecord& drill : drills) {
        check(drill.id > last);
        last = drill.id;
        int previous = 0;
        for (const KeyRecord& key : drill.keys) {
            check(isPracticeCode(key.code) && key.code > previous);
            previous = key.code;
            for (const auto& [typed, count] : key.wrongKeys)
                check(count > 0);
        }
    }
}

// Every figure the window shows from the digest and the series of each character read whole.
void checkFigures(const HistoryDb& db, const HistoryDigest& digest)
{
    ProgressTally tally;
    tally.load(digest);
    for (int code = FirstCode; code <= LastCode; ++code) {
        const auto c = static_cast<unsigned char>(code);
        if (!tally.knowsAllDrillsOf(c))
            tally.fillKey(c, db.keyDrills(c, tally.lastId()));
    }
    const std::vector<KeySummary> summaries = tally.summaries({});
    for (const KeySummary& key : summaries) {
        check(key.drills <= tally.drillCount());
        check(!key.accuracy || (*key.accuracy >= 0 && *key.accuracy <= 1));
        // Hits wrap at 2^32, so a drill may hold milliseconds without a hit: the recent drills' total
        // over at least one hit.
        check(!key.recentMs
            || (std::isfinite(*key.recentMs) && *key.recentMs <= double(RecentDrills) * UINT32_MAX));
    }
    weakKeyPool(weakKeys(summaries));
    for (const unsigned char code :
        { static_cast<unsigned char>(AllCharacters), static_cast<unsigned char>('a') })
        for (const SeriesPoint& point : tally.series(code, utcDayOf, 2).points) {
            const auto accuracy = point.accuracy();
            check(!accuracy || (*accuracy >= 0 && *accuracy <= 1));
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = scratchFile();
    writeFile(path, data, size);
    const std::string before(reinterpret_cast<const char*>(data), size);

    // Read-only, as the export and a window that cannot write read it.
    try {
        if (auto db = HistoryDb::openReadOnly(path)) {
            std::size_t skipped = 0;
            const std::vector<DrillRecord> drills = db->drills(&skipped);
            checkDrills(drills);
            std::ostringstream csv;
            exportCsv(drills, csv);
            checkFigures(*db, db->digest());
        }
    } catch (const HistoryError&) {
    }
    check(contents(path) == before);

    // For writing: the migration, one drill stored and read back. A damaged page the store does not
    // reach is found by a later read: only a file refused before anything was stored keeps its bytes.
    bool stored = false;
    try {
        if (auto db = HistoryDb::open(path, false)) {
            DrillRecord drill;
            drill.startedUtcMs = 1'796'643'600'000;
            drill.endedUtcMs = drill.startedUtcMs + 60'000;
            drill.rows = "h";
            drill.keys = { { 'a', 2, 700, 1, { { 's', 1 } } } };
            try {
                db->record(drill);
                stored = true;
            } catch (const HistoryError&) {
                check(drill.id == 0); // nothing of it stored
            }
            if (stored) { // read back, unless a damaged page elsewhere is found now
                const std::vector<DrillRecord> drills = db->drillsSince(drill.id - 1);
                check(!drills.empty() && drills.back().id == drill.id && drills.back().keys.size() == 1
                    && drills.back().keys[0].wrongKeys == drill.keys[0].wrongKeys);
            }
            checkDrills(db->drills());
            checkFigures(*db, db->digest());
        }
    } catch (const HistoryError& error) {
        if (error.permanent() && !stored)
            check(contents(path) == before); // refused: left byte for byte
    }
    return 0;
}
