// SPDX-License-Identifier: GPL-3.0-or-later
// The drill's characters are bytes of the window's single-byte code page (Shift-JIS, single bytes):
// what each byte shows as, on screen and in the history's export.
#pragma once

#include <optional>
#include <string>

namespace touchdrill {

inline constexpr char32_t FirstHalfWidthKana = 0xFF61; // byte 0xA1
inline constexpr unsigned char FirstKanaByte = 0xA1;
inline constexpr unsigned char LastKanaByte = 0xDF;

// What one byte of the code page shows as on its own: ASCII as itself, 0xA1-0xDF as half-width
// katakana. The control bytes (0x00-0x1F, 0x7F) show nothing, and the other high bytes have no
// character alone (0x80, 0xA0 and 0xFD-0xFF are unused, the rest start two-byte characters):
// nullopt.
std::optional<char32_t> shownCharacter(unsigned char byte);

// A byte as text, UTF-8: its shownCharacter(), or a byte with none in hexadecimal, e.g. "0x80"
// (0x80 stands for any character the code page lacks).
std::string keyText(unsigned char byte);

} // namespace touchdrill
