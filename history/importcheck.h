// SPDX-License-Identifier: GPL-3.0-or-later
// What a drill of another history must be before the import stores it: a drill this program could
// have recorded, so that no value of a file picked up anywhere lands in the history for good.
#pragma once

#include "history/drillrecord.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace touchdrill::history {

// The most answers (right keys, and wrong keys apart) one drill holds: eight hours without a
// pause at a shown character every 150 ms, the quickest anyone answers one, is 192,000. A drill
// the history keeps reads back whole (answers and key rows) in a few tens of MB at this bound.
inline constexpr uint32_t MaxDrillAnswers = 200'000;
// The largest answers blob read: room for MaxDrillAnswers answers of five bytes (a target and a
// time of up to a minute or two) and as many wrong keys again. A larger one is not read at all.
inline constexpr std::size_t MaxAnswerBlobBytes = 2 * 1024 * 1024;
// The longest kind of drill the program writes ("finger:right-middle" and the like).
inline constexpr std::size_t MaxKindBytes = 32;
// No drill of this program can have started before 2000 (UTC).
inline constexpr int64_t EarliestDrillUtcMs = 946'684'800'000;
// A clock a little ahead of this one is allowed for: a day.
inline constexpr int64_t ClockLeewayMs = 24 * 60 * 60 * 1000;

// Whether `rows` is a kind of drill this program records: the ticked rows as one letter each in the
// check boxes' order (nuhlsc), the weak keys, the pairs, or one finger.
bool isDrillKind(std::string_view rows);

enum class DrillFault {
    None,
    Kind, // not a kind of drill of this program
    Time, // started before 2000 or after now and a day; ended before it started or after now and a day
    TooLong, // more answers or wrong keys than one drill holds
    Counts, // the wrong keys of a character do not add up to its count
};

// Why `drill`, read from another history, cannot be stored; DrillFault::None when it can. The
// reads have already held its answers to its characters' counts.
DrillFault importFault(const DrillRecord& drill, int64_t nowUtcMs);

} // namespace touchdrill::history
