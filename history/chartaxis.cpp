// SPDX-License-Identifier: GPL-3.0-or-later
// The chart's axes: round ticks, and a range that leaves out a point far from the rest.
#include "chartaxis.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace touchdrill::history {

namespace {

constexpr double Infinite = std::numeric_limits<double>::infinity();
// The share of the axis's length a far-off point may add before it is cut off instead.
constexpr double Slack = 0.25;
constexpr double MinAverageTop = 100;
constexpr double MaxAccuracyBottom = 0.8;

// k steps of `mantissa` times 10^exponent, worked out so that 17 steps of 0.05 give 0.85 and not
// 0.8500000000000001: the integer product is divided by the power of ten, which rounds once.
double multiple(double k, double mantissa, int exponent)
{
    return exponent >= 0 ? k * mantissa * std::pow(10.0, exponent) : k * mantissa / std::pow(10.0, -exponent);
}

double quartile(const std::vector<double>& sorted, double p)
{
    const double at = p * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(at));
    if (below + 1 >= sorted.size())
        return sorted.back();
    return sorted[below] + (at - static_cast<double>(below)) * (sorted[below + 1] - sorted[below]);
}

std::vector<double> finiteOnly(const std::vector<double>& values)
{
    std::vector<double> finite;
    std::copy_if(
        values.begin(), values.end(), std::back_inserter(finite), [](double v) { return std::isfinite(v); });
    return finite;
}

} // namespace

double ChartAxis::position(double value) const
{
    if (!(high > low))
        return 0;
    return std::clamp((value - low) / (high - low), 0.0, 1.0);
}

ChartAxis roundAxis(double low, double high)
{
    // Beyond what a double can span (no drill comes near) there is nothing sensible to show.
    if (!std::isfinite(high - low))
        return roundAxis(0, 1);
    if (high == low) {
        const double widen = low == 0 ? 1 : std::abs(low) / 10;
        low = low == 0 ? 0 : low - widen;
        high += widen;
    }
    // A step a hundredth of the span at most, so that the first one tried has too many ticks and
    // the first one that fits is the smallest that does.
    int exponent = static_cast<int>(std::floor(std::log10(high - low))) - 2;
    for (;; ++exponent) {
        for (const double mantissa : { 1.0, 2.0, 5.0 }) {
            const double step = multiple(1, mantissa, exponent);
            // A little tolerance, so that 1.0 over a step of 0.05 counts as 20 steps, not 21.
            const double first = std::floor(low / step + 1e-9);
            const double steps = std::ceil(high / step - 1e-9) - first;
            if (steps + 1 > MaxTicks)
                continue;
            ChartAxis axis;
            axis.step = step;
            for (int i = 0; i <= static_cast<int>(steps); ++i)
                axis.ticks.push_back(multiple(first + i, mantissa, exponent));
            axis.low = axis.ticks.front();
            axis.high = axis.ticks.back();
            return axis;
        }
    }
}

Fences tukeyFences(std::vector<double> values)
{
    values = finiteOnly(values);
    if (values.empty())
        return { -Infinite, Infinite };
    std::sort(values.begin(), values.end());
    const double q1 = quartile(values, 0.25);
    const double q3 = quartile(values, 0.75);
    return { q1 - 1.5 * (q3 - q1), q3 + 1.5 * (q3 - q1) };
}

ChartAxis averageAxis(const std::vector<double>& averagesMs)
{
    const std::vector<double> values = finiteOnly(averagesMs);
    const Fences fences = tukeyFences(values);
    double top = MinAverageTop;
    for (const double v : values)
        if (v <= fences.upper)
            top = std::max(top, v);
    const ChartAxis fitted = roundAxis(0, top);
    const double reach = fitted.high + Slack * (fitted.high - fitted.low);
    for (const double v : values)
        if (v <= reach)
            top = std::max(top, v);
    return roundAxis(0, top);
}

ChartAxis accuracyAxis(const std::vector<double>& accuracies)
{
    const std::vector<double> values = finiteOnly(accuracies);
    const Fences fences = tukeyFences(values);
    double bottom = MaxAccuracyBottom;
    for (const double v : values)
        if (v >= fences.lower)
            bottom = std::min(bottom, v);
    const ChartAxis fitted = roundAxis(std::max(bottom, 0.0), 1);
    const double reach = fitted.low - Slack * (fitted.high - fitted.low);
    for (const double v : values)
        if (v >= reach)
            bottom = std::min(bottom, v);
    return roundAxis(std::max(bottom, 0.0), 1);
}

} // namespace touchdrill::history
