// SPDX-License-Identifier: GPL-3.0-or-later
// One finished drill as the practice history keeps it: when, which rows, and per character the
// hits, the milliseconds and the wrong keys typed while it was the target.
#pragma once

#include "drill/drillkinds.h"
#include "drill/keystats.h"
#include "history/answercodec.h"
#include "history/keycounts.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace touchdrill::history {

// The counts as the results list has them: its hits, its milliseconds (wrapping 32-bit).
struct KeyRecord : KeyCounts {
    KeyRecord() = default;
    // In the order of the CSV's columns.
    KeyRecord(unsigned char code, uint32_t hits, uint32_t totalMs, uint32_t wrong,
        std::map<unsigned char, uint32_t> wrongKeys = {})
        : KeyCounts { hits, totalMs, wrong }
        , code(code)
        , wrongKeys(std::move(wrongKeys))
    {
    }

    unsigned char code = 0; // the target, '!'..'~'
    std::map<unsigned char, uint32_t> wrongKeys; // which byte was typed instead, and how often

    // Whether this is one of its character's drills, as every figure counts them: a practice
    // character that was answered or had a wrong key typed (countsAsDrill()).
    bool isKeyDrill() const { return isPracticeCode(code) && countsAsDrill(); }
};

struct DrillRecord {
    int64_t id = 0; // the database's row id; 0 before it is stored
    int64_t startedUtcMs = 0; // milliseconds since the Unix epoch, UTC
    int64_t endedUtcMs = 0;
    // The ticked rows, in the order of the check boxes: "数字段,上段,..." style names are for the
    // window; stored is one letter each: n u h l s c (numbers, upper, home, lower, symbols,
    // capitals), e.g. "hs". A drill of the weak keys stores "weak".
    std::string rows;
    // Characters answered, ascending by code; a key with wrong keys but no hit is kept too.
    std::vector<KeyRecord> keys;
    // Every answer in the order the drill brought them; none for a drill recorded before the
    // history kept answers, which has its totals only.
    std::optional<std::vector<Answer>> answers;
    // How many different characters the drill's pool held; 0 where unknown (older drills).
    uint32_t poolSize = 0;
};

// The moments shown and exported as dates: the years 0000 to 9999 in UTC, the years that ISO 8601
// writes with four digits and that a spreadsheet can read back. A clock set far off or a damaged
// file can hold any 64-bit value; outside this range the date is unknown, and the arithmetic on
// days and time zones stays far from the ends of int64_t.
inline constexpr int64_t EarliestKnownUtcMs = -62'167'219'200'000; // 0000-01-01T00:00:00.000Z
inline constexpr int64_t LatestKnownUtcMs = 253'402'300'799'999; // 9999-12-31T23:59:59.999Z

constexpr bool isKnownTime(int64_t utcMs)
{
    return utcMs >= EarliestKnownUtcMs && utcMs <= LatestKnownUtcMs;
}

} // namespace touchdrill::history
