// SPDX-License-Identifier: GPL-3.0-or-later
// A character's counts: the average, the accuracy, what counts as a drill, and adding up.
#include "keycounts.h"

#include <gtest/gtest.h>

#include <vector>

using namespace touchdrill::history;

TEST(KeyCounts, rulesOverTheAddedUpCounts)
{
    struct Row {
        const char* name;
        std::vector<KeyCounts> parts; // added up into one sum
        CountsSum sum;
        bool countsAsDrill;
        std::optional<double> averageMs;
        std::optional<uint64_t> wholeAverageMs;
        std::optional<double> accuracy;
    };
    const Row table[] = {
        { "nothing at all", { {} }, {}, false, std::nullopt, std::nullopt, std::nullopt },
        { "answers and wrong keys", { { 4, 2000, 1 } }, { 4, 2000, 1 }, true, 500.0, 500, 0.8 },
        { "wrong keys only: a drill, with no average", { { 0, 0, 3 } }, { 0, 0, 3 }, true, std::nullopt,
            std::nullopt, 0.0 },
        { "answers typed ahead: an average of 0", { { 2, 0, 0 } }, { 2, 0, 0 }, true, 0.0, 0, 1.0 },
        { "the whole average is cut, not rounded", { { 3, 2000, 0 } }, { 3, 2000, 0 }, true, 2000.0 / 3, 666,
            1.0 },
        { "drills add up past 32 bits", { { UINT32_MAX, UINT32_MAX, 1 }, { 1, 1, UINT32_MAX } },
            { 1ULL << 32, 1ULL << 32, 1ULL << 32 }, true, 1.0, 1, 0.5 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        CountsSum sum;
        for (const KeyCounts& part : row.parts)
            sum += part;
        EXPECT_EQ(sum, row.sum);
        EXPECT_EQ(sum.countsAsDrill(), row.countsAsDrill);
        EXPECT_EQ(sum.averageMs(), row.averageMs);
        EXPECT_EQ(sum.wholeAverageMs(), row.wholeAverageMs);
        EXPECT_EQ(sum.accuracy(), row.accuracy);
        if (row.parts.size() == 1) { // a character's own counts follow the same rules
            EXPECT_EQ(row.parts[0].countsAsDrill(), row.countsAsDrill);
            EXPECT_EQ(row.parts[0].averageMs(), row.averageMs);
            EXPECT_EQ(row.parts[0].accuracy(), row.accuracy);
        }
    }
}
