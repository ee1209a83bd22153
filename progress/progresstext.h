// SPDX-License-Identifier: GPL-3.0-or-later
// How the progress window writes its figures: milliseconds, percentages, trends and wrong keys.
#pragma once

#include "progress.h"

#include <QString>

#include <optional>

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
// One line on a character: "a: 平均 412 ms、最高 380 ms、正確さ 97.5%".
QString summaryText(const history::KeySummary& key);

} // namespace touchdrill
