// SPDX-License-Identifier: GPL-3.0-or-later
#include "drill/codepage.h"

#include <cstdio>

namespace touchdrill {

std::optional<char32_t> shownCharacter(unsigned char byte)
{
    if (byte >= 0x20 && byte < 0x7F)
        return byte;
    if (byte >= FirstKanaByte && byte <= LastKanaByte)
        return FirstHalfWidthKana + (byte - FirstKanaByte);
    return std::nullopt;
}

std::string keyText(unsigned char byte)
{
    const std::optional<char32_t> shown = shownCharacter(byte);
    if (!shown) {
        char text[8];
        std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(byte));
        return text;
    }
    const char32_t ch = *shown;
    if (ch < 0x80)
        return std::string(1, static_cast<char>(ch));
    // The half-width katakana, U+FF61..U+FF9F: three bytes of UTF-8.
    return { static_cast<char>(0xE0 | (ch >> 12)), static_cast<char>(0x80 | ((ch >> 6) & 0x3F)),
        static_cast<char>(0x80 | (ch & 0x3F)) };
}

} // namespace touchdrill
