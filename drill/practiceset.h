// SPDX-License-Identifier: GPL-3.0-or-later
// The practice pool: which characters a drill may show, built from the ticked keyboard rows.
#pragma once

#include "drill/drillkinds.h"

#include <string>
#include <string_view>

namespace touchdrill {

inline constexpr std::string_view NumberRow = "1234567890";
inline constexpr std::string_view UpperRow = "qwertyuiop";
inline constexpr std::string_view HomeRow = "asdfghjkl";
inline constexpr std::string_view LowerRow = "zxcvbnm";
// Every ASCII punctuation mark once, except the backslash, which the JIS keyboard has on two keys
// and so comes twice (17th and 33rd place).
inline constexpr std::string_view SymbolRow = ",.!\"#$%&'()=~|-^\\@[`{;:]+*}<>?_/\\";

// The six check boxes of the row selection, in their order on screen.
struct RowChoices {
    bool numbers = false; // 数字段
    bool upper = false; // 上段
    bool home = false; // 中段
    bool lower = false; // 下段
    bool symbols = false; // 記号
    bool capitals = false; // 大文字入り: capitals of the ticked letter rows only
};

// The ticked boxes as one letter each, in the boxes' order: n u h l s c (numbers, upper, home,
// lower, symbols, capitals), e.g. "hs". The history names a drill's rows with it.
std::string rowsLabel(const RowChoices& rows);

// The rows' strings concatenated; a character that occurs twice is drawn twice as often.
std::string buildPool(const RowChoices& rows);

} // namespace touchdrill
