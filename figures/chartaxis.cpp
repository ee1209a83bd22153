// SPDX-License-Identifier: GPL-3.0-or-later
// The chart's axes: round ticks, and a range that leaves out a point far from the rest.
#include "figures/chartaxis.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>

namespace touchdrill::figures {

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

namespace {

using Unit = TimeStep::Unit;

struct Civil {
    int year;
    int month; // 1..12
    int day;
    int minuteOfDay;
};

Civil civilOf(int64_t localMs)
{
    const int64_t day = dayOf(localMs);
    const std::chrono::year_month_day date { std::chrono::sys_days { std::chrono::days { day } } };
    return { static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
        static_cast<int>(static_cast<unsigned>(date.day())),
        static_cast<int>((localMs - day * MsPerDay) / MsPerMinute) };
}

int64_t localMsOfMonth(int64_t monthIndex) // months since year 0
{
    const std::chrono::year_month_day date { std::chrono::year { static_cast<int>(floorDiv(monthIndex, 12)) },
        std::chrono::month { static_cast<unsigned>(monthIndex - floorDiv(monthIndex, 12) * 12 + 1) },
        std::chrono::day { 1 } };
    return std::chrono::sys_days(date).time_since_epoch().count() * MsPerDay;
}

// The steps tried, smallest first. Minutes and hours divide a day, months a year, so that a tick
// falls at the start of each day or year it passes.
std::vector<TimeStep> steps()
{
    std::vector<TimeStep> all = { { Unit::Minute, 10 }, { Unit::Minute, 30 }, { Unit::Minute, 60 },
        { Unit::Minute, 120 }, { Unit::Minute, 180 }, { Unit::Minute, 360 }, { Unit::Minute, 720 },
        { Unit::Day, 1 }, { Unit::Day, 2 }, { Unit::Week, 1 }, { Unit::Week, 2 }, { Unit::Month, 1 },
        { Unit::Month, 2 }, { Unit::Month, 3 }, { Unit::Month, 6 } };
    for (int years = 1; years <= 10000; years *= 10)
        for (const int k : { 1, 2, 5 })
            all.push_back({ Unit::Year, k * years });
    return all;
}

// The ticks of one step from `from` to `to`, at most `limit` + 1 of them: enough to tell that the
// step is too small.
std::vector<int64_t> tickMoments(TimeStep step, int64_t from, int64_t to, std::size_t limit)
{
    std::vector<int64_t> ticks;
    auto add = [&](int64_t at) {
        if (at >= from && at <= to)
            ticks.push_back(at);
        return at <= to && ticks.size() <= limit;
    };
    switch (step.unit) {
    case Unit::Minute: {
        const int64_t every = step.count * MsPerMinute;
        for (int64_t at = -floorDiv(-from, every) * every; add(at); at += every) { }
        break;
    }
    case Unit::Day:
    case Unit::Week: {
        // Day 4 (1970-01-05) is a Monday; every other week counts from it.
        const int64_t every = step.unit == Unit::Week ? 7 * step.count : step.count;
        const int64_t offset = step.unit == Unit::Week ? 4 : 0;
        const int64_t firstDay = -floorDiv(-from, MsPerDay);
        const int64_t day = offset + (floorDiv(firstDay - offset + every - 1, every)) * every;
        for (int64_t d = day; add(d * MsPerDay); d += every) { }
        break;
    }
    case Unit::Month:
    case Unit::Year: {
        const Civil start = civilOf(from);
        const int64_t every = step.unit == Unit::Year ? 12LL * step.count : step.count;
        const int64_t month = int64_t(start.year) * 12 + start.month - 1;
        for (int64_t m = floorDiv(month, every) * every; add(localMsOfMonth(m)); m += every) { }
        break;
    }
    }
    return ticks;
}

std::string format(const char* pattern, int a, int b = 0, int c = 0)
{
    char text[48];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

std::string dateLabel(const Civil& at, bool withYear)
{
    return withYear ? format("%04d/%02d/%02d", at.year, at.month, at.day)
                    : format("%02d/%02d", at.month, at.day);
}

std::vector<std::string> labels(TimeStep step, const std::vector<int64_t>& ticks, bool crossesYear)
{
    std::vector<std::string> labels;
    Civil previous {};
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        const Civil at = civilOf(ticks[i]);
        const bool newYear = crossesYear && (i == 0 || at.year != previous.year);
        const bool newDay
            = i == 0 || at.year != previous.year || at.month != previous.month || at.day != previous.day;
        previous = at;
        switch (step.unit) {
        case Unit::Minute: {
            const std::string time = format("%02d:%02d", at.minuteOfDay / 60, at.minuteOfDay % 60);
            if (at.minuteOfDay == 0)
                labels.push_back(dateLabel(at, newYear));
            else
                labels.push_back(newDay ? dateLabel(at, newYear) + " " + time : time);
            break;
        }
        case Unit::Day:
        case Unit::Week:
            labels.push_back(dateLabel(at, newYear));
            break;
        case Unit::Month:
            labels.push_back(newYear ? format("%04d年%d月", at.year, at.month) : format("%d月", at.month));
            break;
        case Unit::Year:
            labels.push_back(format("%04d年", at.year));
            break;
        }
    }
    return labels;
}

// Whether every label stands clear of its neighbours, each centred under its tick.
bool labelsFit(const std::vector<int64_t>& ticks, const std::vector<std::string>& labels, int64_t from,
    int64_t to, double columns)
{
    const double span = static_cast<double>(std::max<int64_t>(1, to - from));
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        const double apart = static_cast<double>(ticks[i] - ticks[i - 1]) / span * columns;
        if (apart < (labelColumns(labels[i - 1]) + labelColumns(labels[i])) / 2.0 + 2)
            return false;
    }
    return true;
}

} // namespace

int labelColumns(const std::string& label)
{
    int columns = 0;
    for (const char c : label) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80)
            ++columns;
        else if (byte >= 0xC0) // the first byte of a character beyond ASCII
            columns += 2;
    }
    return columns;
}

TimeAxis timeAxis(int64_t fromLocalMs, int64_t toLocalMs, double columns)
{
    // Beyond the years a date can be written in there is nothing to label.
    constexpr int64_t Earliest = -62'167'219'200'000; // 0000-01-01
    constexpr int64_t Latest = 253'402'300'799'999; // 9999-12-31, the last moment
    const int64_t from = std::clamp(std::min(fromLocalMs, toLocalMs), Earliest, Latest);
    const int64_t to = std::clamp(std::max(fromLocalMs, toLocalMs), Earliest, Latest);
    const bool crossesYear = civilOf(from).year != civilOf(to).year;
    TimeAxis axis;
    for (const TimeStep step : steps()) {
        const std::vector<int64_t> ticks = tickMoments(step, from, to, MaxTicks);
        if (ticks.size() > static_cast<std::size_t>(MaxTicks))
            continue;
        const std::vector<std::string> text = labels(step, ticks, crossesYear);
        axis.step = step;
        axis.ticks.clear();
        for (std::size_t i = 0; i < ticks.size(); ++i)
            axis.ticks.push_back({ ticks[i], text[i] });
        if (labelsFit(ticks, text, from, to, columns))
            break;
    }
    return axis;
}

} // namespace touchdrill::figures
