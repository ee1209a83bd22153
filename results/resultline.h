// SPDX-License-Identifier: GPL-3.0-or-later
// ResultLine: the text of one results-list item (label, average, best), written and parsed here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace touchdrill {

// label,average,best with unsigned decimals; the label is the character itself, except that
// '"' is written as """" and ',' as ",".
std::string formatResultLine(int code, uint32_t average, uint32_t best);

// Splits item text into fields at commas. A field opening with '"' runs to the matching closing
// quote, "" inside it standing for one quote; an unquoted field runs to the next comma, blank or
// control character. Blanks and control characters (bytes up to 32) between fields are skipped;
// a comma that is the very last byte adds an empty last field. Text right after a closing quote
// starts the next field; an unterminated quote runs to the end of the text. Bytes above 127 are
// ordinary field characters.
std::vector<std::string> parseResultFields(std::string_view text);

// A numeric field: an optional sign and decimal digits, read as a 32-bit value, signed or
// unsigned, so -2147483648 to 4294967295. Anything else, an empty or a missing field included,
// reads as 0.
int64_t parseFieldNumber(std::string_view field);

} // namespace touchdrill
