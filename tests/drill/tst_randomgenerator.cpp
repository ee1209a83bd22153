// SPDX-License-Identifier: GPL-3.0-or-later
#include "drill/randomgenerator.h"

#include <gtest/gtest.h>

using namespace touchdrill;

// Expected values worked out separately: seed' = seed * 134775813 + 1 (mod 2^32), draw = seed' * n >> 32.
TEST(RandomGenerator, drawsMatchHandComputedSequences)
{
    struct Step {
        uint32_t n, seedAfter, value;
    };
    struct Sequence {
        const char* name;
        uint32_t seed;
        Step steps[5];
    };
    const Sequence table[] = {
        { "seed 0", 0,
            { { 10, 1, 0 }, { 33, 134775814, 1 }, { 95, 3698175007u, 81 }, { 1000, 870078620, 202 },
                { 0xFFFFFFFFu, 1172187917, 1172187916 } } },
        { "seed 12345", 12345,
            { { 10, 1655067934, 3 }, { 33, 1242767767, 9 }, { 95, 342459380, 7 }, { 1000, 2377737157u, 553 },
                { 0xFFFFFFFFu, 2721613530u, 2721613529u } } },
        { "seed 2^32-1 wraps", 0xFFFFFFFFu,
            { { 10, 4160191484u, 9 }, { 33, 866343917, 6 }, { 95, 2231304098u, 49 }, { 1000, 567969323, 132 },
                { 0xFFFFFFFFu, 3754609368u, 3754609367u } } },
    };
    for (const auto& seq : table) {
        SCOPED_TRACE(seq.name);
        RandomGenerator random;
        random.reseed(seq.seed);
        for (const auto& step : seq.steps) {
            EXPECT_EQ(random.draw(step.n), step.value);
            EXPECT_EQ(random.seed(), step.seedAfter);
        }
    }
}

TEST(RandomGenerator, drawStaysBelowN)
{
    RandomGenerator random(987654321);
    for (uint32_t n : { 1u, 2u, 33u, 95u }) {
        for (int i = 0; i < 10000; ++i) {
            const uint32_t v = random.draw(n);
            ASSERT_LT(v, n);
        }
    }
}
