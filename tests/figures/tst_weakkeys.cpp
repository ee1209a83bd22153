// SPDX-License-Identifier: GPL-3.0-or-later
#include "figures/fingermap.h"
#include "figures/weakkeys.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

using namespace touchdrill::figures;

namespace {

KeySummary summary(unsigned char code, std::optional<double> recentMs, std::optional<double> accuracy,
    uint64_t hits = MinAnswers, uint64_t wrong = 0)
{
    KeySummary s;
    s.code = code;
    s.drills = 5;
    s.recentMs = recentMs;
    s.accuracy = accuracy;
    s.recentHits = hits;
    s.recentWrong = wrong;
    // As if each of its hits were one answer of its drills that kept answers, at that median.
    s.answersKept = true;
    s.times.answers = hits;
    if (recentMs)
        s.times.median = Estimate { *recentMs, std::nullopt };
    return s;
}

} // namespace

TEST(WeakKeys, weakKeyPoolLeansOnTheSlowAndTheInaccurate)
{
    struct Row {
        const char* name;
        std::vector<KeySummary> keys;
        std::string pool;
    };
    // Its drills all from before answers were kept: its average and accuracy only.
    const auto old = [](KeySummary key) {
        key.answersKept = false;
        key.times = {};
        return key;
    };
    // Its median known to within `error` (the log's standard error), or at `median` whatever its
    // recent average.
    const auto known = [](KeySummary key, double error) {
        key.medianLogError = error;
        return key;
    };
    const auto median = [](KeySummary key, double ms) {
        key.times.median = Estimate { ms, std::nullopt };
        return key;
    };
    std::vector<KeySummary> many;
    for (int i = 0; i < 30; ++i)
        many.push_back(summary(static_cast<unsigned char>('A' + i), 1000.0 + i, 1.0));
    const Row table[] = {
        { "no history, no pool", {}, "" },
        { "one character stands once", { summary('a', 300.0, 1.0) }, "a" },
        { "two characters: both, as at least three are wanted; the slower twice",
            { summary('a', 300.0, 1.0), summary('s', 900.0, 1.0) }, "ass" },
        { "the slower half, each by its cost over the median",
            { summary('a', 300.0, 1.0), summary('s', 300.0, 1.0), summary('d', 300.0, 1.0),
                summary('f', 300.0, 1.0), summary('g', 600.0, 1.0), summary('h', 1200.0, 1.0) },
            "agghhhh" },
        { "half the accuracy costs double",
            { summary('a', 300.0, 1.0), summary('s', 300.0, 1.0), summary('d', 300.0, 1.0),
                summary('f', 300.0, 0.5), summary('g', 300.0, 1.0) },
            "affs" },
        { "never answered lately weighs most",
            { summary('a', 300.0, 1.0), summary('s', 300.0, 1.0), summary('d', 300.0, 1.0),
                summary('f', std::nullopt, 0.0) },
            "affffs" },
        { "weights stop at four",
            { summary('a', 100.0, 1.0), summary('s', 100.0, 1.0), summary('d', 5000.0, 1.0) }, "adddds" },
        { "at most fifteen keys, the costliest", many, "PQRSTUVWXYZ[\\]^" },
        { "too few answers for the median's interval: out of the pool and of the median",
            { summary('a', 300.0, 1.0), summary('s', 300.0, 1.0), summary('d', 300.0, 1.0),
                summary('f', 600.0, 1.0), summary('g', 5000.0, 1.0, EnoughAnswers - 1) },
            "affs" },
        { "wrong keys are no times: too few answered is out",
            { summary('a', 300.0, 1.0), summary('s', 300.0, 0.25, EnoughAnswers - 1, 15),
                summary('d', 300.0, 1.0, EnoughAnswers) },
            "ad" },
        { "never answered, with enough wrong keys, still weighs most",
            { summary('a', 300.0, 1.0), summary('s', std::nullopt, 0.0, 0, MinAnswers),
                summary('d', 300.0, 1.0), summary('f', 300.0, 1.0) },
            "adssss" },
        { "no character kept answers: ranked by their averages, as before",
            { old(summary('a', 300.0, 1.0)), old(summary('s', 900.0, 1.0)) }, "ass" },
        { "no character kept answers: the averages need 20 answers",
            { old(summary('a', 300.0, 1.0)), old(summary('s', 300.0, 1.0)), old(summary('d', 300.0, 1.0)),
                old(summary('f', 600.0, 1.0)), old(summary('g', 5000.0, 1.0, MinAnswers - 1)) },
            "affs" },
        { "an average is not ranked beside medians",
            { summary('a', 300.0, 1.0), summary('s', 300.0, 1.0), old(summary('d', 5000.0, 1.0)) }, "as" },
        { "costs alike within their errors: none weak, the kind's keys once each",
            { known(summary('a', 300.0, 1.0), 0.1), known(summary('s', 310.0, 1.0), 0.1),
                known(summary('d', 320.0, 1.0), 0.1) },
            "ads" },
        { "a cost far beyond its error is weak",
            { known(summary('a', 300.0, 1.0), 0.05), known(summary('s', 300.0, 1.0), 0.05),
                known(summary('d', 300.0, 1.0), 0.05), known(summary('f', 600.0, 1.0), 0.05) },
            "affs" },
        { "a median of 0 ms is the cheapest, not the end of the ranking",
            { summary('a', 0.0, 1.0), summary('s', 300.0, 1.0), summary('d', 300.0, 1.0),
                summary('f', 900.0, 1.0) },
            "dfffs" },
        { "ranked by the median, not the recent average",
            { summary('a', 300.0, 1.0), median(summary('s', 300.0, 1.0), 900), summary('d', 300.0, 1.0) },
            "adsss" },
        { "no character with enough answers, no pool",
            { summary('a', 300.0, 1.0, EnoughAnswers - 1), summary('s', 900.0, 1.0, 3) }, "" },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(weakKeyPool(weakKeys(row.keys)), row.pool);
    }

    EXPECT_FALSE(anyWeak(weakKeys(table[14].keys)));
    EXPECT_TRUE(anyWeak(weakKeys(table[15].keys)));
    // Costliest first, whatever the order in code.
    const std::vector<WeakKey> ranked = weakKeys(table[3].keys);
    ASSERT_EQ(ranked.size(), 3u);
    EXPECT_EQ(ranked[0].code, 'h');
    EXPECT_EQ(ranked[0].weight, 4);
    EXPECT_DOUBLE_EQ(ranked[0].cost, 1200.0);
    EXPECT_EQ(ranked[1].code, 'g');
    EXPECT_EQ(ranked[1].weight, 2);
}

// The finger drill leans on the finger's keys practised enough to rank, by their costs; a finger
// none of whose keys has been practised yet drills them all once.
TEST(WeakKeys, theFingerDrillLeansOnItsSlowPractisedKeys)
{
    const auto practised = [](char c, double medianMs) {
        KeySummary key;
        key.code = static_cast<unsigned char>(c);
        key.drills = 5;
        key.recentHits = 40;
        key.accuracy = 1.0;
        key.answersKept = true;
        key.times.answers = 40;
        key.times.median = Estimate { medianMs, std::nullopt };
        return key;
    };
    const struct {
        const char* name;
        std::vector<KeySummary> summaries;
        std::string pool;
    } table[] = {
        { "nothing practised: every key once", {}, FingerMap::standard().characters(Finger::RightLittle) },
        { "p slow, ; fast, nothing else met", { practised('p', 1200), practised(';', 400) }, ";pp" },
        { "another finger's keys change nothing", { practised('a', 5000) },
            FingerMap::standard().characters(Finger::RightLittle) },
    };
    for (const auto& row : table)
        EXPECT_EQ(fingerPool(FingerMap::standard(), Finger::RightLittle, row.summaries), row.pool)
            << row.name;
}
