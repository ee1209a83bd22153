// SPDX-License-Identifier: GPL-3.0-or-later
// Time as the program counts it, in one place: milliseconds since 1970-01-01 00:00 UTC, whole
// minutes, hours and days of them, and the computer's clock (its offset from UTC), which the CSV
// exports and the progress window both read through localOffsetMinutes().
#pragma once

#include <cstdint>
#include <optional>

namespace touchdrill {

inline constexpr int64_t MsPerMinute = 60'000;
inline constexpr int64_t MsPerHour = 60 * MsPerMinute;
inline constexpr int64_t MsPerDay = 24 * MsPerHour;

// a / b rounded towards minus infinity: a moment before 1970 belongs to the day before, not to day 0.
constexpr int64_t floorDiv(int64_t a, int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// The day a moment falls on, counted from 1970-01-01, of a UTC time or a wall-clock one alike.
constexpr int64_t dayOf(int64_t ms)
{
    return floorDiv(ms, MsPerDay);
}

// How far the computer's time zone (TZ, else the system's) is ahead of UTC at the moment `utcMs`,
// in whole minutes; none when the C library cannot tell (a 32-bit time_t, a year it cannot hold).
// Before standard time a zone kept its local mean time, e.g. +05:53:28 before 1854 in Kolkata,
// which ISO 8601 cannot write: the nearest minute is taken. The zone is the one last read by
// readTimeZone() (or by the C library's first use of it).
std::optional<int> localOffsetMinutes(int64_t utcMs);

// Reads TZ afresh: the C library otherwise goes on with the zone it read first.
void readTimeZone();

} // namespace touchdrill
