// SPDX-License-Identifier: GPL-3.0-or-later
// A character's counts: what counts as a drill, the whole-millisecond average and adding up. The
// average and the accuracy are checked with the chart's points, which carry the same counts.
#include "history/keycounts.h"

#include <gtest/gtest.h>

#include <vector>

using namespace touchdrill::history;

TEST(KeyCounts, drillsAveragesAndSums)
{
    struct Row {
        const char* name;
        std::vector<KeyCounts> parts; // added up into one sum
        CountsSum sum;
        bool countsAsDrill;
        std::optional<uint64_t> wholeAverageMs;
    };
    const Row table[] = {
        { "nothing at all is no drill", { {} }, {}, false, std::nullopt },
        { "wrong keys alone make a drill, with no average", { { 0, 0, 3 } }, { 0, 0, 3 }, true,
            std::nullopt },
        { "answers typed ahead: an average of 0", { { 2, 0, 0 } }, { 2, 0, 0 }, true, 0 },
        { "the whole average is cut, not rounded", { { 3, 2000, 0 } }, { 3, 2000, 0 }, true, 666 },
        { "drills add up past 32 bits", { { UINT32_MAX, UINT32_MAX, 1 }, { 1, 1, UINT32_MAX } },
            { 1ULL << 32, 1ULL << 32, 1ULL << 32 }, true, 1 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        CountsSum sum;
        for (const KeyCounts& part : row.parts)
            sum += part;
        EXPECT_EQ(sum, row.sum);
        EXPECT_EQ(sum.countsAsDrill(), row.countsAsDrill);
        EXPECT_EQ(sum.wholeAverageMs(), row.wholeAverageMs);
        if (row.parts.size() == 1) { // one character in one drill, as stored
            EXPECT_EQ(row.parts[0].countsAsDrill(), row.countsAsDrill);
            EXPECT_EQ(row.parts[0].wholeAverageMs(), row.wholeAverageMs);
        }
    }
}
