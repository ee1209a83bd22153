// SPDX-License-Identifier: GPL-3.0-or-later
// What the progress window shows, computed from the recorded drills: the series over time, a
// summary per character and the pool of weak keys to practise.
#pragma once

#include "drill/keystats.h"
#include "figures/answerstats.h"
#include "history/drillrecord.h"
#include "history/historydigest.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace touchdrill::figures {

// The records the figures are worked out from, as the history keeps and reads them.
using history::Answer;
using history::Confusion;
using history::CountsSum;
using history::DrillAnswers;
using history::DrillRecord;
using history::DrillTotals;
using history::HistoryDigest;
using history::isKnownTime;
using history::KeyCounts;
using history::KeyDigest;
using history::KeyDrill;
using history::KeyRecord;
using history::LatestDrills;
using history::MostAnswerDrillsPerKind;
using history::RecentDrills;
using history::sameSitting;
using history::sittingsOf;

// A chart of more drills than this shows one point per day: about as many points as a chart a
// few hundred pixels wide can still tell apart.
inline constexpr std::size_t PerDayThreshold = 60;
// 0 as a character filter: every character of each drill.
inline constexpr unsigned char AllCharacters = 0;

// One point of the chart: one drill, or every drill of one day.
// Its counts are its drills' added up.
struct SeriesPoint : CountsSum {
    SeriesPoint() = default;
    SeriesPoint(int64_t firstStartedUtcMs, int64_t lastStartedUtcMs, uint32_t drills, CountsSum counts)
        : CountsSum(counts)
        , firstStartedUtcMs(firstStartedUtcMs)
        , lastStartedUtcMs(lastStartedUtcMs)
        , drills(drills)
    {
    }
    SeriesPoint(int64_t firstStartedUtcMs, int64_t lastStartedUtcMs, uint32_t drills, uint64_t hits,
        uint64_t totalMs, uint64_t wrong)
        : SeriesPoint(firstStartedUtcMs, lastStartedUtcMs, drills, { hits, totalMs, wrong })
    {
    }

    int64_t firstStartedUtcMs = 0; // start of the point's first drill
    int64_t lastStartedUtcMs = 0; // start of its last drill
    uint32_t drills = 0;
    // In a character's series: the milliseconds of its right keys in those of the point's drills
    // that kept answers, and whether any did. Empty in the series of every character.
    std::vector<uint32_t> answerMs;
    bool answersKept = false;
    // In a character's series: whether one of the point's drills set a new best (newBestOf()).
    bool newBest = false;

    struct Quartiles {
        double low = 0; // the lower quartile
        double median = 0;
        double high = 0; // the upper quartile
    };
    // Of answerMs; nullopt without any.
    std::optional<Quartiles> quartiles() const;
};

struct Series {
    bool perDay = false;
    std::vector<SeriesPoint> points; // oldest first
};

// The day a moment falls on, as a day count, in whatever time zone the caller shows dates in;
// UnknownDay for a moment whose date is unknown (see isKnownTime()), so that such drills side by
// side make one point of their own.
using DayOf = std::function<int64_t(int64_t utcMs)>;
inline constexpr int64_t UnknownDay = INT64_MIN;
int64_t utcDayOf(int64_t utcMs);

// On a time axis a day is too narrow for a session's drills side by side once the axis covers more
// than a week of days (at the window's size, a day is then under a seventh of the chart, some 80
// pixels): beyond it, one point per day.
inline constexpr int64_t PerDrillDays = 7;

// The chart's series on a time axis, from a series of one point per drill (perDayThreshold
// SIZE_MAX): the drills that started at or after `fromUtcMs`, in the order they started, on an axis
// up to `toUtcMs`; with `fromUtcMs` INT64_MIN every drill, those of unknown date last, on an axis
// from the first to the last. The drills of each day are added up into one point, as in
// ProgressTally::series(), when there are more than `perDayThreshold` of them or the axis covers more than
// PerDrillDays days (by dayOf).
Series timeSeries(Series drills, int64_t fromUtcMs, int64_t toUtcMs, const DayOf& dayOf = utcDayOf,
    std::size_t perDayThreshold = PerDayThreshold);

// The answers (hits and wrong keys while it was the target) a character needs in its recent drills
// before its accuracy and its average of old say anything about it: 20 answers hold an accuracy of
// 95 % to about 5 points, and an average of times that scatter by 0.4 of themselves to about 10 %.
// The response times have their own rule: their figures need EnoughAnswers answers, from which
// the median has its interval, which says itself how far it can be trusted.
inline constexpr uint64_t MinAnswers = 20;

// A drill sets a new best of a character in the progress window only with at least this many
// answers of it, and only when its median lies credibly below the character's best level so far
// in its kind, measured against the drill's own form. A character's level in a sitting is its
// median over the average of every answer of the sitting's drills (on a log scale, its median
// less the day's form); its best level is the lowest median of the levels of BestSittings
// sittings in a row; and a drill is credibly below it when the difference exceeds what chance
// gives in NewBestChance of drills: Student's t over the spread of the sittings' levels, with the
// drill's own sampling (its median's interval) added. A drill merely below every earlier one's
// median is mostly the luckiest of them, a record of noise, and a good evening makes every
// character faster at once. The best-times file and the main window's mark keep their own rule.
inline constexpr std::size_t NewBestAnswers = 10;
inline constexpr std::size_t BestSittings = 3;
inline constexpr double NewBestChance = 0.025;

// A kind of drill is the rows it was drawn from, as recorded (DrillRecord::rows: "h", "uhl",
// "weak"). Reaction times grow with the number of characters a drill may bring, so only drills of
// one kind are compared with each other.
//
// The kind's name as the learner ticked it (UTF-8): the check boxes' captions, joined by 「・」, or
// 「苦手なキー」, 「苦手な組み合わせ」, 「指: 右手の小指」 (fingermap.h's rows). A letter no check box has
// stands for itself; a drill with no rows recorded is 「種類不明」.
std::string kindName(const std::string& rows);

// The kind shown: one recorded rows value, or nullopt for every kind (「すべて」).
using KindChoice = std::optional<std::string>;

// How often a kind was practised.
struct KindCount {
    std::string rows;
    uint32_t drills = 0;
    uint32_t lately = 0; // drills started within DefaultKindDays before the moment asked about
    std::size_t lastDrill = 0; // order of its latest drill among all drills: higher is more recent
};

// The kind the window opens on is the one practised most within this many days.
inline constexpr int64_t DefaultKindDays = 14;

// Everything the window says about one character.
struct KeySummary {
    unsigned char code = 0;
    uint32_t drills = 0; // drills in which it was the target
    // Over its last RecentDrills drills: the answers' total milliseconds over their number (so a
    // drill with many answers counts for more than one with a single answer), and the accuracy.
    // Where its drills of the kind kept answers, the hits, wrong keys and accuracy are instead those
    // of the answers its time figures come from, so that every figure speaks of the same sittings
    // (and a learner who alternates kinds still has them).
    uint64_t recentHits = 0;
    uint64_t recentWrong = 0;
    std::optional<double> recentMs; // nullopt when those drills have no hit
    std::optional<double> accuracy; // recentHits / (recentHits + recentWrong)
    // recentMs minus the same average over the RecentDrills drills before those; below zero is
    // faster. nullopt without a hit in both.
    std::optional<double> trendMs;
    uint64_t earlierAnswers = 0; // hits and wrong keys in the drills trendMs compares against
    std::optional<uint32_t> bestMs; // from the best-times file; none yet: nullopt
    // The wrong key typed most often while this was the target, over the whole history (the lower
    // code on a tie); 0 and 0 when there was none.
    unsigned char topWrongKey = 0;
    uint64_t topWrongCount = 0;
    // The kind of drill its recent and earlier figures come from.
    std::string kind;

    // Its response times in the drills of that kind that kept answers: the median, the 90th
    // percentile and the spread over its latest drills holding at least TrendWindow answers
    // between them (all there are, with fewer), and the trend of those answers against the ones
    // of the drills before (keyTrend()). Drills recorded before answers were kept add nothing.
    TimeFigures times;
    TrendResult trend;
    // How far the log of its median may be off by its answers' sampling alone (the standard error,
    // from the median's distribution-free interval over the answers): the day's form is left out,
    // being the same for every character of a sitting. Infinite without that interval.
    double medianLogError = 0;
    // Whether any of its drills of that kind kept answers; false when all of them predate that,
    // and its times are unknown rather than missing.
    bool answersKept = false;

    uint64_t recentAnswers() const { return recentHits + recentWrong; }
    std::optional<double> medianMs() const
    {
        return times.median ? std::optional(times.median->value) : std::nullopt;
    }
    // Whether its time figures say anything: its median has its interval (EnoughAnswers answers),
    // or it was never answered in drills that kept answers, with at least that many wrong keys
    // lately. Without, the character is neither ranked nor drilled as a weak key.
    bool enoughAnswers() const
    {
        return times.answers >= EnoughAnswers
            || (answersKept && times.answers == 0 && recentHits == 0 && recentWrong >= EnoughAnswers);
    }
    // Whether recentMs and accuracy rest on at least MinAnswers answers.
    bool enoughForAccuracy() const { return recentAnswers() >= MinAnswers; }
    // Whether both windows the trend compares hold enough answers and sittings for it.
    bool enoughForTrend() const { return trend.enough; }
};

// The figures of every drill added so far, kept per drill and per character, so that a drill more
// costs its own characters only and a summary looks at each character's last drills only. The
// drills come oldest first.
//
// A tally can also start from a history's digest: every drill's totals, but of each character
// only its latest drills, which is all its summary needs. Its series then needs every drill of
// the character, handed in by fillKey() once it is chosen.
class ProgressTally {
public:
    void add(const DrillRecord& drill);
    void add(const std::vector<DrillRecord>& drills);
    // Starts afresh from the digest; drills recorded after it are add()ed as usual.
    // Its drills are taken, not copied: a million of them are tens of MB.
    void load(HistoryDigest digest);
    // Whether every drill of the character is known, as series() needs (true for AllCharacters).
    bool knowsAllDrillsOf(unsigned char code) const;
    // Every drill of the character up to lastId(), oldest first, in place of those known so far.
    // Drills not known to the tally are left out.
    void fillKey(unsigned char code, const std::vector<KeyDrill>& drills);

    std::size_t drillCount() const { return m_drills.size(); }
    // The drills of the period chosen, of any kind.
    std::size_t drillsInPeriod() const;
    int64_t lastId() const { return m_lastId; } // the highest id added; 0 before any
    // Whether `drills`, stored after lastId(), can be add()ed: each starts no earlier than the
    // drill before it. Drills merged from another history have later ids than drills they started
    // before, and are read with the rest from a digest instead.
    bool inTimeOrder(std::span<const DrillRecord> drills) const;

    // Every kind practised, the most practised first (on a tie, the one practised last), counting
    // `lately` the drills started at or after nowUtcMs minus DefaultKindDays days.
    std::vector<KindCount> kinds(int64_t nowUtcMs) const;
    // The kind practised most lately (on a tie, or with none lately, the one practised last);
    // every kind before any drill.
    KindChoice defaultKind(int64_t nowUtcMs) const;
    // Which drills summaries() and series() look at; every kind at first.
    void chooseKind(KindChoice kind) { m_kind = std::move(kind); }
    const KindChoice& kind() const { return m_kind; }
    // The period summaries() look at: drills started at or after this moment (UTC ms); every
    // drill at first. The window's 「期間」 governs the table as it does the chart, so that the
    // figures on screen speak of the same days.
    void choosePeriod(int64_t fromUtcMs) { m_fromUtcMs = fromUtcMs; }

    // One summary per character that was the target in any drill added, in code order, and the
    // chart's series over the drills (oldest first, as the digest returns them) for one character
    // or for AllCharacters; of the chosen kind only. A drill in which the character was never the
    // target is left out of its series. With more than `perDayThreshold` drills left, the drills of
    // each day (by dayOf) are added up into one point. A character's series covers the drills of it
    // that are known: all of them unless the tally was loaded and not filled; its points carry the
    // answers' times and mark each drill that set a new best (NewBestAnswers).
    //
    // A summary looks at the character's last LatestDrills drills of any kind (what the digest
    // holds, so that its figures do not change once its chart is read) and of those takes the ones
    // of one kind: its last RecentDrills are the recent ones, the ones before them the earlier.
    // Its time figures and trend come from the answers of that kind, as far back as the trend's
    // two windows reach (the digest holds that much of each kind).
    // That kind is the chosen one; with every kind chosen, it is the kind of most of those drills
    // (on a tie, the one practised last), so that no trend compares drills of different kinds. A
    // character with none of those drills of the chosen kind has no summary. Only drills of the
    // chosen period count (choosePeriod()); the wrong key typed most and `drills` are of all.
    std::vector<KeySummary> summaries(const BestTimes& best) const;
    Series series(unsigned char code, const DayOf& dayOf = utcDayOf,
        std::size_t perDayThreshold = PerDayThreshold) const;

private:
    struct KeyEntry : KeyCounts {
        uint32_t drill = 0; // index into m_drills
    };
    // A character's right-key times in one drill that kept answers, and its wrong keys there.
    struct KeyAnswers {
        uint32_t drill = 0; // index into m_drills
        std::vector<uint32_t> ms;
        uint32_t wrong = 0;
    };
    struct KeyDrills {
        std::vector<KeyEntry> entries; // its drills, oldest first: all, or the latest ones
        uint32_t count = 0; // all of its drills
        // Its drills that kept answers, oldest first: all of them, or as many as the digest held.
        std::vector<KeyAnswers> answers;
    };
    // Adds each character's times of a drill's answers to its drills that kept answers.
    void addAnswers(uint32_t drill, const std::vector<Answer>& answers);
    // A character's answers in its latest sittings of a kind, oldest first, as many as its trend
    // looks at, with its wrong keys in each; `kept` is set when any drill of the kind kept answers.
    std::vector<Sitting> keySittings(
        std::size_t index, const std::string& kind, bool& kept, std::vector<uint64_t>& wrong) const;
    // Its time figures and trend from those.
    void timesOf(std::size_t index, const std::string& kind, KeySummary& summary) const;
    // The answers of one of a character's drills; nullptr for a drill that kept none.
    const KeyAnswers* answersIn(std::size_t index, uint32_t drill) const;
    // The index in m_drills of the drill with this id, or -1.
    int64_t drillIndexOf(int64_t id) const;
    // The kind of most of these drills, the one practised last on a tie; nullptr for none.
    const std::string* mostPractised(
        std::vector<KeyEntry>::const_iterator first, std::vector<KeyEntry>::const_iterator last) const;

    std::vector<DrillTotals> m_drills; // in the order they started
    std::vector<uint32_t> m_sittings; // each drill's sitting, as sittingsOf() counts them
    // Each drill's id and its index in m_drills, by id: 12 bytes a drill where a hash map of a
    // million drills took 60 MB.
    struct IdIndex {
        int64_t id;
        uint32_t index;
    };
    std::vector<IdIndex> m_indexOfId;
    std::vector<KeyDrills> m_keys = std::vector<KeyDrills>(CodeCount);
    // Per target, how often each byte was typed instead, over every drill.
    std::vector<std::array<uint64_t, 256>> m_wrongKeys = std::vector<std::array<uint64_t, 256>>(CodeCount);
    int64_t m_lastId = 0;
    KindChoice m_kind;
    int64_t m_fromUtcMs = INT64_MIN;
};

// Keeps the changes of the keys' trends that hold over all the keys with a trend at once
// (benjaminiHochberg() at 5 %), and sets each one's adjusted p. summaries() has done it.
void adjustForKeys(std::vector<KeySummary>& keys);

// The colour scale of the keyboard: where a value lies from `good` (0) to `bad` (1), held to 0..1;
// on a logarithmic scale by the ratio of the value to the ends, so that halving a time moves a key
// as far at 2,000 ms as at 500 ms.
struct HeatScale {
    double good = 0;
    double bad = 1;
    bool logarithmic = false;
    double position(double value) const;
    // The value at a position from 0 to 1: what the legend writes under it.
    double valueAt(double position) const;
};

// The legend's labelled steps, at equal distances from one end of the scale to the other.
inline constexpr int LegendSteps = 5;

// Response times on fixed bounds, so that a key changes colour only when its own time does:
// 250 ms (about the fastest a hand answers a character it sees) to 4,000 ms (a beginner searching
// the board), logarithmic, each legend step twice the one before.
HeatScale averageScale();
// From 100 % to 80 %; a lower accuracy shows as 80 %.
HeatScale accuracyScale();

// What the keyboard colours its keys by.
enum class HeatMeasure { Average, Accuracy };

// Where a character's key lies on the scale of `measure`, or nullopt for a key drawn plainly: one
// whose figure rests on too few answers (enoughAnswers() for its median, enoughForAccuracy()),
// whose colour would be mostly chance and would jump with every drill. A key answered only with
// wrong keys of late is as slow as the scale goes.
std::optional<double> heatPosition(const KeySummary& key, HeatMeasure measure);

} // namespace touchdrill::figures
