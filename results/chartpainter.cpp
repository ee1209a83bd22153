// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/chartpainter.h"

#include "drill/palette.h"
#include "results/resultline.h"

#include <QColor>
#include <QFontMetrics>
#include <QPainter>
#include <QRect>
#include <algorithm>
#include <string_view>

namespace touchdrill {

namespace {

QColor qColor(Rgb colour)
{
    return QColor(colour.r, colour.g, colour.b);
}

int clampCoordinate(int64_t value)
{
    return static_cast<int>(std::clamp<int64_t>(value, -ChartCoordinateLimit, ChartCoordinateLimit));
}

// Text is placed by the top-left corner of its line, not by its baseline.
void drawTextAt(QPainter& painter, int x, int y, const QString& text)
{
    painter.drawText(QPoint(x, clampCoordinate(int64_t { y } + painter.fontMetrics().ascent())), text);
}

} // namespace

// R plays no part: nothing is clipped or scaled to the right edge.
ChartRow chartRow(int L, int T, [[maybe_unused]] int R, int B, int64_t avg, int64_t best)
{
    const int64_t origin = int64_t { L } + 20;
    // Truncates toward zero, as the chart's 10 ms per pixel asks.
    const int64_t barEnd = origin + avg / 10;
    ChartRow row {};
    row.labelX = clampCoordinate(int64_t { L } + 2);
    row.labelY = clampCoordinate(int64_t { T } + 2);
    row.barLeft = clampCoordinate(origin);
    row.barTop = clampCoordinate(int64_t { T } + 3);
    row.barRight = clampCoordinate(barEnd);
    row.barBottom = clampCoordinate(B);
    row.hasStar = best != 0;
    row.starX = clampCoordinate(origin + best / 10);
    row.starY = clampCoordinate(int64_t { T } + 3);
    row.numberX = clampCoordinate(barEnd + 4);
    row.numberY = clampCoordinate(int64_t { T } + 5);
    return row;
}

namespace {

void paintResultBytes(QPainter& painter, const QRect& rect, std::string_view text)
{
    const auto fields = parseResultFields(text);
    auto field = [&fields](std::size_t i) {
        return i < fields.size() ? std::string_view(fields[i]) : std::string_view();
    };
    const int64_t avg = parseFieldNumber(field(1));
    const int64_t best = parseFieldNumber(field(2));
    const ChartRow row
        = chartRow(rect.left(), rect.top(), rect.x() + rect.width(), rect.y() + rect.height(), avg, best);

    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.fillRect(rect, qColor(palette::ResultsBackground));

    // Painted on the white just filled, an opaque text background would look the same.
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setPen(qColor(palette::ResultsText));
    const std::string_view label = field(0);
    drawTextAt(painter, row.labelX, row.labelY,
        QString::fromLatin1(label.data(), static_cast<qsizetype>(label.size())));

    if (row.barRight > row.barLeft && row.barBottom > row.barTop)
        painter.fillRect(QRect(QPoint(row.barLeft, row.barTop), QPoint(row.barRight - 1, row.barBottom - 1)),
            qColor(palette::AverageBar));

    if (row.hasStar) {
        painter.setPen(qColor(palette::BestStar));
        drawTextAt(painter, row.starX, row.starY, QString(QChar(0x2605)));
    }

    painter.setPen(qColor(palette::ResultsText));
    drawTextAt(painter, row.numberX, row.numberY, QString::number(static_cast<uint32_t>(avg)));
    painter.restore();
}

} // namespace

void paintResultLine(QPainter& painter, const QRect& rect, const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    paintResultBytes(
        painter, rect, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

} // namespace touchdrill
