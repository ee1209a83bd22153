// SPDX-License-Identifier: GPL-3.0-or-later
// What the progress window reads when it opens: each drill's totals, each character's latest
// drills and the keys typed instead, instead of every drill with every key.
#pragma once

#include "history/drillrecord.h"
#include "history/keycounts.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace touchdrill::history {

// The drills of a character that its summary needs: the recent ones and as many before them.
inline constexpr std::size_t LatestDrills = 2 * RecentDrills;

// One drill added up over all its characters.
struct DrillTotals : CountsSum {
    int64_t id = 0;
    int64_t startedUtcMs = 0;
    std::string rows; // its kind, as DrillRecord::rows
};

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
    return { countsOf(drill), drill.id, drill.startedUtcMs, drill.rows };
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
