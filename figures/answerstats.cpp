// SPDX-License-Identifier: GPL-3.0-or-later
#include "figures/answerstats.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace touchdrill::figures {

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

// The regularized incomplete beta function I_x(a, b), by its continued fraction (modified Lentz),
// taken on the side where it converges quickly.
double incompleteBeta(double a, double b, double x)
{
    if (x <= 0)
        return 0;
    if (x >= 1)
        return 1;
    if (x > (a + 1) / (a + b + 2))
        return 1 - incompleteBeta(b, a, 1 - x);
    constexpr double Tiny = 1e-300;
    const double front = std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x)
                             + b * std::log1p(-x))
        / a;
    double c = 1, d = 1 - (a + b) * x / (a + 1);
    d = 1 / (std::abs(d) < Tiny ? Tiny : d);
    double f = d;
    for (int m = 1; m <= 300; ++m) {
        for (const bool even : { true, false }) {
            const double md = m;
            const double numerator = even ? md * (b - md) * x / ((a + 2 * md - 1) * (a + 2 * md))
                                          : -(a + md) * (a + b + md) * x / ((a + 2 * md) * (a + 2 * md + 1));
            d = 1 + numerator * d;
            d = 1 / (std::abs(d) < Tiny ? Tiny : d);
            c = 1 + numerator / c;
            c = std::abs(c) < Tiny ? Tiny : c;
            f *= c * d;
        }
        if (std::abs(c * d - 1) < 1e-12)
            break;
    }
    return front * f;
}

// P(|T| >= t) for Student's t with `df` degrees of freedom.
double studentTwoSided(double t, double df)
{
    return incompleteBeta(df / 2, 0.5, df / (df + t * t));
}

double medianOf(std::span<const uint32_t> ms)
{
    std::vector<double> sorted(ms.begin(), ms.end());
    std::sort(sorted.begin(), sorted.end());
    return quantile(sorted, 0.5);
}

// The answers of whole sittings, from the newest back, until both TrendWindow answers and
// TrendSittings sittings are in; `end` is one past the window's newest sitting, and becomes its
// oldest.
std::span<const Sitting> windowBefore(
    std::span<const Sitting> sittings, std::size_t& end, std::size_t& answers)
{
    const std::size_t last = end;
    answers = 0;
    while (end > 0 && (answers < TrendWindow || last - end < TrendSittings))
        answers += sittings[--end].size();
    return sittings.subspan(end, last - end);
}

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

RankTest sittingRankTest(std::span<const Sitting> earlier, std::span<const Sitting> later)
{
    RankTest test;
    if (earlier.empty() || later.empty() || earlier.size() + later.size() < 3)
        return test;
    // Every answer, with its sitting (earlier ones first), ranked together.
    std::vector<std::pair<uint32_t, uint32_t>> values;
    std::vector<std::size_t> sizes;
    for (const auto window : { earlier, later })
        for (const Sitting& sitting : window) {
            for (const uint32_t ms : sitting)
                values.emplace_back(ms, static_cast<uint32_t>(sizes.size()));
            sizes.push_back(sitting.size());
        }
    std::sort(values.begin(), values.end());
    std::vector<double> rankSums(sizes.size(), 0);
    for (std::size_t i = 0; i < values.size();) {
        std::size_t j = i;
        while (j < values.size() && values[j].first == values[i].first)
            ++j;
        const double midRank = (static_cast<double>(i + 1) + static_cast<double>(j)) / 2;
        for (; i < j; ++i)
            rankSums[values[i].second] += midRank;
    }
    // Each sitting's mean rank; a sitting without answers says nothing.
    double sum[2] = {}, squares[2] = {};
    std::size_t count[2] = {};
    for (std::size_t s = 0; s < sizes.size(); ++s) {
        if (sizes[s] == 0)
            continue;
        const std::size_t side = s >= earlier.size();
        const double mean = rankSums[s] / static_cast<double>(sizes[s]);
        sum[side] += mean;
        squares[side] += mean * mean;
        ++count[side];
    }
    if (count[0] == 0 || count[1] == 0 || count[0] + count[1] < 3)
        return test;
    const double n0 = static_cast<double>(count[0]), n1 = static_cast<double>(count[1]);
    const double mean0 = sum[0] / n0, mean1 = sum[1] / n1;
    const double df = n0 + n1 - 2;
    const double pooled = (squares[0] - n0 * mean0 * mean0 + squares[1] - n1 * mean1 * mean1) / df;
    test.laterLower = mean1 < mean0;
    if (!(pooled > 0)) { // each window's sittings rank alike: certain, unless both rank the same
        test.p = mean0 == mean1 ? 1 : 0;
        return test;
    }
    const double t = (mean1 - mean0) / std::sqrt(pooled * (1 / n0 + 1 / n1));
    test.p = std::min(1.0, studentTwoSided(t, df));
    return test;
}

TrendResult compareWindows(
    std::span<const uint32_t> earlier, std::span<const uint32_t> later, const RankTest& test)
{
    TrendResult result;
    result.p = result.adjustedP = test.p;
    result.earlier = earlier.size();
    result.later = later.size();
    if (earlier.empty() || later.empty())
        return result;
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

TrendResult keyTrend(std::span<const Sitting> sittingsOldestFirst)
{
    std::size_t end = sittingsOldestFirst.size(), laterAnswers = 0, earlierAnswers = 0;
    const auto later = windowBefore(sittingsOldestFirst, end, laterAnswers);
    const auto earlier = windowBefore(sittingsOldestFirst, end, earlierAnswers);
    const bool enough = laterAnswers >= TrendWindow && later.size() >= TrendSittings
        && earlierAnswers >= TrendWindow && earlier.size() >= TrendSittings;
    const auto joined = [](std::span<const Sitting> window, std::size_t answers) {
        std::vector<uint32_t> all;
        all.reserve(answers);
        for (const Sitting& sitting : window)
            all.insert(all.end(), sitting.begin(), sitting.end());
        return all;
    };
    TrendResult result = compareWindows(joined(earlier, earlierAnswers), joined(later, laterAnswers),
        enough ? sittingRankTest(earlier, later) : RankTest {});
    result.earlierSittings = earlier.size();
    result.laterSittings = later.size();
    result.enough = enough;
    return result;
}

std::optional<Interval> sittingInterval(std::span<const Sitting> sittings, double p)
{
    std::vector<double> quantiles, sorted;
    for (const Sitting& sitting : sittings) {
        if (sitting.empty())
            continue;
        sorted.assign(sitting.begin(), sitting.end());
        std::sort(sorted.begin(), sorted.end());
        // Hyndman and Fan's 8th definition, nearly median-unbiased for any distribution: the
        // interval is of the middle of the sittings' quantiles, and the usual definition reads a
        // small sitting's 90th percentile low.
        const double at = std::clamp((static_cast<double>(sorted.size()) + 1.0 / 3) * p + 1.0 / 3, 1.0,
                              static_cast<double>(sorted.size()))
            - 1;
        const auto below = static_cast<std::size_t>(at);
        quantiles.push_back(below + 1 < sorted.size()
                ? sorted[below] + (at - static_cast<double>(below)) * (sorted[below + 1] - sorted[below])
                : sorted.back());
    }
    return medianInterval(std::move(quantiles));
}

std::optional<Interval> medianInterval(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return between(values, quantileRanks(values.size(), 0.5));
}

double studentCritical(double twoSided, double df)
{
    double low = 0, high = 1;
    while (studentTwoSided(high, df) > twoSided)
        high *= 2;
    for (int i = 0; i < 60; ++i) {
        const double middle = (low + high) / 2;
        (studentTwoSided(middle, df) > twoSided ? low : high) = middle;
    }
    return high;
}

double normalCritical(double oneSided)
{
    double low = -40, high = 40;
    for (int i = 0; i < 100; ++i) {
        const double middle = (low + high) / 2;
        (0.5 * std::erfc(middle / std::numbers::sqrt2) > oneSided ? low : high) = middle;
    }
    return high;
}

std::vector<double> benjaminiHochberg(std::span<const double> p)
{
    std::vector<std::size_t> order(p.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return p[a] < p[b]; });
    std::vector<double> adjusted(p.size());
    double least = 1; // the running minimum from the largest p down
    for (std::size_t k = order.size(); k-- > 0;) {
        least = std::min(least, p[order[k]] * static_cast<double>(p.size()) / static_cast<double>(k + 1));
        adjusted[order[k]] = least;
    }
    return adjusted;
}

} // namespace touchdrill::figures
