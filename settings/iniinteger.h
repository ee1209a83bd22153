// SPDX-License-Identifier: GPL-3.0-or-later
// Integer keys of the INI file, in decimal or hexadecimal, with a fallback for anything else.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace touchdrill {

// The value of a hexadecimal digit, either case; -1 for any other character.
int hexDigitValue(char c);

// Reads `text` as: leading spaces, an optional '+' or '-', then either a hexadecimal prefix
// ("$", "x", "X", "0x", "0X") with 1 to 8 significant hex digits taken as a signed 32-bit pattern
// (the sign is then accepted but ignored), or decimal digits within the signed 32-bit range.
// A text longer than two characters starting with "0x"/"0X" has that pair read as "$".
// Anything else, including an empty text or a trailing blank, gives `defaultValue`.
int32_t parseIniInteger(std::string_view text, int32_t defaultValue);

// The integer value of a key, or `defaultValue` when it is missing or not a valid integer.
int32_t readIniInteger(
    const std::string& path, std::string_view section, std::string_view key, int32_t defaultValue);

} // namespace touchdrill
