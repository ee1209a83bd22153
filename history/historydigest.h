// SPDX-License-Identifier: GPL-3.0-or-later
// What the progress window reads when it opens: each drill's totals, each character's latest
// drills and the keys typed instead, instead of every drill with every key.
#pragma once

#include "drillrecord.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace touchdrill::history {

// A character's "recent" figures cover the last this many drills in which it was the target.
inline constexpr std::size_t RecentDrills = 5;
// The drills of a character that its summary needs: the recent ones and as many before them.
inline constexpr std::size_t LatestDrills = 2 * RecentDrills;

// One drill added up over all its characters.
struct DrillTotals {
    int64_t id = 0;
    int64_t startedUtcMs = 0;
    uint64_t hits = 0;
    uint64_t totalMs = 0;
    uint64_t wrong = 0;
    std::string rows; // its kind, as DrillRecord::rows
};

// The rule every figure follows: a character's entry in a drill counts as one of its drills when
// it was answered or a wrong key was typed while it was the target.
inline bool countsAsKeyDrill(const KeyRecord& key)
{
    return key.hits != 0 || key.wrong != 0;
}

// A drill added up over all its characters.
inline DrillTotals drillTotalsOf(const DrillRecord& drill)
{
    DrillTotals totals { drill.id, drill.startedUtcMs, 0, 0, 0, drill.rows };
    for (const KeyRecord& key : drill.keys) {
        totals.hits += key.hits;
        totals.totalMs += key.totalMs;
        totals.wrong += key.wrong;
    }
    return totals;
}

// One character in one drill in which it was the target (answered, or a wrong key typed).
struct KeyDrill {
    int64_t drillId = 0;
    uint32_t hits = 0;
    uint32_t totalMs = 0;
    uint32_t wrong = 0;
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
    std::size_t skipped = 0; // rows left out: they hold values this program never writes
};

} // namespace touchdrill::history
