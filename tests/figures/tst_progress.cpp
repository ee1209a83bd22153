// SPDX-License-Identifier: GPL-3.0-or-later
// The progress window's figures: series per drill and per day, per-character summaries, the
// weighted pool of weak keys and the colour scale.
#include "figures/progressfigures.h"
#include "figures/weakkeys.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace touchdrill;
using namespace touchdrill::history;
using namespace touchdrill::figures;

namespace {

constexpr int64_t Hour = 60LL * 60 * 1000;
constexpr int64_t Day = 24 * Hour;
constexpr int64_t Dec1 = 1796083200000LL; // 2026-12-01 00:00 UTC

KeyRecord key(unsigned char code, uint32_t hits, uint32_t totalMs, uint32_t wrong = 0,
    std::map<unsigned char, uint32_t> wrongKeys = {})
{
    return { code, hits, totalMs, wrong, std::move(wrongKeys) };
}

DrillRecord drill(int64_t startedUtcMs, std::vector<KeyRecord> keys)
{
    DrillRecord record;
    record.startedUtcMs = startedUtcMs;
    record.endedUtcMs = startedUtcMs + 60000;
    record.rows = "h";
    record.keys = std::move(keys);
    return record;
}

// The series and the summaries of a tally of every drill, of every kind.
Series progressSeries(const std::vector<DrillRecord>& drills, unsigned char code,
    const DayOf& dayOf = utcDayOf, std::size_t perDayThreshold = PerDayThreshold)
{
    ProgressTally tally;
    tally.add(drills);
    return tally.series(code, dayOf, perDayThreshold);
}

std::vector<KeySummary> keySummaries(const std::vector<DrillRecord>& drills, const BestTimes& best)
{
    ProgressTally tally;
    tally.add(drills);
    return tally.summaries(best);
}

// One drill per entry, an hour apart, each with the one character 'a'.
std::vector<DrillRecord> drillsOfA(const std::vector<KeyRecord>& entries)
{
    std::vector<DrillRecord> drills;
    for (std::size_t i = 0; i < entries.size(); ++i)
        drills.push_back(drill(Dec1 + static_cast<int64_t>(i) * Hour, { entries[i] }));
    return drills;
}

struct Point {
    uint32_t drills;
    uint64_t hits;
    uint64_t totalMs;
    uint64_t wrong;
};

void expectPoints(const Series& series, const std::vector<Point>& expected)
{
    ASSERT_EQ(series.points.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("point " + std::to_string(i));
        EXPECT_EQ(series.points[i].drills, expected[i].drills);
        EXPECT_EQ(series.points[i].hits, expected[i].hits);
        EXPECT_EQ(series.points[i].totalMs, expected[i].totalMs);
        EXPECT_EQ(series.points[i].wrong, expected[i].wrong);
    }
}

} // namespace

TEST(Progress, seriesPerDrillOrPerDay)
{
    const std::vector<DrillRecord> twoDrills = {
        drill(Dec1, { key('a', 2, 800, 1), key('s', 1, 300) }),
        drill(Dec1 + Hour, { key('s', 3, 600, 2, { { 'd', 2 } }) }),
    };
    // Three drills over two UTC days; in UTC+9 the first two fall on one day and the last on the next.
    const std::vector<DrillRecord> overMidnight = {
        drill(Dec1 + 14 * Hour, { key('a', 1, 100) }),
        drill(Dec1 + 16 * Hour, { key('a', 1, 200) }),
        drill(Dec1 + Day + 10 * Hour, { key('a', 1, 400) }),
    };
    const DayOf tokyo = [](int64_t ms) { return utcDayOf(ms + 9 * Hour); };
    // Starts beyond any date shown, from a clock set far off or a damaged file, side by side.
    auto startedAt = [](int64_t ms, uint32_t totalMs) {
        DrillRecord d = drill(Dec1, { key('a', 1, totalMs) });
        d.startedUtcMs = ms;
        return d;
    };
    const std::vector<DrillRecord> unknownDates = {
        startedAt(Dec1, 100),
        startedAt(INT64_MIN, 200),
        startedAt(LatestKnownUtcMs + 1, 300),
        startedAt(INT64_MAX, 400),
        startedAt(Dec1 + Hour, 500),
    };

    struct Row {
        const char* name;
        const std::vector<DrillRecord>* drills;
        unsigned char code;
        std::size_t threshold;
        DayOf dayOf;
        bool perDay;
        std::vector<Point> expected;
    };
    const Row table[] = {
        { "all characters add up each drill", &twoDrills, AllCharacters, 60, utcDayOf, false,
            { { 1, 3, 1100, 1 }, { 1, 3, 600, 2 } } },
        { "one character leaves out drills without it", &twoDrills, 'a', 60, utcDayOf, false,
            { { 1, 2, 800, 1 } } },
        { "a character absent from every drill has no points", &twoDrills, 'z', 60, utcDayOf, false, {} },
        { "at the threshold each drill is a point", &overMidnight, 'a', 3, utcDayOf, false,
            { { 1, 1, 100, 0 }, { 1, 1, 200, 0 }, { 1, 1, 400, 0 } } },
        { "over the threshold, one point per UTC day", &overMidnight, 'a', 2, utcDayOf, true,
            { { 2, 2, 300, 0 }, { 1, 1, 400, 0 } } },
        { "days follow the time zone the dates are shown in", &overMidnight, 'a', 2, tokyo, true,
            { { 1, 1, 100, 0 }, { 2, 2, 600, 0 } } },
        { "unknown dates side by side make one point", &unknownDates, 'a', 2, utcDayOf, true,
            { { 1, 1, 100, 0 }, { 3, 3, 900, 0 }, { 1, 1, 500, 0 } } },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const Series series = progressSeries(*row.drills, row.code, row.dayOf, row.threshold);
        EXPECT_EQ(series.perDay, row.perDay);
        expectPoints(series, row.expected);
    }

    const Series tokyoDays = progressSeries(overMidnight, 'a', tokyo, 2);
    ASSERT_EQ(tokyoDays.points.size(), 2u);
    EXPECT_EQ(tokyoDays.points[1].firstStartedUtcMs, Dec1 + 16 * Hour);
    EXPECT_EQ(tokyoDays.points[1].lastStartedUtcMs, Dec1 + Day + 10 * Hour);
}

// On a time axis: the drills of a period, in the order they started, those of unknown date last.
TEST(Progress, seriesOnATimeAxis)
{
    auto startedAt = [](int64_t ms, uint32_t totalMs) { return drill(ms, { key('a', 1, totalMs) }); };
    // The clock was put back an hour and a day between the second drill and the third.
    const std::vector<DrillRecord> clockPutBack = {
        startedAt(Dec1 + 2 * Day, 100),
        startedAt(Dec1 + 2 * Day + Hour, 200),
        startedAt(Dec1 + Day, 300),
        startedAt(INT64_MIN, 400),
        startedAt(Dec1 + 2 * Day + 2 * Hour, 500),
    };
    struct Row {
        const char* name;
        int64_t from, to;
        std::size_t threshold;
        bool perDay;
        std::vector<Point> expected;
    };
    const Row table[] = {
        { "every drill, by the time it started", INT64_MIN, 0, 60, false,
            { { 1, 1, 300, 0 }, { 1, 1, 100, 0 }, { 1, 1, 200, 0 }, { 1, 1, 500, 0 }, { 1, 1, 400, 0 } } },
        { "per day, a day's drills together across the clock's change", INT64_MIN, 0, 4, true,
            { { 1, 1, 300, 0 }, { 3, 3, 800, 0 }, { 1, 1, 400, 0 } } },
        { "a period: from its start, without the unknown date", Dec1 + 2 * Day, Dec1 + 3 * Day, 60, false,
            { { 1, 1, 100, 0 }, { 1, 1, 200, 0 }, { 1, 1, 500, 0 } } },
        { "the threshold counts the period's drills", Dec1 + 2 * Day, Dec1 + 3 * Day, 3, false,
            { { 1, 1, 100, 0 }, { 1, 1, 200, 0 }, { 1, 1, 500, 0 } } },
        { "a week: each drill", Dec1 - 4 * Day, Dec1 + 3 * Day - 1, 60, false,
            { { 1, 1, 300, 0 }, { 1, 1, 100, 0 }, { 1, 1, 200, 0 }, { 1, 1, 500, 0 } } },
        { "eight days: a point per day", Dec1 - 4 * Day, Dec1 + 3 * Day, 60, true,
            { { 1, 1, 300, 0 }, { 3, 3, 800, 0 } } },
        { "a period after every drill", Dec1 + 3 * Day, Dec1 + 4 * Day, 60, false, {} },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const Series series = timeSeries(
            progressSeries(clockPutBack, 'a', utcDayOf, SIZE_MAX), row.from, row.to, utcDayOf, row.threshold);
        EXPECT_EQ(series.perDay, row.perDay);
        expectPoints(series, row.expected);
    }
    // Every drill over more than a week: a point per day.
    std::vector<DrillRecord> apart = clockPutBack;
    apart.front().startedUtcMs = Dec1 - 6 * Day;
    const Series days = timeSeries(progressSeries(apart, 'a', utcDayOf, SIZE_MAX), INT64_MIN, 0);
    EXPECT_TRUE(days.perDay);
    EXPECT_EQ(days.points.size(), 4u);
}

TEST(Progress, pointAverageAndAccuracy)
{
    struct Row {
        const char* name;
        SeriesPoint point;
        std::optional<double> average;
        std::optional<double> accuracy;
    };
    const Row table[] = {
        { "answers and wrong keys", { 0, 0, 1, 4, 2000, 1 }, 500.0, 0.8 },
        { "wrong keys only", { 0, 0, 1, 0, 0, 3 }, std::nullopt, 0.0 },
        { "nothing at all", {}, std::nullopt, std::nullopt },
        { "totals beyond 32 bits", { 0, 0, 1, 2, 10000000000ULL, 0 }, 5000000000.0, 1.0 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.point.averageMs(), row.average);
        EXPECT_EQ(row.point.accuracy(), row.accuracy);
    }
}

TEST(Progress, utcDayCountsFromTheEpochDownwards)
{
    EXPECT_EQ(utcDayOf(0), 0);
    EXPECT_EQ(utcDayOf(Day - 1), 0);
    EXPECT_EQ(utcDayOf(Day), 1);
    EXPECT_EQ(utcDayOf(-1), -1);
    EXPECT_EQ(utcDayOf(-Day), -1);
    EXPECT_EQ(utcDayOf(-Day - 1), -2);
    EXPECT_EQ(utcDayOf(EarliestKnownUtcMs), -719'528); // 0000-01-01
    EXPECT_EQ(utcDayOf(LatestKnownUtcMs), 2'932'896); // 9999-12-31
    for (const int64_t unknown : { INT64_MIN, EarliestKnownUtcMs - 1, LatestKnownUtcMs + 1, INT64_MAX })
        EXPECT_EQ(utcDayOf(unknown), UnknownDay) << unknown;
}

TEST(Progress, keySummaryOfOneCharacter)
{
    auto times = [](std::initializer_list<uint32_t> averages) {
        std::vector<KeyRecord> entries;
        for (uint32_t average : averages)
            entries.push_back(key('a', 1, average));
        return entries;
    };
    struct Row {
        const char* name;
        std::vector<KeyRecord> entries;
        std::optional<double> recentMs;
        std::optional<double> accuracy;
        std::optional<double> trendMs;
        std::optional<uint64_t> earlierAnswers = std::nullopt; // not checked when not given
    };
    const Row table[] = {
        { "one drill: recent, no trend", times({ 400 }), 400.0, 1.0, std::nullopt, 0 },
        { "five drills: all recent, still no trend", times({ 100, 200, 300, 400, 500 }), 300.0, 1.0,
            std::nullopt },
        { "seven drills: the last five against the two before", times({ 600, 800, 500, 500, 500, 500, 500 }),
            500.0, 1.0, -200.0 },
        { "twelve drills: the two oldest count for nothing",
            times({ 9000, 9000, 400, 400, 400, 400, 400, 300, 300, 300, 300, 300 }), 300.0, 1.0, -100.0 },
        { "slower lately: the trend is positive", times({ 300, 300, 300, 300, 300, 350, 350, 350, 350, 350 }),
            350.0, 1.0, 50.0 },
        { "answers weigh, not drills", { key('a', 1, 1000), key('a', 9, 900) }, 190.0, 1.0, std::nullopt },
        { "accuracy over the recent drills only",
            { key('a', 1, 100, 9), key('a', 3, 300, 1), key('a', 1, 100), key('a', 1, 100), key('a', 1, 100),
                key('a', 1, 100) },
            100.0, 7.0 / 8.0, 0.0, 10 },
        { "recent drills with wrong keys only: no average, accuracy 0",
            { key('a', 2, 800), key('a', 0, 0, 1), key('a', 0, 0, 1), key('a', 0, 0, 1), key('a', 0, 0, 2),
                key('a', 0, 0, 1) },
            std::nullopt, 0.0, std::nullopt },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const std::vector<KeySummary> summaries = keySummaries(drillsOfA(row.entries), BestTimes {});
        ASSERT_EQ(summaries.size(), 1u);
        const KeySummary& s = summaries[0];
        EXPECT_EQ(s.code, 'a');
        EXPECT_EQ(s.drills, row.entries.size());
        EXPECT_EQ(s.recentMs.has_value(), row.recentMs.has_value());
        if (s.recentMs && row.recentMs) {
            EXPECT_DOUBLE_EQ(*s.recentMs, *row.recentMs);
        }
        ASSERT_TRUE(s.accuracy);
        EXPECT_DOUBLE_EQ(*s.accuracy, *row.accuracy);
        EXPECT_EQ(s.trendMs.has_value(), row.trendMs.has_value());
        if (s.trendMs && row.trendMs) {
            EXPECT_DOUBLE_EQ(*s.trendMs, *row.trendMs);
        }
        if (row.earlierAnswers) {
            EXPECT_EQ(s.earlierAnswers, *row.earlierAnswers);
        }
    }
}

TEST(Progress, keySummariesAcrossCharacters)
{
    BestTimes best {};
    best['a' - FirstCode] = 350;
    best['z' - FirstCode] = 999; // a best from before the history began: no summary without drills
    const std::vector<DrillRecord> drills = {
        drill(Dec1, { key('a', 2, 800, 3, { { 's', 2 }, { 'q', 1 } }), key('s', 1, 300, 1, { { 'a', 1 } }) }),
        drill(Dec1 + Hour, { key('a', 1, 400, 3, { { 'd', 2 }, { 'q', 1 } }) }),
        drill(Dec1 + 2 * Hour, { key('~', 1, 900), key('!', 0, 0, 2, { { '1', 2 } }) }),
    };
    const std::vector<KeySummary> summaries = keySummaries(drills, best);
    ASSERT_EQ(summaries.size(), 4u);

    struct Row {
        const char* name;
        std::size_t index;
        unsigned char code;
        uint32_t drills;
        std::optional<uint32_t> bestMs;
        unsigned char topWrongKey;
        uint64_t topWrongCount;
    };
    const Row table[] = {
        { "a target that was never answered is listed", 0, '!', 1, std::nullopt, '1', 2 },
        { "counts over the whole history; on a tie the lower code", 1, 'a', 2, 350, 'd', 2 },
        { "one wrong key", 2, 's', 1, std::nullopt, 'a', 1 },
        { "no wrong key at all", 3, '~', 1, std::nullopt, 0, 0 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const KeySummary& s = summaries[row.index];
        EXPECT_EQ(s.code, row.code);
        EXPECT_EQ(s.drills, row.drills);
        EXPECT_EQ(s.bestMs, row.bestMs);
        EXPECT_EQ(s.topWrongKey, row.topWrongKey);
        EXPECT_EQ(s.topWrongCount, row.topWrongCount);
    }
    EXPECT_TRUE(keySummaries({}, best).empty());
}

TEST(Progress, heatScale)
{
    // The bounds hold still whatever the history holds: a key changes colour only when its own
    // time does.
    const HeatScale average = averageScale();

    struct Row {
        const char* name;
        HeatScale scale;
        double value;
        double position;
    };
    const Row table[] = {
        { "250 ms and faster is the good end", average, 180.0, 0.0 },
        { "each doubling is a quarter", average, 500.0, 0.25 },
        { "halfway is 1,000 ms", average, 1000.0, 0.5 },
        { "a capital's 2,600 ms lies by its ratio", average, 2600.0, 0.75 + std::log2(1.3) / 4 },
        { "beyond the slowest is held at the end", average, 9000.0, 1.0 },
        { "no time at all is good, not a failure", average, 0.0, 0.0 },
        { "full accuracy is good", accuracyScale(), 1.0, 0.0 },
        { "90 % is halfway", accuracyScale(), 0.9, 0.5 },
        { "below 80 % is held at the end", accuracyScale(), 0.3, 1.0 },
        { "an empty scale is all good", { 300, 300 }, 900.0, 0.0 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_NEAR(row.scale.position(row.value), row.position, 1e-9);
    }

    // What the legend writes under its steps: times double from step to step.
    const double steps[LegendSteps] = { 250, 500, 1000, 2000, 4000 };
    for (int i = 0; i < LegendSteps; ++i)
        EXPECT_NEAR(average.valueAt(i / (LegendSteps - 1.0)), steps[i], 1e-9);
    EXPECT_NEAR(accuracyScale().valueAt(0.25), 0.95, 1e-9);

    // A key's place on the keyboard: plain below the answers its figures need.
    const auto key = [](uint64_t hits, uint64_t wrong, std::optional<double> ms, bool kept = true) {
        KeySummary k;
        k.recentHits = hits;
        k.recentWrong = wrong;
        k.answersKept = kept;
        if (kept) {
            k.times.answers = hits;
            if (ms)
                k.times.median = Estimate { *ms, std::nullopt };
        } else {
            k.recentMs = ms;
        }
        if (hits + wrong > 0)
            k.accuracy = static_cast<double>(hits) / static_cast<double>(hits + wrong);
        return k;
    };
    struct KeyRow {
        const char* name;
        KeySummary key;
        HeatMeasure measure;
        std::optional<double> position;
    };
    const KeyRow keys[] = {
        { "enough answers: by its median", key(EnoughAnswers, 0, 1000.0), HeatMeasure::Average, 0.5 },
        { "one answer short: plain", key(EnoughAnswers - 1, 1, 1000.0), HeatMeasure::Average, std::nullopt },
        { "wrong keys are no times", key(EnoughAnswers - 1, MinAnswers, 500.0), HeatMeasure::Average,
            std::nullopt },
        { "drills from before answers were kept: plain, not guessed from the average",
            key(MinAnswers, 0, 1000.0, false), HeatMeasure::Average, std::nullopt },
        { "only wrong keys lately: the slow end", key(0, MinAnswers, std::nullopt), HeatMeasure::Average,
            1.0 },
        { "accuracy from enough answers", key(18, 2, 500.0), HeatMeasure::Accuracy, 0.5 },
        { "accuracy from too few: plain", key(9, 1, 500.0), HeatMeasure::Accuracy, std::nullopt },
        { "never the target: plain", key(0, 0, std::nullopt), HeatMeasure::Accuracy, std::nullopt },
    };
    for (const KeyRow& row : keys) {
        SCOPED_TRACE(row.name);
        const std::optional<double> position = heatPosition(row.key, row.measure);
        ASSERT_EQ(position.has_value(), row.position.has_value());
        if (position) {
            EXPECT_NEAR(*position, *row.position, 1e-9);
        }
    }
}

TEST(Progress, tallyTakesDrillsInBatchesAsTheyAreRecorded)
{
    std::vector<DrillRecord> first;
    std::vector<DrillRecord> second;
    for (int i = 0; i < 8; ++i) {
        DrillRecord d = drill(Dec1 + i * Hour, { key('a', 1, 100u + 10u * static_cast<uint32_t>(i)) });
        d.id = 10 + i;
        if (i % 2)
            d.keys.push_back(key('s', 1, 300));
        (i < 5 ? first : second).push_back(d);
    }
    ProgressTally tally;
    tally.add(first);
    EXPECT_EQ(tally.lastId(), 14);
    tally.add(second);
    EXPECT_EQ(tally.drillCount(), 8u);
    EXPECT_EQ(tally.lastId(), 17);

    // The later batch's drills keep their own times, not those of the first batch's drills.
    const Series s = tally.series('s');
    ASSERT_EQ(s.points.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(s.points[i].firstStartedUtcMs, Dec1 + static_cast<int64_t>(2 * i + 1) * Hour) << i;
    const std::vector<KeySummary> summaries = tally.summaries(BestTimes {});
    ASSERT_EQ(summaries.size(), 2u);
    EXPECT_DOUBLE_EQ(*summaries[0].recentMs, 150.0); // drills 4 to 8: 130..170
    EXPECT_DOUBLE_EQ(*summaries[0].trendMs, 150.0 - 110.0);
}

TEST(Progress, kindsAreNamedAsTheLearnerTickedThem)
{
    const std::pair<const char*, const char*> table[] = {
        { "h", "中段" },
        { "uhl", "上段・中段・下段" },
        { "nuhlsc", "数字段・上段・中段・下段・記号・大文字入り" },
        { "weak", "苦手なキー" },
        { "", "種類不明" },
        { "hx", "中段・x" }, // a letter no check box has
        { "pairs", "苦手な組み合わせ" },
        { "finger:right-little", "指: 右手の小指" },
        { "finger:left-index", "指: 左手の人差し指" },
        // Written otherwise by hand: not the finger drill, whose drills must be one kind.
        { "finger:LEFT-INDEX", "f・i・数字段・g・e・r・:・L・E・F・T・-・I・N・D・E・X" },
    };
    for (const auto& [rows, name] : table)
        EXPECT_EQ(kindName(rows), name) << rows;
}

TEST(Progress, theWindowOpensOnTheKindPractisedMostLately)
{
    const int64_t now = Dec1 + 40 * Day;
    struct Row {
        const char* name;
        std::vector<std::pair<const char*, int64_t>> drills; // rows, days before now
        KindChoice expected;
    };
    const Row table[] = {
        { "no drills: every kind", {}, std::nullopt },
        { "lately beats overall",
            { { "h", 30 }, { "h", 20 }, { "h", 15 }, { "uhl", 3 }, { "h", 2 }, { "uhl", 1 } }, "uhl" },
        { "a tie lately goes to the one practised last",
            { { "h", 5 }, { "uhl", 4 }, { "uhl", 3 }, { "h", 2 } }, "h" },
        { "nothing lately: the one practised last", { { "h", 30 }, { "h", 29 }, { "weak", 20 } }, "weak" },
        { "fourteen days back still counts", { { "h", 14 }, { "h", 14 }, { "uhl", 1 } }, "h" },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        ProgressTally tally;
        for (const auto& [rows, daysBefore] : row.drills) {
            DrillRecord d = drill(now - daysBefore * Day, { key('a', 1, 100) });
            d.rows = rows;
            tally.add(d);
        }
        EXPECT_EQ(tally.defaultKind(now), row.expected);
    }
}

TEST(Progress, figuresCompareDrillsOfOneKindOnly)
{
    // 'a' in drills of the home row at 300 ms and of three rows at 600 ms, oldest first.
    auto drills = [](const std::string& kinds) {
        std::vector<DrillRecord> list;
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            const bool home = kinds[i] == 'h';
            DrillRecord d = drill(Dec1 + static_cast<int64_t>(i) * Hour, { key('a', 1, home ? 300 : 600) });
            d.id = static_cast<int64_t>(i) + 1;
            d.rows = home ? "h" : "uhl";
            list.push_back(d);
        }
        return list;
    };
    struct Row {
        const char* name;
        std::string kinds; // one letter per drill: h home row, t three rows
        KindChoice chosen;
        std::optional<std::string> kind; // of the summary; nullopt for none
        std::optional<double> recentMs;
        std::optional<double> trendMs;
        std::size_t points; // of the chart of every character
    };
    const Row table[] = {
        { "the chosen kind alone: no jump where the rows were added", "hhhhhhtttt", "h", "h", 300.0, 0.0, 6 },
        { "the other kind", "hhhhhhtttt", "uhl", "uhl", 600.0, std::nullopt, 4 },
        { "every kind: the kind of most of its latest drills", "ttthhhhhhh", std::nullopt, "h", 300.0, 0.0,
            10 },
        { "every kind, a tie: the kind practised last, never a mixed trend", "hhhhhttttt", std::nullopt,
            "uhl", 600.0, std::nullopt, 10 },
        { "a kind not among its last ten drills: no summary", "hhtttttttttt", "h", std::nullopt, std::nullopt,
            std::nullopt, 2 },
        { "a kind never practised", "hhh", "weak", std::nullopt, std::nullopt, std::nullopt, 0 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        ProgressTally tally;
        tally.add(drills(row.kinds));
        tally.chooseKind(row.chosen);
        const std::vector<KeySummary> summaries = tally.summaries(BestTimes {});
        EXPECT_EQ(tally.series(AllCharacters).points.size(), row.points);
        ASSERT_EQ(summaries.size(), row.kind ? 1u : 0u);
        if (summaries.empty())
            continue;
        EXPECT_EQ(summaries[0].kind, *row.kind);
        EXPECT_EQ(summaries[0].drills, row.kinds.size()); // of every kind
        EXPECT_EQ(summaries[0].recentMs, row.recentMs);
        EXPECT_EQ(summaries[0].trendMs, row.trendMs);
        EXPECT_EQ(tally.series('a').points.size(), row.points);
    }
}

namespace {

// A drill of `rows` with `count` answers of 'a' at `ms` to `ms` + 4 ms in turn; with `unanswered`,
// one more target 'a' left without its right key when the drill ended.
DrillRecord answeredDrill(
    int64_t id, const std::string& rows, uint32_t count, uint32_t ms, bool unanswered = false)
{
    DrillRecord d = drill(Dec1 + id * Hour, {});
    d.id = id;
    d.rows = rows;
    d.answers.emplace();
    KeyRecord a = key('a', 0, 0);
    for (uint32_t i = 0; i < count; ++i) {
        d.answers->push_back({ 'a', 0, ms + i % 5, {}, true });
        ++a.hits;
        a.totalMs += ms + i % 5;
    }
    if (unanswered) {
        d.answers->push_back({ 'a', 0, 0, { { 's', 900 } }, false });
        ++a.wrong;
    }
    d.keys.push_back(a);
    return d;
}

DrillRecord oldDrill(int64_t id, uint32_t ms)
{
    DrillRecord d = drill(Dec1 + id * Hour, { key('a', 10, 10 * ms) });
    d.id = id;
    return d;
}

} // namespace

TEST(Progress, keyTimesComeFromTheAnswersOfOneKind)
{
    struct Row {
        const char* name;
        std::vector<DrillRecord> drills;
        KindChoice chosen;
        bool answersKept;
        std::size_t answers;
        std::optional<double> median;
        Trend trend;
        std::size_t earlier, later;
        std::optional<double> accuracy = std::nullopt;
    };
    std::vector<DrillRecord> alternating { answeredDrill(1, "h", 10, 400, true) };
    for (int64_t id = 2; id <= 10; ++id)
        alternating.push_back(answeredDrill(id, "uhl", 10, 900));
    alternating.push_back(answeredDrill(11, "h", 10, 400));
    // Six drills an hour apart at `ms` and six more at `then`, each its own sitting or, `minutes`
    // apart, in sittings of two.
    const auto twelve = [](uint32_t ms, uint32_t then, int64_t minutes = 60) {
        std::vector<DrillRecord> drills;
        for (int64_t id = 1; id <= 12; ++id) {
            drills.push_back(answeredDrill(id, "h", 30, id <= 6 ? ms : then));
            drills.back().startedUtcMs = Dec1 + id * Hour + (id % 2 ? 0 : minutes * 60'000 - Hour);
            drills.back().endedUtcMs = drills.back().startedUtcMs;
        }
        return drills;
    };
    const Row table[] = {
        { "over the latest six sittings, against as many before", twelve(300, 600), "h", true, 180, 602.0,
            Trend::Slower, 180, 180 },
        { "drills ten minutes apart are one sitting: too few for a trend", twelve(300, 600, 10), "h", true,
            360, 452.0, Trend::NoChange, 0, 360 },
        { "drills from before answers were kept add nothing",
            { oldDrill(1, 900), oldDrill(2, 900), answeredDrill(3, "h", 10, 400) }, "h", true, 10, 402.0,
            Trend::NoChange, 0, 10 },
        { "only drills from before answers were kept: unknown, not guessed",
            { oldDrill(1, 900), oldDrill(2, 900) }, "h", false, 0, std::nullopt, Trend::NoChange, 0, 0 },
        { "answers of another kind are left out",
            { answeredDrill(1, "h", 20, 300), answeredDrill(2, "uhl", 40, 900),
                answeredDrill(3, "h", 20, 300) },
            "h", true, 40, 302.0, Trend::NoChange, 0, 40 },
        { "every kind: the kind of most of its drills",
            { answeredDrill(1, "uhl", 20, 900), answeredDrill(2, "h", 20, 300),
                answeredDrill(3, "h", 20, 300) },
            std::nullopt, true, 40, 302.0, Trend::NoChange, 0, 40 },
        { "alternating kinds: the accuracy of the same answers as the times", alternating, "h", true, 20,
            402.0, Trend::NoChange, 0, 20, 20.0 / 21 },
        { "a target left unanswered at the end has no time", { answeredDrill(1, "h", 10, 400, true) }, "h",
            true, 10, 402.0, Trend::NoChange, 0, 10 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        ProgressTally tally;
        tally.add(row.drills);
        tally.chooseKind(row.chosen);
        const std::vector<KeySummary> summaries = tally.summaries(BestTimes {});
        ASSERT_EQ(summaries.size(), 1u);
        const KeySummary& a = summaries[0];
        EXPECT_EQ(a.answersKept, row.answersKept);
        EXPECT_EQ(a.times.answers, row.answers);
        EXPECT_EQ(a.medianMs(), row.median);
        EXPECT_EQ(a.trend.trend, row.trend);
        EXPECT_EQ(a.trend.earlier, row.earlier);
        EXPECT_EQ(a.trend.later, row.later);
        if (row.accuracy) {
            EXPECT_DOUBLE_EQ(*a.accuracy, *row.accuracy);
        }
    }
}

// The window reads a digest: each character's latest drills with their times, and the latest
// drills that kept answers. Its figures are those of every drill added, and stay so when the
// character's chart fills in all its drills.
TEST(Progress, aLoadedTallyHasTheFiguresOfEveryDrill)
{
    std::vector<DrillRecord> drills;
    for (int64_t id = 1; id <= 30; ++id)
        drills.push_back(id <= 3 ? oldDrill(id, 700) : answeredDrill(id, "h", 8, id < 24 ? 500 : 420));
    ProgressTally whole;
    whole.add(drills);

    HistoryDigest digest;
    std::vector<KeyDrill> all;
    for (const DrillRecord& d : drills) {
        digest.drills.push_back(drillTotalsOf(d));
        KeyDrill k { d.keys[0], d.id, std::nullopt };
        if (d.answers) {
            k.answerMs.emplace();
            for (const Answer& answer : *d.answers)
                k.answerMs->push_back(answer.ms);
        }
        all.push_back(k);
    }
    // The answers of the drills from 12 on, overlapping the latest ten of 'a'; one of a drill the
    // digest does not list is passed over.
    for (const DrillRecord& d : drills)
        if (d.id >= 12)
            digest.answers.push_back({ d.id, *d.answers });
    digest.answers.push_back({ 99, *drills.back().answers });
    digest.keys.push_back({ 'a', 30, { all.end() - LatestDrills, all.end() } });

    ProgressTally loaded;
    loaded.load(digest);
    const KeySummary expected = whole.summaries(BestTimes {})[0];
    ASSERT_EQ(expected.trend.trend, Trend::Faster); // windows of 7 drills each reach past the latest ten
    for (const bool filled : { false, true }) {
        SCOPED_TRACE(filled ? "filled" : "loaded");
        if (filled)
            loaded.fillKey('a', all);
        const KeySummary a = loaded.summaries(BestTimes {})[0];
        EXPECT_EQ(a.times.answers, expected.times.answers);
        EXPECT_EQ(a.medianMs(), expected.medianMs());
        EXPECT_EQ(a.trend.trend, expected.trend.trend);
        EXPECT_EQ(a.trend.earlier, expected.trend.earlier);
        EXPECT_EQ(a.trend.later, expected.trend.later);
    }
    // The latest drill's times both in its entry and among the answers count once.
    HistoryDigest latestTwice = digest;
    latestTwice.answers = { { drills.back().id, *drills.back().answers } };
    ProgressTally twice;
    twice.load(latestTwice);
    EXPECT_EQ(twice.series('a').points.back().answerMs, *all.back().answerMs);

    const Series series = loaded.series('a');
    ASSERT_EQ(series.points.size(), 30u);
    EXPECT_FALSE(series.points[0].answersKept);
    EXPECT_FALSE(series.points[0].quartiles());
    EXPECT_EQ(series.points[3].answerMs, all[3].answerMs);
}

TEST(Progress, aCharactersChartMarksNewBestsOfSittingsOfOneKind)
{
    // A drill an hour after the one before (a sitting of its own) of 'a' `answers` times at `ms`
    // and 's' 30 times at `others`, the rest of the drill that gives its form.
    struct Drill {
        const char* rows;
        uint32_t answers, ms, others;
        bool newBest;
    };
    const Drill drills[] = {
        { "h", 12, 500, 500, false }, // three sittings before there is a level to beat
        { "h", 12, 500, 500, false },
        { "h", 12, 500, 500, false },
        { "h", 12, 450, 500, true },
        { "h", NewBestAnswers - 1, 300, 500, false }, // faster, but too few answers
        { "h", 12, 490, 500, false },
        { "uhl", 12, 800, 500, false }, // another kind has its own best
        { "uhl", 12, 800, 500, false },
        { "uhl", 12, 800, 500, false },
        { "uhl", 12, 600, 500, true },
        { "h", 12, 420, 420, false }, // a good evening: every character faster at once
        // Within the spread that the sittings' levels have shown.
        { "h", NewBestAnswers, 380, 500, false },
    };
    std::vector<DrillRecord> records;
    for (const Drill& d : drills) {
        records.push_back(answeredDrill(static_cast<int64_t>(records.size()) + 1, d.rows, d.answers, d.ms));
        KeyRecord others = key('s', 30, 30 * d.others);
        for (int i = 0; i < 30; ++i)
            records.back().answers->push_back({ 's', 0, d.others, {}, true });
        records.back().keys.push_back(others);
    }
    ProgressTally tally;
    tally.add(records);
    const Series series = tally.series('a', utcDayOf, SIZE_MAX);
    ASSERT_EQ(series.points.size(), std::size(drills));
    for (std::size_t i = 0; i < std::size(drills); ++i)
        EXPECT_EQ(series.points[i].newBest, drills[i].newBest) << i;
    // 500..504 in turn, 12 of them: the quartiles interpolate between neighbours.
    const auto quartiles = series.points[0].quartiles();
    ASSERT_TRUE(quartiles);
    EXPECT_DOUBLE_EQ(quartiles->low, 500.75);
    EXPECT_DOUBLE_EQ(quartiles->median, 501.5);
    EXPECT_DOUBLE_EQ(quartiles->high, 503.0);

    // A day's point holds its drills' answers and their marks.
    const Series days = tally.series('a', utcDayOf, 1);
    ASSERT_EQ(days.points.size(), 1u);
    EXPECT_TRUE(days.points[0].newBest);
    EXPECT_EQ(days.points[0].answerMs.size(), 12u * 10 + 2 * NewBestAnswers - 1);
}
