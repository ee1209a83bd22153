// SPDX-License-Identifier: GPL-3.0-or-later
// The chart's axes: ticks at round steps, and a range that fits the bulk of the points so that one
// far-off drill does not squash the others into a flat line.
#pragma once

#include <vector>

namespace touchdrill::history {

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

} // namespace touchdrill::history
