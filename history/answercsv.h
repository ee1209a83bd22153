// SPDX-License-Identifier: GPL-3.0-or-later
// Every answer of the history as CSV, one row per answer (UTF-8 without a byte order mark, RFC 4180,
// CRLF line ends, a header row), for reading into a spreadsheet or a statistics tool:
//
//   drill_id       the drill's id in the history, as the history's CSV has it
//   started_local  the drill's start in the computer's time zone with its offset, as the history's
//                  CSV writes it (empty where its date is unknown)
//   rows           the kind of drill: the rows it was drawn from, as the history's CSV has them
//   pool_size      how many different characters the drill could bring; empty where unknown
//   answer         the answer's number within its drill, from 1
//   previous       the target before it; empty for a drill's first answer
//   target         the character to type
//   ms             milliseconds from its showing to the right key, as the results list adds them
//                  up; empty for a drill's last target that the drill ended on before it came
//   wrong_keys     the other keys typed meanwhile, in order, each as KEY@MS (MS: milliseconds from
//                  the target's showing), separated by one space, e.g. "s@120 0x20@340"; KEY is one
//                  character, or 0x and two hex digits for the space, '@' and a byte that shows no
//                  character of its own (0x80 stands for any character the keyboard's code page
//                  lacks). So each item splits at its last '@'.
//
// A drill recorded before the history kept answers has no rows here.
#pragma once

#include "history/drillrecord.h"

#include <string>
#include <string_view>

namespace touchdrill::history {

// The CSV's first line, its line end included.
inline constexpr std::string_view AnswerCsvHeader
    = "drill_id,started_local,rows,pool_size,answer,previous,target,ms,wrong_keys\r\n";

// A typed byte as the wrong_keys column writes it.
std::string wrongKeyText(unsigned char typed);
// The wrong_keys column of one answer, before CSV quoting.
std::string wrongKeysText(const std::vector<WrongKey>& wrongKeys);

// Appends one row per answer of `drill`; returns false, appending nothing, for a drill that kept no
// answers. The local start is in the time zone the C library last read (tzset()).
bool appendAnswerCsvRows(const DrillRecord& drill, std::string& out);

} // namespace touchdrill::history
