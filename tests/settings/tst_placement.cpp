// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/placement.h"

#include "tests/support/scratchfolder.h"

#include <climits>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <stdexcept>
#include <sys/resource.h>
#include <vector>

namespace touchdrill {

bool operator==(const WindowBounds& a, const WindowBounds& b)
{
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

void PrintTo(const WindowBounds& b, std::ostream* os)
{
    *os << "{left " << b.left << ", top " << b.top << ", " << b.width << " x " << b.height << "}";
}

namespace {

using testing::ScratchFolder;

constexpr WorkArea Screen { 0, 0, 1024, 768 };
constexpr WindowSize Minimum { 257, 196 };

TEST(RestorePlacement, Table)
{
    struct Row {
        const char* name;
        std::optional<std::string> file; // nullopt: no file
        WorkArea area;
        WindowBounds expected;
        WindowSize minimum = Minimum;
    };
    const Row rows[] = {
        { "no file: work area corner, current size", std::nullopt, { 40, 30, 1024, 768 },
            { 40, 30, 369, 422 } },
        { "no Form section", "[Other]\nTop=100\nLeft=100\n", Screen, { 0, 0, 369, 422 } },
        { "stored values", "[Form]\nTop=200\nLeft=300\nWidth=500\nHeight=450\n", Screen,
            { 300, 200, 500, 450 } },
        { "left far right", "[Form]\nLeft=5000\nTop=200\n", Screen, { 0, 200, 369, 422 } },
        { "top above the screen", "[Form]\nLeft=10\nTop=-50\n", Screen, { 10, 0, 369, 422 } },
        { "left at right - 100 stays", "[Form]\nLeft=924\n", Screen, { 924, 0, 369, 422 } },
        { "left one more moves", "[Form]\nLeft=925\n", Screen, { 0, 0, 369, 422 } },
        { "top at bottom - 100 stays", "[Form]\nTop=668\n", Screen, { 0, 668, 369, 422 } },
        { "top one more moves", "[Form]\nTop=669\n", Screen, { 0, 0, 369, 422 } },
        { "left at the area's left stays", "[Form]\nLeft=40\nTop=30\n", { 40, 30, 1024, 768 },
            { 40, 30, 369, 422 } },
        { "left and top one short move", "[Form]\nLeft=39\nTop=29\n", { 40, 30, 1024, 768 },
            { 40, 30, 369, 422 } },
        { "maximised bounds fit the work area", "[Form]\nLeft=-8\nTop=-8\nWidth=1040\nHeight=784\n", Screen,
            { 0, 0, 1024, 768 } },
        { "zero and negative sizes raised to the minimum", "[Form]\nWidth=0\nHeight=-5\n", Screen,
            { 0, 0, 257, 196 } },
        { "at the minimum stays, one short is raised", "[Form]\nWidth=257\nHeight=195\n", Screen,
            { 0, 0, 257, 196 } },
        { "huge sizes shrink to the work area", "[Form]\nWidth=100000\nHeight=$7FFFFFFF\n", Screen,
            { 0, 0, 1024, 768 } },
        { "the work area's size stays where it is", "[Form]\nLeft=10\nTop=20\nWidth=1024\nHeight=768\n",
            Screen, { 10, 20, 1024, 768 } },
        { "one more shrinks and starts at the area's edge",
            "[Form]\nLeft=10\nTop=20\nWidth=1025\nHeight=769\n", Screen, { 0, 0, 1024, 768 } },
        { "a work area below the minimum wins", std::nullopt, { 50, 40, 250, 190 }, { 50, 40, 200, 150 } },
        { "hexadecimal forms", "[Form]\nLeft=0x10\nTop=$20\nWidth=x1F0\nHeight=-$10\n", Screen,
            { 16, 32, 496, 16 }, { 1, 1 } },
        { "invalid values give the defaults", "[Form]\nLeft=12abc\nTop= \nWidth=2147483648\nHeight=\"1 \"\n",
            Screen, { 0, 0, 369, 422 } },
        { "area left of the origin", "[Form]\nLeft=-100\nTop=-600\n", { -1280, -768, 0, 0 },
            { -100, -600, 369, 422 } },
        { "area left of the origin, one more", "[Form]\nLeft=-99\nTop=-99\n", { -1280, -768, 0, 0 },
            { -1280, -768, 369, 422 } },
        // right - 100 and bottom - 100 would overflow in 32 bits here and let 0 through.
        { "area at the lowest coordinates", "[Form]\nLeft=0\nTop=0\n",
            { INT_MIN, INT_MIN, INT_MIN + 50, INT_MIN + 50 }, { INT_MIN, INT_MIN, 50, 50 } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        if (row.file)
            dir.write("t.ini", *row.file);
        EXPECT_EQ(restorePlacement(dir.path("t.ini"), row.area, 369, 422, row.minimum), row.expected);
    }
}

TEST(RestorePlacement, SeveralScreens)
{
    // The primary screen has a task bar at the bottom; the second, to its right, a panel at the top;
    // the third lies left of the primary and reaches above it.
    const std::vector<ScreenArea> desktop {
        { { 0, 0, 1920, 1080 }, { 0, 0, 1920, 1040 } },
        { { 1920, 0, 3200, 1024 }, { 1920, 30, 3200, 1024 } },
        { { -1280, -200, 0, 824 }, { -1280, -200, 0, 824 } },
    };
    struct Row {
        const char* name;
        std::optional<std::string> file;
        std::vector<ScreenArea> screens;
        WindowBounds expected;
    };
    const Row rows[] = {
        { "no file: the primary work area's corner", std::nullopt, desktop, { 0, 0, 369, 422 } },
        { "primary listed first wherever it lies", std::nullopt, { desktop[1], desktop[0] },
            { 1920, 30, 369, 422 } },
        { "left on the second screen stays", "[Form]\nLeft=2000\nTop=300\n", desktop,
            { 2000, 300, 369, 422 } },
        { "under the second screen's panel moves to its work area", "[Form]\nLeft=2000\nTop=10\n", desktop,
            { 2000, 30, 369, 422 } },
        { "too far right on the second screen", "[Form]\nLeft=3101\nTop=500\n", desktop,
            { 1920, 500, 369, 422 } },
        { "second screen's right - 100 stays", "[Form]\nLeft=3100\nTop=924\n", desktop,
            { 3100, 924, 369, 422 } },
        // The shared edge belongs to the screen that starts there, not to the one that ends there.
        { "corner on the edge between the primary and the second screen", "[Form]\nLeft=1920\nTop=300\n",
            desktop, { 1920, 300, 369, 422 } },
        { "fitted to the work area of the screen that holds it",
            "[Form]\nLeft=2000\nTop=300\nWidth=1500\nHeight=900\n", desktop, { 1920, 300, 1280, 900 } },
        { "above the primary on the third screen", "[Form]\nLeft=-1000\nTop=-150\n", desktop,
            { -1000, -150, 369, 422 } },
        { "in the primary's task bar", "[Form]\nLeft=100\nTop=1060\n", desktop, { 100, 0, 369, 422 } },
        { "below the second screen: no screen holds it", "[Form]\nLeft=2000\nTop=1050\n", desktop,
            { 0, 0, 369, 422 } },
        { "the second screen unplugged", "[Form]\nLeft=2000\nTop=300\n", { desktop[0] },
            { 0, 300, 369, 422 } },
        { "left on a larger screen since unplugged: fitted to the one that is left",
            "[Form]\nLeft=100\nTop=50\nWidth=1800\nHeight=1100\n", { desktop[1] }, { 1920, 30, 1280, 994 } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        if (row.file)
            dir.write("t.ini", *row.file);
        EXPECT_EQ(restorePlacement(dir.path("t.ini"), row.screens, 369, 422), row.expected);
    }
    EXPECT_THROW(restorePlacement("t.ini", std::vector<ScreenArea> {}, 1, 1), std::invalid_argument);
}

TEST(PlaceBeside, Table)
{
    constexpr WindowBounds mainWindow { 0, 0, 369, 422 };
    struct Row {
        const char* name;
        WindowBounds beside;
        WindowSize wanted;
        WorkArea area;
        WindowBounds expected;
        WindowSize minimum = { 1, 1 };
    };
    const Row rows[] = {
        { "room on the right", mainWindow, { 500, 400 }, Screen, { 369, 0, 500, 400 } },
        { "room on both sides: the right", { 300, 100, 200, 300 }, { 300, 300 }, Screen,
            { 500, 100, 300, 300 } },
        { "level with its top, raised to stay in the area", { 0, 500, 369, 268 }, { 500, 400 }, Screen,
            { 369, 368, 500, 400 } },
        { "only on the left", { 600, 100, 369, 422 }, { 500, 400 }, Screen, { 100, 100, 500, 400 } },
        { "only below", { 300, 0, 450, 300 }, { 700, 400 }, Screen, { 300, 300, 700, 400 } },
        { "below, moved left to stay in the area", { 500, 0, 400, 300 }, { 700, 400 }, Screen,
            { 324, 300, 700, 400 } },
        { "nowhere whole: shrunk on the right, which keeps most", mainWindow, { 980, 640 }, Screen,
            { 369, 0, 655, 640 } },
        { "nowhere whole: shrunk below, which keeps most", { 0, 0, 900, 300 }, { 980, 640 }, Screen,
            { 0, 300, 980, 468 } },
        { "larger than the work area: fitted, then shrunk", { 0, 0, 10, 10 }, { 2000, 2000 }, Screen,
            { 10, 0, 1014, 768 } },
        { "800 x 600 screen", mainWindow, { 980, 640 }, { 0, 0, 800, 600 }, { 369, 0, 431, 600 } },
        { "800 x 600 screen, least size wider than the room: covers the least", mainWindow, { 980, 640 },
            { 0, 0, 800, 600 }, { 240, 0, 560, 600 }, { 560, 420 } },
        { "the other window maximised: least size at the right edge", { 0, 0, 1024, 768 }, { 980, 640 },
            Screen, { 767, 0, 257, 640 }, { 257, 196 } },
        { "work area away from the origin", { 100, 50, 369, 422 }, { 500, 400 }, { 100, 50, 1124, 818 },
            { 469, 50, 500, 400 } },
        { "the other window partly left of the work area", { -200, 0, 369, 422 }, { 500, 400 }, Screen,
            { 169, 0, 500, 400 } },
        // left + width would overflow in 32 bits and show room on the right.
        { "the other window's right edge beyond int", { INT_MAX - 100, 0, 200, 100 }, { 300, 300 },
            { INT_MAX - 1000, 0, INT_MAX, 768 }, { INT_MAX - 400, 0, 300, 300 } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(placeBeside(row.beside, row.wanted, row.area, row.minimum), row.expected);
    }
}

TEST(HasStoredPosition, Table)
{
    struct Row {
        const char* name;
        std::optional<std::string> file;
        bool expected;
    };
    const Row rows[] = {
        { "no file", std::nullopt, false },
        { "the size only", "[Form]\nWidth=500\nHeight=400\n", false },
        { "not integers", "[Form]\nLeft=12abc\nTop=\n", false },
        { "the left alone", "[Form]\nLeft=0\n", true },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchFolder dir;
        if (row.file)
            dir.write("t.ini", *row.file);
        EXPECT_EQ(hasStoredPosition(dir.path("t.ini"), "Form"), row.expected);
    }
}

TEST(SavePlacement, WritesTheFourKeysAndRestoresThem)
{
    ScratchFolder dir;
    dir.write("t.ini", "; mine\r\n[Other]\r\nTop=1\r\n");
    savePlacement(dir.path("t.ini"), { 300, 200, 500, 450 });
    EXPECT_EQ(dir.read("t.ini"),
        "; mine\r\n[Other]\r\nTop=1\r\n[Form]\r\nTop=200\r\nLeft=300\r\nWidth=500\r\nHeight=450\r\n");
    EXPECT_EQ(restorePlacement(dir.path("t.ini"), Screen, 1, 1), (WindowBounds { 300, 200, 500, 450 }));

    savePlacement(dir.path("t.ini"), { -8, -7, 1040, 784 });
    EXPECT_EQ(dir.read("t.ini"),
        "; mine\r\n[Other]\r\nTop=1\r\n[Form]\r\nTop=-7\r\nLeft=-8\r\nWidth=1040\r\nHeight=784\r\n");

    // Where the platform does not tell the position, the stored one is kept.
    savePlacement(dir.path("t.ini"), { -3, -30, 640, 480 }, SavedKeys::SizeOnly);
    EXPECT_EQ(dir.read("t.ini"),
        "; mine\r\n[Other]\r\nTop=1\r\n[Form]\r\nTop=-7\r\nLeft=-8\r\nWidth=640\r\nHeight=480\r\n");
    savePlacement(dir.path("new.ini"), { -3, -30, 640, 480 }, SavedKeys::SizeOnly);
    EXPECT_EQ(dir.read("new.ini"), "[Form]\nWidth=640\nHeight=480\n");

    // Another window's section leaves the main window's alone, and reads back on its own.
    savePlacement(dir.path("t.ini"), { 400, 100, 980, 640 }, SavedKeys::PositionAndSize, "Progress");
    EXPECT_EQ(dir.read("t.ini"),
        "; mine\r\n[Other]\r\nTop=1\r\n[Form]\r\nTop=-7\r\nLeft=-8\r\nWidth=640\r\nHeight=480\r\n"
        "[Progress]\r\nTop=100\r\nLeft=400\r\nWidth=980\r\nHeight=640\r\n");
    const std::vector<ScreenArea> one { { Screen, Screen } };
    EXPECT_EQ(
        restorePlacement(dir.path("t.ini"), one, 1, 1, "Progress"), (WindowBounds { 400, 100, 980, 640 }));
    EXPECT_EQ(restorePlacement(dir.path("t.ini"), one, 1, 1), (WindowBounds { 0, 0, 640, 480 }));
}

TEST(SavePlacement, FailureNamesTheFileAndStopsThere)
{
    ScratchFolder dir;
    const std::string unwritable = dir.path("none/t.ini");
    try {
        savePlacement(unwritable, { 1, 2, 3, 4 });
        ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), unwritable + " に書き込めません");
    }

    // A file size limit lets the same-sized rewrite of Top through and stops the growing
    // write of Left, so the keys after the failing one can be seen left alone.
    dir.write("t.ini", "[Form]\nTop=1\n");
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 13;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(savePlacement(dir.path("t.ini"), { 7, 2, 500, 450 }), std::runtime_error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(dir.read("t.ini"), "[Form]\nTop=2\n");
    EXPECT_EQ(dir.entries(), std::set<std::string> { "t.ini" });
}

} // namespace
} // namespace touchdrill
