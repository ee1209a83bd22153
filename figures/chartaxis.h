// SPDX-License-Identifier: GPL-3.0-or-later
// The chart's axes: ticks at round steps, and a range that fits the bulk of the points so that one
// far-off drill does not squash the others into a flat line; the time axis under them, with ticks at
// round moments of the learner's calendar.
#pragma once

#include "drill/calendar.h"

#include <cstdint>
#include <string>
#include <vector>

namespace touchdrill::figures {

// An axis from `low` to `high`, with a tick every `step` from low to high, both ends included.
struct ChartAxis {
    double low = 0;
    double high = 1;
    double step = 1;
    std::vector<double> ticks;

    // Where the value lies from low (0) to high (1), held to 0..1: a value beyond the axis is
    // drawn at its edge.
    double position(double value) const;
    bool cuts(double value) const { return value > high || value < low; }
};

// At most this many ticks on an axis; roundAxis() gives at least 4.
inline constexpr int MaxTicks = 8;

// The axis with the smallest step of 1, 2 or 5 times a power of ten that covers low..high
// (low <= high), from the step at or below `low` to the one at or above `high`, in at most MaxTicks
// ticks. An empty range is widened to a tenth of its value on either side (to 0..1 at zero).
ChartAxis roundAxis(double low, double high);

// Tukey's fences: 1.5 interquartile ranges below the lower quartile and above the upper one, the
// quartiles taken by linear interpolation between the sorted values. Beyond them a value is far
// from the rest. Non-finite values are left out; without values the fences are infinite.
struct Fences {
    double lower;
    double upper;
};
Fences tukeyFences(std::vector<double> values);

// The response-time axis in milliseconds: from 0 up to at least 100 ms and to every point but those
// cut off. A point is cut off when it lies above the upper fence and further above the axis
// fitted to the others than a quarter of that axis: only then would showing it squash them.
ChartAxis averageAxis(const std::vector<double>& averagesMs);
// The accuracy axis, 0..1: up to 1, from at most 0.8 down to every point but those cut off by
// the same rule below the lower fence.
ChartAxis accuracyAxis(const std::vector<double>& accuracies);

// The time axis works on the learner's wall clock: milliseconds since 1970-01-01 00:00 as that clock
// reads them (the UTC time plus the offset from UTC in force), so that a day starts at a multiple of
// a day and the calendar needs no time zone. The view turns them into UTC and back.

// A step of the time axis: `count` minutes (which divide a day), days, weeks (from a Monday), months
// or years, each tick at the start of its unit.
struct TimeStep {
    enum class Unit { Minute, Day, Week, Month, Year };
    Unit unit = Unit::Day;
    int count = 1;
    bool operator==(const TimeStep&) const = default;
};

struct TimeTick {
    int64_t localMs = 0;
    std::string label; // UTF-8
};

struct TimeAxis {
    TimeStep step;
    std::vector<TimeTick> ticks;
};

// A label's width in widths of a digit, near enough to keep labels apart: a character beyond ASCII
// (年, 月) counts as two.
int labelColumns(const std::string& label);

// The ticks of the time axis from `fromLocalMs` to `toLocalMs` on a chart `columns` digits wide: the
// smallest step from 10 minutes to thousands of years whose labels stand side by side with a gap of
// two digits, in at most MaxTicks ticks. Labels are 「HH:mm」 and 「MM/dd」, 「M月」 or 「yyyy年」
// by the step; when the axis runs into another year, the first label and the first of each year
// carry the year (「yyyy/MM/dd」, 「yyyy年M月」), and below a day the first label and the first of
// each day carry the date.
TimeAxis timeAxis(int64_t fromLocalMs, int64_t toLocalMs, double columns);

// Days without practice from which the line between two points is dashed: one rest day keeps it
// solid, a longer break shows as a break.
inline constexpr int64_t GapDays = 2;
constexpr bool practiceGap(int64_t day, int64_t nextDay)
{
    return nextDay - day - 1 >= GapDays;
}

} // namespace touchdrill::figures
