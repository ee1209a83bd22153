// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/atomicfile_p.h"
#include "results/besttimesfile.h"
#include "results/ioerror.h"
#include "results/showresults.h"
#include "tests/support/filebytes.h"
#include "tests/support/permissionchecks.h"
#include "tests/support/scratchfolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

using namespace touchdrill;
using namespace touchdrill::testing;
using Lines = std::vector<std::string>;

namespace {

// Records what the list was asked to do, in order; "repaint" marks what was on screen then.
class FakeList final : public ResultList {
public:
    void clear() override
    {
        lines.clear();
        log.push_back("clear");
    }
    void add(const std::string& line) override
    {
        lines.push_back(line);
        log.push_back(line);
    }
    void repaint() override { log.push_back("repaint"); }

    Lines lines;
    Lines log;
};

KeyStats drill(const std::vector<std::tuple<char, uint32_t, uint32_t>>& entries)
{
    KeyStats stats;
    for (const auto& [c, total, hits] : entries)
        stats[c] = KeyStat { total, hits };
    return stats;
}

struct Window {
    FakeList list;
    BestTimes best {};
};

int showResultsError(const std::string& path, const KeyStats& stats, Window& window)
{
    try {
        ShowResults(path, stats, window.best, window.list);
    } catch (const IoError& error) {
        return error.code();
    }
    return 0;
}

const Lines earlierLines { "x,1,2", "repaint" };

} // namespace

TEST(ShowResults, firstRunThenASecondDrill)
{
    ScratchFolder folder;
    const std::string path = folder.path("touchdrill.bst");
    Window window;

    ShowResults(
        path, drill({ { 'a', 2168, 5 }, { ',', 6100, 10 }, { '"', 30, 1 } }), window.best, window.list);
    EXPECT_EQ(window.list.log, (Lines { "clear", R"("""",30,0)", R"(",",610,0)", "a,433,0", "repaint" }));
    EXPECT_EQ(readBytes(path), handMadeFile({ { '"', 30 }, { ',', 610 }, { 'a', 433 } }));

    // Better, equal and worse averages: the lines show the stored best, only the better one is kept.
    ShowResults(path, drill({ { 'a', 4000, 10 }, { ',', 6109, 10 }, { '"', 31, 1 }, { 'b', 7, 1 } }),
        window.best, window.list);
    EXPECT_EQ(window.list.lines, (Lines { R"("""",31,30)", R"(",",610,610)", "a,400,433", "b,7,0" }));
    const Bytes second = handMadeFile({ { '"', 30 }, { ',', 610 }, { 'a', 400 }, { 'b', 7 } });
    EXPECT_EQ(readBytes(path), second);
    BestTimes expected {};
    expected['"' - FirstCode] = 30;
    expected[',' - FirstCode] = 610;
    expected['a' - FirstCode] = 400;
    expected['b' - FirstCode] = 7;
    EXPECT_EQ(window.best, expected);

    // A drill with no hits empties the list and rewrites the file as it was.
    ShowResults(path, KeyStats {}, window.best, window.list);
    EXPECT_EQ(window.list.lines, Lines {});
    EXPECT_EQ(readBytes(path), second);
    EXPECT_EQ(folder.namesExcept("touchdrill.bst"), Lines {});
}

TEST(ShowResults, bestsOfTheFileAndOfTheRunJoinAtTheLowerOne)
{
    ScratchFolder folder;
    const std::string path = folder.path("t.bst");
    writeBytes(path, handMadeFile({ { 'q', 4294967295u }, { 'z', 250 }, { 'y', 80 } }, 400));
    Window window;
    window.best['q' - FirstCode] = 500; // reached earlier in this run, when the file could not be written
    window.best['y' - FirstCode] = 90;
    ShowResults(
        path, drill({ { 'q', 900, 3 }, { 'z', 2600, 10 }, { 'y', 1000, 10 } }), window.best, window.list);
    EXPECT_EQ(window.list.lines, (Lines { "q,300,500", "y,100,80", "z,260,250" }));
    EXPECT_EQ(readBytes(path), handMadeFile({ { 'q', 300 }, { 'y', 80 }, { 'z', 250 } }))
        << "cut to 376 bytes";

    // The same join without a drill, as the progress window reads the bests.
    BestTimes shown {};
    shown['q' - FirstCode] = 200;
    shown['y' - FirstCode] = 95;
    shown['x' - FirstCode] = 70;
    joinStoredBests(path, shown);
    BestTimes joined = shown;
    joined['y' - FirstCode] = 80;
    joined['z' - FirstCode] = 250;
    EXPECT_EQ(shown, joined);

    // A file removed during the run: the run's bests are written again.
    std::filesystem::remove(path);
    joinStoredBests(path, shown);
    EXPECT_EQ(shown, joined) << "no file joins nothing";
    ShowResults(path, KeyStats {}, window.best, window.list);
    EXPECT_EQ(readBytes(path), handMadeFile({ { 'q', 300 }, { 'y', 80 }, { 'z', 250 } }));
}

TEST(ShowResults, zeroMillisecondAverageLeavesTheBestAsItIs)
{
    ScratchFolder folder;
    const std::string path = folder.path("t.bst");
    Window window;
    ShowResults(path, drill({ { 'k', 3, 5 } }), window.best, window.list);
    EXPECT_EQ(window.list.lines, Lines { "k,0,0" });
    EXPECT_EQ(readBytes(path), Bytes(376, 0));

    ShowResults(path, drill({ { 'k', 40, 10 } }), window.best, window.list);
    EXPECT_EQ(window.list.lines, Lines { "k,4,0" });
    ShowResults(path, drill({ { 'k', 0, 1 } }), window.best, window.list);
    EXPECT_EQ(window.list.lines, Lines { "k,0,4" });
    EXPECT_EQ(readBytes(path), handMadeFile({ { 'k', 4 } }));
}

TEST(ShowResults, unreadableFileIsLeftAsItIsAndTheRunsBestsKept)
{
    ScratchFolder folder;
    const std::string shortFile = folder.path("short.bst");
    const Bytes shortBytes = handMadeFile({ { 'a', 5 } }, 375);
    writeBytes(shortFile, shortBytes);
    const std::string unreadable = folder.path("unreadable.bst");
    const Bytes unreadableBytes = handMadeFile({ { 'a', 5 } });
    writeBytes(unreadable, unreadableBytes);
    ::chmod(unreadable.c_str(), 0200);

    PermissionChecks checks;
    const std::tuple<std::string, Bytes, int> table[] = {
        { shortFile, shortBytes, 100 },
        { unreadable, unreadableBytes, 5 },
    };
    for (const auto& [path, bytes, code] : table) {
        SCOPED_TRACE(path);
        if (code == 5 && !checks.active())
            GTEST_SKIP() << "running as root without the right to drop capabilities";
        Window window;
        window.list.log = earlierLines;
        window.best['a' - FirstCode] = 90;
        window.best['b' - FirstCode] = 7;
        EXPECT_EQ(showResultsError(path, drill({ { 'a', 100, 1 } }), window), code);
        EXPECT_EQ(showResultsError(path, drill({ { 'a', 40, 1 }, { 'c', 9, 1 } }), window), code);
        Lines expectedLog = earlierLines;
        for (const Lines& drillEnd : { Lines { "a,100,90" }, Lines { "a,40,90", "c,9,0" } }) {
            expectedLog.push_back("clear");
            expectedLog.insert(expectedLog.end(), drillEnd.begin(), drillEnd.end());
            expectedLog.push_back("repaint");
        }
        EXPECT_EQ(window.list.log, expectedLog)
            << "filled with the bests known so far, repainted before the error";
        ::chmod(path.c_str(), 0644);
        EXPECT_EQ(readBytes(path), bytes) << "never overwritten";

        // Repaired: the bests reached meanwhile join those of the file.
        writeBytes(path, handMadeFile({ { 'a', 50 }, { 'b', 3 } }));
        ShowResults(path, KeyStats {}, window.best, window.list);
        EXPECT_EQ(readBytes(path), handMadeFile({ { 'a', 40 }, { 'b', 3 }, { 'c', 9 } }));
    }
    EXPECT_EQ(folder.namesExcept("").size(), 2u);
}

TEST(ShowResults, failedRewriteKeepsTheNewLinesAndBests)
{
    ScratchFolder folder;
    const std::string inTheWay = folder.path("dir.bst");
    std::filesystem::create_directory(inTheWay);
    const std::string readOnly = folder.path("readonly.bst");
    writeBytes(readOnly, handMadeFile({ { 'a', 300 }, { 'b', 50 } }));
    ::chmod(readOnly.c_str(), 0444);
    const std::string locked = folder.path("locked");
    std::filesystem::create_directory(locked);
    writeBytes(locked + "/t.bst", handMadeFile({ { 'a', 300 }, { 'b', 50 } }));
    ::chmod(locked.c_str(), 0555);

    PermissionChecks checks;
    if (!checks.active())
        GTEST_SKIP() << "running as root without the right to drop capabilities";
    struct Row {
        const char* name;
        std::string path;
        Lines lines;
        int code;
        Bytes after;
    };
    const Row table[] = {
        { "folder in place of the file: no file, then the rewrite fails", inTheWay, { "a,250,0" }, 5, {} },
        { "read-only file: read, then the rewrite refused", readOnly, { "a,250,300" }, 5,
            handMadeFile({ { 'a', 300 }, { 'b', 50 } }) },
        { "folder that takes no new file: rewritten in place", locked + "/t.bst", { "a,250,300" }, 0,
            handMadeFile({ { 'a', 250 }, { 'b', 50 } }) },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        Window window;
        window.list.log = earlierLines;
        EXPECT_EQ(showResultsError(row.path, drill({ { 'a', 500, 2 } }), window), row.code);
        Lines expectedLog = earlierLines;
        expectedLog.push_back("clear");
        expectedLog.insert(expectedLog.end(), row.lines.begin(), row.lines.end());
        expectedLog.push_back("repaint");
        EXPECT_EQ(window.list.log, expectedLog) << "filled and repainted before the error";
        EXPECT_EQ(window.best['a' - FirstCode], 250u);
        if (!row.after.empty()) {
            EXPECT_EQ(readBytes(row.path), row.after);
        }
    }
    EXPECT_TRUE(std::filesystem::is_directory(inTheWay));
}

TEST(ShowResults, diskFullKeepsTheOldFileAndTheNextRewriteStoresTheImprovement)
{
    ScratchFolder folder;
    const std::string path = folder.path("t.bst");
    const Bytes old = handMadeFile({ { 'a', 300 } });
    writeBytes(path, old);
    detail::writeFault
        = [](detail::WriteStep step, int) { return step == detail::WriteStep::Write ? ENOSPC : 0; };
    Window window;
    const int code = showResultsError(path, drill({ { 'a', 500, 2 } }), window);
    detail::writeFault = nullptr;
    EXPECT_EQ(code, 112);
    EXPECT_EQ(window.list.log, (Lines { "clear", "a,250,300", "repaint" }));
    EXPECT_EQ(readBytes(path), old);
    EXPECT_EQ(folder.namesExcept("t.bst"), Lines {});

    ShowResults(path, drill({ { 'b', 60, 2 } }), window.best, window.list);
    EXPECT_EQ(readBytes(path), handMadeFile({ { 'a', 250 }, { 'b', 30 } }));
}
