// SPDX-License-Identifier: GPL-3.0-or-later
// What the progress window reads when it opens: each drill's totals, each character's latest
// drills and the keys typed instead, instead of every drill with every key.
#pragma once

#include "history/drillrecord.h"
#include "history/keycounts.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace touchdrill::history {

// The drills of a character that its summary needs: the recent ones and as many before them.
inline constexpr std::size_t LatestDrills = 2 * RecentDrills;

// The most drills of one kind whose answers the figures look at, however long the history or its
// sittings: a character the kind brings rarely (one that left the weak keys) or drills that run
// on for hours stop there, so that reading and working out stay bounded.
inline constexpr std::size_t MostAnswerDrillsPerKind = 200;

// One drill added up over all its characters.
struct DrillTotals : CountsSum {
    int64_t id = 0;
    int64_t startedUtcMs = 0;
    std::string rows; // its kind, as DrillRecord::rows
    int64_t endedUtcMs = 0;
};

// Drills whose end and the next one's start lie at most this far apart are one sitting: a learner
// who pauses for a drink goes on with the same form, one who comes back after dinner does not.
inline constexpr int64_t SittingGapMs = 10 * 60 * 1000;

// Whether `next`, which started after `drill`, goes on its sitting: it started within SittingGapMs
// of the drill's end. A clock put back between them breaks the sitting.
inline bool sameSitting(int64_t startedUtcMs, int64_t endedUtcMs, int64_t nextStartedUtcMs)
{
    const int64_t end = std::max(startedUtcMs, endedUtcMs);
    // Times from a clock set far off are stored too: the gap is taken without overflow.
    return nextStartedUtcMs >= startedUtcMs
        && (nextStartedUtcMs <= end
            || static_cast<uint64_t>(nextStartedUtcMs) - static_cast<uint64_t>(end) <= static_cast<uint64_t>(SittingGapMs));
}
inline bool sameSitting(const DrillTotals& drill, const DrillTotals& next)
{
    return sameSitting(drill.startedUtcMs, drill.endedUtcMs, next.startedUtcMs);
}

// Each drill's sitting, counted from 0, for drills in the order they started.
inline std::vector<uint32_t> sittingsOf(const std::vector<DrillTotals>& drills)
{
    std::vector<uint32_t> sittings(drills.size());
    for (std::size_t i = 1; i < drills.size(); ++i)
        sittings[i] = sittings[i - 1] + !sameSitting(drills[i - 1], drills[i]);
    return sittings;
}

// A drill's counts added up over all its characters: its totals as stored and as its point in the
// chart shows them.
inline CountsSum countsOf(const DrillRecord& drill)
{
    CountsSum sum;
    for (const KeyRecord& key : drill.keys)
        sum += key;
    return sum;
}

inline DrillTotals drillTotalsOf(const DrillRecord& drill)
{
    return { countsOf(drill), drill.id, drill.startedUtcMs, drill.rows, drill.endedUtcMs };
}

// One character in one drill in which it was the target (countsAsDrill()).
struct KeyDrill : KeyCounts {
    int64_t drillId = 0;
    // The milliseconds of its right keys in this drill, in order; none for a drill that kept no
    // answers.
    std::optional<std::vector<uint32_t>> answerMs;
};

// The answers of one drill that kept them.
struct DrillAnswers {
    int64_t drillId = 0;
    std::vector<Answer> answers;
    // When it ran, which tells its sitting (sameSitting()).
    int64_t startedUtcMs = 0;
    int64_t endedUtcMs = 0;
};

struct KeyDigest {
    unsigned char code = 0;
    uint32_t drills = 0; // every drill in which it was the target
    std::vector<KeyDrill> latest; // the last LatestDrills of them, oldest first
};

// How often `typed` came instead of `code`, over the whole history.
struct Confusion {
    unsigned char code = 0;
    unsigned char typed = 0;
    uint64_t count = 0;
};

struct HistoryDigest {
    std::vector<DrillTotals> drills; // every drill, oldest first
    std::vector<KeyDigest> keys; // characters '!'..'~' that were ever the target, in code order
    std::vector<Confusion> confusions; // of those characters, in code order, then by typed
    // The latest drills that kept answers, oldest first: of each kind, enough of its latest drills
    // for every character's figures over its latest answers.
    std::vector<DrillAnswers> answers;
    std::size_t skipped = 0; // rows left out: they hold values this program never writes
};

} // namespace touchdrill::history
