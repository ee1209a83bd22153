// SPDX-License-Identifier: GPL-3.0-or-later
// How the progress window writes its figures: milliseconds, percentages, trends and wrong keys.
#pragma once

#include "history/progressfigures.h"

#include <QString>

#include <optional>
#include <vector>

namespace touchdrill {

// The practice character itself ("a", "\\"); other bytes as the history's export writes them.
QString characterText(unsigned char code);
// "412 ms"; a dash for none.
QString msText(std::optional<double> ms);
// "97.5%"; a dash for none.
QString percentText(std::optional<double> fraction);
// "−35 ms" (faster), "+20 ms" (slower), "±0 ms"; a dash for none.
QString trendText(std::optional<double> ms);
// "d (12回)"; a dash for none.
QString wrongKeyText(const history::KeySummary& key);
// What a figure resting on too few answers shows in its place.
QString notEnoughDataText();
// Why a character's figure shows notEnoughDataText(): its answers against the number needed.
QString notEnoughDataTip(const history::KeySummary& key);
// The weak-key drill's keys, costliest first, with the times each stands in the pool:
// "練習するキー: y×4 b×2 z×1"; empty for no keys.
QString poolText(const std::vector<history::WeakKey>& keys);
// A character's figures and the kind of drill they come from:
// "a: 平均 412 ms、自己ベスト 380 ms、正確さ 97.5%\n中段の練習から"; 「データ不足」 and the number of
// answers in place of the figures for a character with too few.
QString summaryText(const history::KeySummary& key);

} // namespace touchdrill
