// SPDX-License-Identifier: GPL-3.0-or-later
// Figures of one key's response times that suit their skew (a few long lapses make a mean over a
// handful of answers mostly its slowest one): the median, the 90th percentile and a spread, each
// with a 95 % interval, and whether the latest answers are faster or slower than those before.
//
// The intervals of the median and the percentile are distribution-free: between two order
// statistics, chosen from the binomial distribution of how many answers fall below the true
// quantile, each tail at most 2.5 %. They hold for any distribution of times, ties included.
//
// The spread is the inter-quartile range over the median. Its interval combines the intervals of
// the lower quartile, the median and the upper quartile, each at 98.33 % (Bonferroni: all three
// hold at once in at least 95 % of samples), into the smallest and largest ratio they allow. So
// it too holds for any distribution, is the same on every run and costs one sort; the price is
// width: it covers nearly always, and at 50 answers it is more than twice as wide as a bootstrap's.
// A bootstrap was the other choice: it is only approximate for quantiles of small samples, and its
// thousand resamples per key would cost more than all other figures of the 94 keys together.
//
// The trend is the Mann-Whitney (Wilcoxon rank-sum) test, which compares ranks and so is neither
// swayed by a lapse nor needs the times to be normal: exact for small windows without ties, else
// the normal approximation with tie and continuity corrections. Two-sided, at p < 0.05.
//
// A change is told only when, besides, the later answers' median differs from the earlier ones'
// by at least MinNoticeableChange of it. The test alone tells a learner who has not changed of a
// change in 5 % of comparisons, and it finds ever smaller differences as the windows grow: with
// a thousand answers on each side a 3 % shift is "significant", yet no learner can feel it, and a
// sitting's form (warm-up, fatigue, the time of day) moves times by that much without any change
// of skill. A tenth is about the least difference of durations near half a second that people
// tell apart, and well below the gains practice brings (a fifth and more). Over 2,000 simulated
// histories of ex-Gaussian answers (tests/history/tst_answerstats.cpp), a steady learner is told
// of a change in 2.75 % of them where the test alone tells 4.7 %, and a learner 20 % faster is
// told so in 96 %. That simulation has no variation from one sitting to the next; with 3 % of it
// the test over answers, which takes them as independent, tells a steady learner of a change in
// 14 % of histories, and this rule in 10 %.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace touchdrill::history {

struct Interval {
    double low = 0;
    double high = 0;
    bool operator==(const Interval&) const = default;
};

struct Estimate {
    double value = 0;
    std::optional<Interval> interval; // none while the sample is too small for it
};

// The p-quantile of sorted values (not empty), interpolated linearly between neighbours: the
// definition the chart's fences use.
double quantile(std::span<const double> sorted, double p);

// The order statistics (1 = smallest) between which the p-quantile (0 < p < 1) lies with at least
// `confidence` for n answers, each tail at most (1 - confidence) / 2; none when n is too small.
struct Ranks {
    std::size_t low = 0;
    std::size_t high = 0;
    bool operator==(const Ranks&) const = default;
};
std::optional<Ranks> quantileRanks(std::size_t n, double p, double confidence = 0.95);

// The fewest answers for which the median has its 95 % interval: from 6 the smallest and the
// largest answer bound it (each tail 1/64). Below this a key has too little data.
inline constexpr std::size_t EnoughAnswers = 6;

struct TimeFigures {
    std::size_t answers = 0;
    std::optional<Estimate> median; // none without answers
    std::optional<Estimate> p90; // none without answers
    std::optional<Estimate> spread; // interquartile range / median; none without or at median 0
};
// Interval from 6 answers for the median, 17 for the spread, 36 for the 90th percentile.
TimeFigures timeFigures(std::span<const uint32_t> ms);

struct RankTest {
    double p = 1; // two-sided
    bool laterLower = false; // the later sample's ranks lie lower (faster)
    bool exact = false;
};
// The Mann-Whitney test of `later` against `earlier`; p = 1 when either is empty.
RankTest mannWhitney(std::span<const uint32_t> earlier, std::span<const uint32_t> later);

enum class Trend { NoChange, Faster, Slower };

struct TrendResult {
    Trend trend = Trend::NoChange;
    double p = 1;
    std::size_t earlier = 0; // answers in each window
    std::size_t later = 0;
    double ratio = 1; // the later window's median over the earlier one's; 1 while either is empty
};

// The least relative difference of the windows' medians that is told as a change.
inline constexpr double MinNoticeableChange = 0.10;

// Faster or slower when the rank test finds p < 0.05 and the medians differ by at least
// MinNoticeableChange in the same direction; no change otherwise.
TrendResult compareWindows(std::span<const uint32_t> earlier, std::span<const uint32_t> later);

// Answers in each window of the trend, at least.
inline constexpr std::size_t TrendWindow = 50;

// The trend of one key from its answers in each drill of one kind, oldest first: the later window
// is the latest drills that hold at least TrendWindow answers between them, the earlier window the
// drills before that hold at least as many again (or all there are). Whole drills, because a
// learner changes between sittings rather than within one; a bounded earlier window, because
// against months of history every key of a learner who improves would read faster for ever.
TrendResult keyTrend(std::span<const std::vector<uint32_t>> drillsOldestFirst);

} // namespace touchdrill::history
