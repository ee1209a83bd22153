// SPDX-License-Identifier: GPL-3.0-or-later
// The chart's axes: round ticks from tiny ranges to huge ones, ranges that fit the points rather
// than one far-off drill, and the time axis's steps and labels.
#include "figures/chartaxis.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

using namespace touchdrill;
using namespace touchdrill::figures;

namespace {

// What every axis keeps to: a handful of ticks, one step apart, each 1, 2 or 5 times a power of ten.
void expectRoundTicks(const ChartAxis& axis)
{
    ASSERT_GE(axis.ticks.size(), 4u);
    ASSERT_LE(axis.ticks.size(), static_cast<std::size_t>(MaxTicks));
    EXPECT_EQ(axis.ticks.front(), axis.low);
    EXPECT_EQ(axis.ticks.back(), axis.high);
    for (std::size_t i = 1; i < axis.ticks.size(); ++i)
        EXPECT_NEAR(axis.ticks[i] - axis.ticks[i - 1], axis.step, axis.step * 1e-9) << "tick " << i;
    const double mantissa = axis.step / std::pow(10.0, std::floor(std::log10(axis.step) + 1e-9));
    EXPECT_TRUE(
        std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9 || std::abs(mantissa - 5) < 1e-9)
        << "step " << axis.step;
}

} // namespace

TEST(ChartAxis, roundTicks)
{
    struct Row {
        const char* name;
        double low, high;
        double axisLow, axisHigh, step;
    };
    const Row table[] = {
        { "0 to 1250 ms: steps of 200, not quarters of the top", 0, 1250, 0, 1400, 200 },
        { "an exact fit keeps its top", 0, 1000, 0, 1000, 200 },
        { "tiny", 0, 0.003, 0, 0.003, 0.0005 },
        { "huge", 0, 4.2e9, 0, 5e9, 1e9 },
        { "80-100 %: whole fives", 0.8, 1, 0.8, 1, 0.05 },
        { "77-100 %: down to 75", 0.77, 1, 0.75, 1, 0.05 },
        { "all equal: a tenth either side", 500, 500, 440, 560, 20 },
        { "all zero: 0 to 1", 0, 0, 0, 1, 0.2 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const ChartAxis axis = roundAxis(row.low, row.high);
        EXPECT_DOUBLE_EQ(axis.low, row.axisLow);
        EXPECT_DOUBLE_EQ(axis.high, row.axisHigh);
        EXPECT_DOUBLE_EQ(axis.step, row.step);
        expectRoundTicks(axis);
    }
}

TEST(ChartAxis, rangeFitsThePointsNotOneFarOff)
{
    struct Row {
        const char* name;
        bool accuracy; // else milliseconds
        std::vector<double> values;
        double end; // the top of a time axis, the bottom of an accuracy axis
        std::vector<double> cut;
    };
    const Row table[] = {
        { "one slow drill among 1000-1500 ms is cut off", false,
            { 1000, 1100, 1200, 1250, 1300, 1400, 1500, 5000 }, 1500, { 5000 } },
        { "a slow drill within a quarter more of the axis is shown", false,
            { 1000, 1100, 1200, 1250, 1300, 1400, 1500, 1850 }, 2000, {} },
        { "two far drills among twelve are both cut off", false,
            { 1000, 1050, 1100, 1150, 1200, 1250, 1300, 1350, 1400, 1450, 6000, 9000 }, 1500,
            { 6000, 9000 } },
        { "of two drills neither is far from the rest", false, { 500, 5000 }, 5000, {} },
        { "a single drill", false, { 730 }, 800, {} },
        { "all equal", false, { 400, 400, 400, 400, 400 }, 400, {} },
        { "all equal but one a little slower", false, { 1000, 1000, 1000, 1000, 1000, 1000, 1001 }, 1200,
            {} },
        { "faster than 100 ms: still 100 ms high", false, { 20, 40 }, 100, {} },
        { "no drill", false, {}, 100, {} },
        { "90-100 %: 80 % stays at the bottom", true, { 0.92, 0.95, 0.97, 1.0 }, 0.8, {} },
        { "one careless drill among good ones is cut off", true, { 0.95, 0.96, 0.97, 0.3, 0.98, 0.99, 1.0 },
            0.8, { 0.3 } },
        { "a drill just under 80 % is shown", true, { 0.95, 0.96, 0.97, 0.78, 0.98, 0.99, 1.0 }, 0.75, {} },
        { "inaccurate throughout: down to them", true, { 0.4, 0.5, 0.45, 0.55 }, 0.4, {} },
        { "a single drill at 0 %", true, { 0 }, 0, {} },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const ChartAxis axis = row.accuracy ? accuracyAxis(row.values) : averageAxis(row.values);
        EXPECT_DOUBLE_EQ(row.accuracy ? axis.low : axis.high, row.end);
        EXPECT_EQ(row.accuracy ? axis.high : axis.low, row.accuracy ? 1.0 : 0.0);
        std::vector<double> cut;
        for (const double v : row.values)
            if (axis.cuts(v))
                cut.push_back(v);
        EXPECT_EQ(cut, row.cut);
        expectRoundTicks(axis);
    }
}

namespace {

// A moment on the learner's clock.
int64_t at(int year, unsigned month, unsigned day, int hour = 0, int minute = 0)
{
    const std::chrono::sys_days date { std::chrono::year_month_day {
        std::chrono::year { year }, std::chrono::month { month }, std::chrono::day { day } } };
    return (int64_t(date.time_since_epoch().count()) * 24 * 60 + hour * 60 + minute) * MsPerMinute;
}

} // namespace

TEST(ChartAxis, timeTicksAtRoundMomentsWithTheYearWhereItChanges)
{
    using Unit = TimeStep::Unit;
    struct Row {
        const char* name;
        int64_t from, to;
        double columns;
        TimeStep step;
        std::vector<std::string> labels;
    };
    const Row table[] = {
        { "7 days: every midnight", at(2026, 12, 1), at(2026, 12, 7, 18), 80, { Unit::Day, 1 },
            { "12/01", "12/02", "12/03", "12/04", "12/05", "12/06", "12/07" } },
        { "7 days on a narrow chart: every other day", at(2026, 12, 1), at(2026, 12, 7, 18), 30,
            { Unit::Day, 2 }, { "12/01", "12/03", "12/05", "12/07" } },
        { "30 days: Mondays", at(2026, 11, 8), at(2026, 12, 7, 18), 80, { Unit::Week, 1 },
            { "11/09", "11/16", "11/23", "11/30", "12/07" } },
        { "a year from December: the year at the first label", at(2025, 12, 8), at(2026, 12, 7, 18), 80,
            { Unit::Month, 2 }, { "2026年1月", "3月", "5月", "7月", "9月", "11月" } },
        { "two years: quarters, the year at each January", at(2024, 12, 1), at(2026, 12, 7), 80,
            { Unit::Month, 3 }, { "2025年1月", "4月", "7月", "10月", "2026年1月", "4月", "7月", "10月" } },
        { "a week over new year: days with years", at(2026, 12, 28), at(2027, 1, 3, 12), 100,
            { Unit::Day, 1 }, { "2026/12/28", "12/29", "12/30", "12/31", "2027/01/01", "01/02", "01/03" } },
        { "a decade: every other year", at(2016, 3, 1), at(2026, 12, 7), 80, { Unit::Year, 2 },
            { "2018年", "2020年", "2022年", "2024年", "2026年" } },
        { "an hour of drills: ten minutes, the date first", at(2026, 12, 7, 10), at(2026, 12, 7, 11), 80,
            { Unit::Minute, 10 }, { "12/07 10:00", "10:10", "10:20", "10:30", "10:40", "10:50", "11:00" } },
        { "a night: the date at midnight", at(2026, 12, 6, 20), at(2026, 12, 7, 4), 80, { Unit::Minute, 120 },
            { "12/06 20:00", "22:00", "12/07", "02:00", "04:00" } },
        { "a clock set far off: held to the years a date can be written in", INT64_MIN, INT64_MAX, 80,
            { Unit::Year, 2000 }, { "0000年", "2000年", "4000年", "6000年", "8000年" } },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const TimeAxis axis = timeAxis(row.from, row.to, row.columns);
        EXPECT_EQ(axis.step, row.step);
        std::vector<std::string> labels;
        for (std::size_t i = 0; i < axis.ticks.size(); ++i) {
            labels.push_back(axis.ticks[i].label);
            EXPECT_GE(axis.ticks[i].localMs, row.from);
            EXPECT_LE(axis.ticks[i].localMs, row.to);
            if (i > 0) {
                EXPECT_GT(axis.ticks[i].localMs, axis.ticks[i - 1].localMs);
            }
        }
        EXPECT_EQ(labels, row.labels);
    }
    // The ticks fall at the start of their days.
    EXPECT_EQ(timeAxis(at(2026, 11, 8), at(2026, 12, 7, 18), 80).ticks.front().localMs, at(2026, 11, 9));
}
