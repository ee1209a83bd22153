// SPDX-License-Identifier: GPL-3.0-or-later
// The kinds of drill, the one vocabulary of them: how a drill's rows are recorded in the history
// (DrillRecord::rows) and what each part is called on screen. A drill of ticked rows is recorded as
// one letter per ticked box in the boxes' order ("hs"); the progress window's drills have words.
#pragma once

#include <array>
#include <string_view>

namespace touchdrill {

// One letter per check box of the row selection, in their order on screen, and the boxes' captions.
inline constexpr std::string_view RowLetters = "nuhlsc";
inline constexpr std::array<const char*, RowLetters.size()> RowCaptions { "数字段", "上段", "中段", "下段",
    "記号", "大文字入り" };

// A drill of the weak keys; of the weak keys weighted by their slow transitions; of one finger's
// characters, recorded as this prefix and the finger's key in the INI ("finger:right-little").
inline constexpr const char* WeakKeysRows = "weak";
inline constexpr std::string_view PairsRows = "pairs";
inline constexpr std::string_view FingerRowsPrefix = "finger:";

} // namespace touchdrill
