// SPDX-License-Identifier: GPL-3.0-or-later
// Texts the window derives: the application title, the error box's final full stop, and the bytes
// of the window's single-byte code page that typed characters become (codepage.h: what they show).
#pragma once

#include "drill/codepage.h"

#include <optional>
#include <string>
#include <string_view>

namespace touchdrill {

// The executable's file name up to its first '.', every character after the first in lower case.
std::string applicationTitle(std::string_view executablePath);

// The error box appends "." when the message is not empty and its last byte is above '.':
// a message ending in a Japanese character gets it, one ending in '.', ')' or a blank does not.
std::string withFinalStop(std::string message);

// The byte a typed character that the code page has no byte for reaches the drill as. No
// target is ever one, so it always counts as a wrong key.
inline constexpr unsigned char OtherCharacter = 0x80;

// The byte of the window's code page (Shift-JIS, single bytes) that a typed character stands for:
// ASCII as itself; the yen sign as the backslash, which the JIS keyboard's yen key types; the
// half-width katakana and the full-width kana and marks that a kana key types as the half-width
// katakana bytes 0xA1-0xDF; any other character as OtherCharacter. A control character (Backspace,
// Enter, Escape, Delete, Ctrl with a letter) types nothing: nullopt.
std::optional<unsigned char> typedByte(char32_t typed);

} // namespace touchdrill
