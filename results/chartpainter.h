// SPDX-License-Identifier: GPL-3.0-or-later
// Painting of one results-list item as a chart row: label, green bar, yellow star, average.
#pragma once

#include <QString>
#include <cstdint>

class QPainter;
class QRect;

namespace touchdrill {

// Where the parts of one chart row go, for an item with sides L, T, R, B (right and bottom
// exclusive). One pixel of bar stands for 10 ms; bar and star share the origin L + 20. Text
// positions are the top-left corners of the text. Coordinates are held within ±ChartCoordinateLimit,
// far beyond any screen, so huge values stay off the right edge without overflowing.
struct ChartRow {
    int labelX, labelY;
    int barLeft, barTop, barRight, barBottom; // right and bottom exclusive; empty when right <= left
    bool hasStar;
    int starX, starY;
    int numberX, numberY;
};

constexpr int ChartCoordinateLimit = 1'000'000;

ChartRow chartRow(int L, int T, int R, int B, int64_t avg, int64_t best);

// Paints an item from its ResultLine text alone, with the painter's current font, and restores the
// painter's state afterwards. The text is the line's bytes one character each (Latin-1); fields
// that are not numbers chart as 0, so no text makes painting fail.
void paintResultLine(QPainter& painter, const QRect& rect, const QString& text);

} // namespace touchdrill
