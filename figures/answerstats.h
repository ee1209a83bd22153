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
// The trend compares sittings, not answers. A learner's times move from one sitting to the next
// by the day's form (sleep, the hour, the keyboard) by several per cent as a whole, while within a
// sitting they scatter about that day's level; a test over answers takes every answer as
// independent and reads a good evening as progress (with 8 % of day-to-day form, one key in eleven
// of a learner who did not change). So drills that follow each other within SittingGapMs are one
// sitting, each window of the trend holds at least TrendSittings of them, and the test deals in
// sittings: every answer of both windows is ranked together (mid-ranks, so that a lapse weighs no
// more than any slow answer), each sitting gives the mean rank of its answers, and the two
// windows' sittings are compared by Student's t with pooled variance (a clustered rank-sum test).
// Two-sided, at p < 0.05.
//
// A change is told only when, besides, the later answers' median differs from the earlier ones'
// by at least MinNoticeableChange of it: with many sittings a 3 % shift becomes "significant",
// yet no learner can feel it. A tenth is about the least difference of durations near half a
// second that people tell apart, and well below the gains practice brings (a fifth and more).
//
// And the table shows some ninety keys at once: at 5 % each, a learner who did not change would
// see some key change in almost every look. The changes told are those that the
// Benjamini-Hochberg procedure over the keys with a trend keeps at a false discovery rate of 5 %,
// which also holds the chance of any false change in a look at 5 % for a learner without any.
// The rates measured over simulated learners are in docs/figures.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace touchdrill::figures {

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
};

enum class Trend { NoChange, Faster, Slower };

struct TrendResult {
    Trend trend = Trend::NoChange;
    double p = 1;
    // p adjusted for the keys tested with it (benjaminiHochberg()); p itself until then.
    double adjustedP = 1;
    std::size_t earlier = 0; // answers in each window
    std::size_t later = 0;
    std::size_t earlierSittings = 0; // sittings in each window
    std::size_t laterSittings = 0;
    double ratio = 1; // the later window's median over the earlier one's; 1 while either is empty
    // Whether both windows hold TrendWindow answers and TrendSittings sittings: a trend at all.
    bool enough = false;
};

// The least relative difference of the windows' medians that is told as a change.
inline constexpr double MinNoticeableChange = 0.10;

// The windows' medians and their ratio, and faster or slower when `p` < 0.05 and the medians
// differ by at least MinNoticeableChange in the same direction; no change otherwise.
TrendResult compareWindows(
    std::span<const uint32_t> earlier, std::span<const uint32_t> later, const RankTest& test);

// Answers in each window of the trend, at least...
inline constexpr std::size_t TrendWindow = 50;
// ... and sittings: the fewest that hold a false change at or below 5 % with the day's form
// moving a sitting's times by 8 % (docs/figures.md). A drill of many answers is a whole sitting's
// worth of them, but its form is still one day's.
inline constexpr std::size_t TrendSittings = 6;

// Answers of one sitting (of one key, in drills of one kind).
using Sitting = std::vector<uint32_t>;

// The clustered rank-sum test of the later sittings against the earlier ones; p = 1 with fewer
// than two sittings in all or none on a side.
RankTest sittingRankTest(std::span<const Sitting> earlier, std::span<const Sitting> later);

// The trend of one key from its answers in each sitting of one kind, oldest first: the later window
// is the latest sittings holding at least TrendWindow answers and TrendSittings sittings, the
// earlier window the sittings before, as many again (whole sittings, because a learner changes
// between sittings rather than within one; a bounded earlier window, because against months of
// history every key of a learner who improves would read faster for ever). Without enough sittings
// for both windows there is no trend (enough false), only the windows' sizes.
TrendResult keyTrend(std::span<const Sitting> sittingsOldestFirst);

// The distribution-free 95 % interval of the median of `values` (quantileRanks()); none for fewer
// than EnoughAnswers.
std::optional<Interval> medianInterval(std::vector<double> values);

// The 95 % interval of the p-quantile of times that come in sittings: between order statistics of
// the sittings' own p-quantiles, at the median of those (quantileRanks()), so that it widens with
// the day's form as it should. Distribution-free for the middle of what a sitting's quantile is,
// which is the key's quantile on a day of middling form; none with fewer than EnoughAnswers sittings
// that hold answers.
std::optional<Interval> sittingInterval(std::span<const Sitting> sittings, double p);

// The t beyond which Student's t with `df` degrees of freedom lies with probability `twoSided`
// on both sides together.
double studentCritical(double twoSided, double df);

// The z beyond which the standard normal lies with probability `oneSided`.
double normalCritical(double oneSided);

// Benjamini-Hochberg adjusted p-values, in the order given: a p-value's adjusted one below q
// rejects it at a false discovery rate of q.
std::vector<double> benjaminiHochberg(std::span<const double> p);

} // namespace touchdrill::figures
