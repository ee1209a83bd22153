// SPDX-License-Identifier: GPL-3.0-or-later
// How the progress window writes its figures: milliseconds, percentages, trends and wrong keys.
#pragma once

#include "figures/progressfigures.h"
#include "figures/weakkeys.h"

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
// A figure with its 95 % interval, "612 (580–650)" in whole milliseconds or, with `decimals`,
// "0.42 (0.30–0.61)"; the value alone while it has no interval; a dash for none.
QString estimateText(const std::optional<figures::Estimate>& estimate, int decimals = 0);
// 「速くなった」, 「遅くなった」 or 「変化なし」.
QString trendText(const figures::TrendResult& trend);
// What the trend compared and how sure it is:
// 「直近 64 回と前の 70 回を比較（順位和検定、p = 0.003、中央値 −12%）」.
QString trendTip(const figures::TrendResult& trend);
// Why a key has no trend yet: how many sittings and answers it needs and has.
QString notEnoughForTrendTip(const figures::TrendResult& trend);
// What a character's time figures show when every drill of the kind predates the kept answers.
QString noAnswersText();
QString noAnswersTip();
// "d (12回)"; a dash for none.
QString wrongKeyText(const figures::KeySummary& key);
// What a figure resting on too few answers shows in its place.
QString notEnoughDataText();
// Why a character's time figures show notEnoughDataText(): its answers against the number needed.
QString notEnoughDataTip(const figures::KeySummary& key);
// Why its accuracy does: its recent answers against MinAnswers.
QString notEnoughForAccuracyTip(const figures::KeySummary& key);
// The weak-key drill's keys, costliest first, with the times each stands in the pool:
// "練習するキー: y×4 b×2 z×1"; empty for no keys.
QString poolText(const std::vector<figures::WeakKey>& keys);
// A character's figures and the kind of drill they come from: its median, 90th percentile and
// spread with their intervals, accuracy, trend and best, then 「中段の練習から」; 「データ不足」 and
// the number of answers, or 「回答の記録なし」, in place of the time figures where they are missing.
QString summaryText(const figures::KeySummary& key);

} // namespace touchdrill
