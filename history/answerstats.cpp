// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/answerstats.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace touchdrill::history {

namespace {

// The largest k with P(B < k) <= tail for B ~ Binomial(n, p), 0 when even P(B = 0) exceeds it.
std::size_t lowerRank(std::size_t n, double p, double tail)
{
    const double q = 1 - p;
    const double nd = static_cast<double>(n);
    // Terms 12 standard deviations below the mean add up to far less than a double's precision of
    // the tail; starting there keeps a long history's figures quick.
    const double skip = std::floor(nd * p - 12 * std::sqrt(nd * p * q));
    std::size_t k = skip > 0 ? static_cast<std::size_t>(skip) : 0;
    const double kd = static_cast<double>(k);
    double term = std::exp(std::lgamma(nd + 1) - std::lgamma(kd + 1) - std::lgamma(nd - kd + 1)
        + kd * std::log(p) + (nd - kd) * std::log1p(-p));
    double below = 0; // P(B < k)
    while (k <= n && below + term <= tail) {
        below += term;
        term *= static_cast<double>(n - k) / static_cast<double>(k + 1) * p / q;
        ++k;
    }
    return k;
}

std::optional<Interval> between(std::span<const double> sorted, std::optional<Ranks> ranks)
{
    if (!ranks)
        return std::nullopt;
    return Interval { sorted[ranks->low - 1], sorted[ranks->high - 1] };
}

// P(U <= u) for the Mann-Whitney U of samples of m and n without ties: the number of orders of the
// m + n values with that U is the coefficient of q^U in the Gaussian binomial [m + n, n]_q, built
// up as the product of (1 - q^(m+i)) / (1 - q^i) for i = 1..n. Exact in 64 bits while
// C(m + n, n) < 2^62.
double exactAtMost(std::size_t m, std::size_t n, std::size_t u)
{
    std::vector<int64_t> counts(m * n + 1, 0);
    counts[0] = 1;
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t k = i * m; k >= m + i; --k) // times 1 - q^(m+i), degree at most i*m
            counts[k] -= counts[k - (m + i)];
        for (std::size_t k = i; k <= i * m; ++k) // over 1 - q^i
            counts[k] += counts[k - i];
    }
    int64_t total = 0, atMost = 0;
    for (std::size_t k = 0; k < counts.size(); ++k) {
        total += counts[k];
        if (k <= u)
            atMost += counts[k];
    }
    return static_cast<double>(atMost) / static_cast<double>(total);
}

// Exact p below this many answers in both windows together (C(50, 25) ~ 2^47), as is usual.
constexpr std::size_t ExactBelow = 50;

} // namespace

double quantile(std::span<const double> sorted, double p)
{
    const double at = p * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<std::size_t>(at);
    if (below + 1 >= sorted.size())
        return sorted.back();
    return sorted[below] + (at - static_cast<double>(below)) * (sorted[below + 1] - sorted[below]);
}

std::optional<Ranks> quantileRanks(std::size_t n, double p, double confidence)
{
    const double tail = (1 - confidence) / 2;
    const std::size_t low = lowerRank(n, p, tail);
    // Symmetrically, n - B ~ Binomial(n, 1 - p) counts the answers above the quantile.
    const std::size_t high = n + 1 - lowerRank(n, 1 - p, tail);
    if (low < 1 || high > n)
        return std::nullopt;
    return Ranks { low, high };
}

TimeFigures timeFigures(std::span<const uint32_t> ms)
{
    TimeFigures figures;
    figures.answers = ms.size();
    if (ms.empty())
        return figures;
    std::vector<double> sorted(ms.begin(), ms.end());
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();

    const double median = quantile(sorted, 0.5);
    figures.median = Estimate { median, between(sorted, quantileRanks(n, 0.5)) };
    figures.p90 = Estimate { quantile(sorted, 0.9), between(sorted, quantileRanks(n, 0.9)) };
    if (median <= 0)
        return figures;

    Estimate spread { (quantile(sorted, 0.75) - quantile(sorted, 0.25)) / median, std::nullopt };
    constexpr double EachOfThree = 1 - 0.05 / 3;
    const auto q1 = between(sorted, quantileRanks(n, 0.25, EachOfThree));
    const auto q2 = between(sorted, quantileRanks(n, 0.5, EachOfThree));
    const auto q3 = between(sorted, quantileRanks(n, 0.75, EachOfThree));
    if (q1 && q2 && q3 && q2->low > 0)
        spread.interval
            = Interval { std::max(0.0, q3->low - q1->high) / q2->high, (q3->high - q1->low) / q2->low };
    figures.spread = spread;
    return figures;
}

RankTest mannWhitney(std::span<const uint32_t> earlier, std::span<const uint32_t> later)
{
    RankTest test;
    const std::size_t m = earlier.size(), n = later.size(), all = m + n;
    if (m == 0 || n == 0)
        return test;
    std::vector<std::pair<uint32_t, bool>> values; // the time, and whether it is a later one
    values.reserve(all);
    for (const uint32_t v : earlier)
        values.emplace_back(v, false);
    for (const uint32_t v : later)
        values.emplace_back(v, true);
    std::sort(values.begin(), values.end());

    double laterRanks = 0, ties = 0; // ties: the sum of t^3 - t over groups of t equal values
    for (std::size_t i = 0; i < all;) {
        std::size_t j = i;
        std::size_t laterInGroup = 0;
        for (; j < all && values[j].first == values[i].first; ++j)
            laterInGroup += values[j].second;
        const double midRank = (static_cast<double>(i + 1) + static_cast<double>(j)) / 2;
        laterRanks += midRank * static_cast<double>(laterInGroup);
        const double t = static_cast<double>(j - i);
        ties += t * t * t - t;
        i = j;
    }
    const double md = static_cast<double>(m), nd = static_cast<double>(n), alld = static_cast<double>(all);
    const double u = laterRanks - nd * (nd + 1) / 2; // pairs in which the later answer is slower
    const double mean = md * nd / 2;
    test.laterLower = u < mean;

    if (ties == 0 && all < ExactBelow) {
        test.exact = true;
        // The distribution is symmetric: the tail beyond u on its far side is the one below the
        // mirror image.
        const auto nearer = static_cast<std::size_t>(std::min(u, md * nd - u));
        test.p = std::min(1.0, 2 * exactAtMost(m, n, nearer));
        return test;
    }
    const double variance = md * nd / 12 * (alld + 1 - ties / (alld * (alld - 1)));
    if (variance <= 0) // all equal
        return test;
    const double z = std::max(0.0, std::abs(u - mean) - 0.5) / std::sqrt(variance);
    test.p = std::erfc(z / std::numbers::sqrt2);
    return test;
}

TrendResult compareWindows(std::span<const uint32_t> earlier, std::span<const uint32_t> later)
{
    const RankTest test = mannWhitney(earlier, later);
    TrendResult result;
    result.p = test.p;
    result.earlier = earlier.size();
    result.later = later.size();
    if (earlier.empty() || later.empty())
        return result;
    const auto medianOf = [](std::span<const uint32_t> ms) {
        std::vector<double> sorted(ms.begin(), ms.end());
        std::sort(sorted.begin(), sorted.end());
        return quantile(sorted, 0.5);
    };
    const double earlierMedian = medianOf(earlier), laterMedian = medianOf(later);
    if (earlierMedian > 0)
        result.ratio = laterMedian / earlierMedian;
    else if (laterMedian > 0)
        result.ratio = std::numeric_limits<double>::infinity();
    if (test.p >= 0.05)
        return result;
    if (test.laterLower && result.ratio <= 1 - MinNoticeableChange)
        result.trend = Trend::Faster;
    else if (!test.laterLower && result.ratio >= 1 + MinNoticeableChange)
        result.trend = Trend::Slower;
    return result;
}

TrendResult keyTrend(std::span<const std::vector<uint32_t>> drillsOldestFirst)
{
    std::vector<uint32_t> later, earlier;
    std::size_t d = drillsOldestFirst.size();
    for (; d > 0 && later.size() < TrendWindow; --d)
        later.insert(later.end(), drillsOldestFirst[d - 1].begin(), drillsOldestFirst[d - 1].end());
    for (; d > 0 && earlier.size() < TrendWindow; --d)
        earlier.insert(earlier.end(), drillsOldestFirst[d - 1].begin(), drillsOldestFirst[d - 1].end());
    return compareWindows(earlier, later);
}

} // namespace touchdrill::history
