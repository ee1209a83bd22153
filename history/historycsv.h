// SPDX-License-Identifier: GPL-3.0-or-later
// The history as CSV (UTF-8, RFC 4180, CRLF line ends, header row): one row per drill and character
// with the drill's UTC start time, the character, hits, total ms, average ms, wrong keys, the wrong
// key typed most often (empty when none), the drill's id, its rows and its local start time.
#pragma once

#include "history/drillrecord.h"

#include <string>
#include <string_view>

namespace touchdrill::history {

// The CSV's first line, its line end included. The last three columns came later, after the
// others, so that a reader that takes columns by position still finds its own.
inline constexpr std::string_view CsvHeader = "started_utc,character,hits,total_ms,average_ms,wrong_keys,"
                                              "most_wrong_key,drill_id,rows,started_local\r\n";

// Appends the drill's rows of the CSV; a start whose date is unknown (see isKnownTime()) gives an
// empty started_utc and started_local; started_local is empty too when only the local date falls
// outside those years. started_local is the start in the computer's time zone as the C library
// last read it (tzset()), with its offset from UTC.
void appendCsvRows(const DrillRecord& drill, std::string& out);

// The pieces both CSV exports are made of.
//
// `bytes` as UTF-8: a recorded text is ASCII, but a damaged file can hold any bytes, and a single
// one that is no UTF-8 makes the whole CSV unreadable to a strict reader: each such byte becomes
// U+FFFD.
std::string utf8Text(const std::string& bytes);
// `text` as one field: in double quotes, its quotes doubled, when it holds a quote, a comma or a
// line break; as it is otherwise.
std::string csvField(const std::string& text);
// The moment in the computer's time zone with its offset, as started_local writes it; empty where
// its date is unknown.
std::string localTimeText(int64_t utcMs);

} // namespace touchdrill::history
