// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/chartpainter.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <optional>

using namespace touchdrill;

namespace {

const QRgb Magenta = qRgb(255, 0, 255);
const QRgb White = qRgb(255, 255, 255);
const QRgb Green = qRgb(0, 128, 0);
constexpr int ItemWidth = 300;
constexpr int ItemHeight = 16;

QFont itemFont()
{
    QFont font;
    font.setPixelSize(13);
    return font;
}

// A magenta image with room around the item, so paint outside it shows.
QImage canvas(QPoint origin)
{
    QImage image(origin.x() + ItemWidth + 10, origin.y() + ItemHeight + 10, QImage::Format_RGB32);
    image.fill(Magenta);
    return image;
}

QImage paintItem(const QString& text, QPoint origin = {})
{
    QImage image = canvas(origin);
    QPainter painter(&image);
    painter.setFont(itemFont());
    paintResultLine(painter, QRect(origin, QSize(ItemWidth, ItemHeight)), text);
    return image;
}

// Text placed by its top-left corner through Qt's own alignment, independently of the painter.
void textAt(QPainter& painter, QPoint topLeft, QRgb colour, const QString& text)
{
    painter.setPen(QColor(colour));
    painter.drawText(QRect(topLeft, QSize(1000, 100)), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, text);
}

// The item as the chart rules describe it, from coordinates relative to the item's corner.
QImage expectedItem(QPoint origin, const QString& label, int barEnd, std::optional<int> starX,
    const QString& number, int numberX)
{
    QImage image = canvas(origin);
    QPainter painter(&image);
    painter.setFont(itemFont());
    painter.translate(origin);
    painter.fillRect(QRect(0, 0, ItemWidth, ItemHeight), QColor(White));
    textAt(painter, { 2, 2 }, qRgb(0, 0, 0), label);
    if (barEnd > 20)
        painter.fillRect(QRect(QPoint(20, 3), QPoint(barEnd - 1, ItemHeight - 1)), QColor(Green));
    if (starX)
        textAt(painter, { *starX, 3 }, qRgb(255, 255, 0), QString(QChar(0x2605)));
    textAt(painter, { numberX, 5 }, qRgb(0, 0, 0), number);
    return image;
}

bool isYellow(QRgb c)
{
    return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) < 100;
}

std::optional<int> firstYellowColumn(const QImage& image)
{
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (isYellow(image.pixel(x, y)))
                return x;
    return std::nullopt;
}

} // namespace

TEST(ChartPainter, rowGeometry)
{
    constexpr int Far = ChartCoordinateLimit;
    struct Row {
        const char* name;
        int L, T;
        int64_t avg, best;
        int labelX, barLeft, barRight;
        bool hasStar;
        int starX, numberX;
    };
    const Row table[] = {
        { "a,432,0", 0, 0, 432, 0, 2, 20, 63, false, 20, 67 },
        { "comma line", 0, 0, 610, 587, 2, 20, 81, true, 78, 85 },
        { "item further down and right", 5, 32, 610, 587, 7, 25, 86, true, 83, 90 },
        { "under 10 ms: empty bar", 0, 0, 9, 9, 2, 20, 20, true, 20, 24 },
        { "negative values truncate toward zero", 0, 0, -15, -5, 2, 20, 19, true, 20, 23 },
        { "2^31 and more: true length", 0, 0, 2147483648, 9000000, 2, 20, Far, true, 900020, Far },
        { "bounded far off the edge", 2000000000, 0, 4294967295, 4294967295, Far, Far, Far, true, Far, Far },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const ChartRow r = chartRow(row.L, row.T, row.L + 300, row.T + 16, row.avg, row.best);
        EXPECT_EQ(r.labelX, row.labelX);
        EXPECT_EQ(r.labelY, row.T + 2);
        EXPECT_EQ(r.barLeft, row.barLeft);
        EXPECT_EQ(r.barTop, row.T + 3);
        EXPECT_EQ(r.barRight, row.barRight);
        EXPECT_EQ(r.barBottom, row.T + 16);
        EXPECT_EQ(r.hasStar, row.hasStar);
        EXPECT_EQ(r.starX, row.starX);
        EXPECT_EQ(r.starY, row.T + 3);
        EXPECT_EQ(r.numberX, row.numberX);
        EXPECT_EQ(r.numberY, row.T + 5);
    }
}

TEST(ChartPainter, itemsPaintBarStarAndNumberWhereTheRulesSay)
{
    struct Row {
        const char* text;
        QPoint origin;
        QString label;
        int barEnd; // exclusive
        std::optional<int> starX;
        QString number;
        int numberX;
    };
    const Row table[] = {
        { "a,432,0", {}, "a", 63, std::nullopt, "432", 67 },
        { "a,432,0", { 7, 5 }, "a", 63, std::nullopt, "432", 67 },
        { R"(",",610,587)", {}, ",", 81, 78, "610", 85 },
        { R"("""",0,0)", {}, "\"", 20, std::nullopt, "0", 24 },
        { "b,432,432", {}, "b", 63, 63, "432", 67 },
        { "c,100,900", { 3, 2 }, "c", 30, 110, "100", 34 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.text);
        const QImage image = paintItem(QString::fromLatin1(row.text), row.origin);
        EXPECT_EQ(image, expectedItem(row.origin, row.label, row.barEnd, row.starX, row.number, row.numberX));

        auto at = [&](int x, int y) { return image.pixel(row.origin.x() + x, row.origin.y() + y); };
        // The bar's exact extent, wherever the star leaves it visible.
        const int greenUntil = row.starX ? std::min(row.barEnd, *row.starX) : row.barEnd;
        for (int x = 20; x < greenUntil; ++x)
            for (int y = 3; y < ItemHeight; ++y)
                ASSERT_EQ(at(x, y), Green) << x << "," << y;
        if (!row.starX || *row.starX > row.barEnd) {
            for (int y = 0; y < ItemHeight; ++y)
                EXPECT_EQ(at(row.barEnd, y), White) << "one past the bar, y " << y;
        }
        for (int x = 20; x < row.barEnd; ++x)
            EXPECT_EQ(at(x, 2), White) << "above the bar, x " << x;

        const auto yellow = firstYellowColumn(image);
        EXPECT_EQ(yellow.has_value(), row.starX.has_value());
        if (yellow && row.starX) {
            EXPECT_GE(*yellow, row.origin.x() + *row.starX);
            EXPECT_LE(*yellow, row.origin.x() + *row.starX + 2);
        }
    }
}

TEST(ChartPainter, hugeAndMalformedValuesPaintWithoutError)
{
    const char* texts[] = {
        "a,4294967295,4294967295",
        "a,2147483648,2147483648",
        "a,-50,-10",
        "a,99999999999999999999,x",
        "\"unterminated,,,",
        "",
        "\xff\xfe,\x01,\"\"",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        const QImage image = paintItem(QString::fromLatin1(text));
        EXPECT_EQ(image.pixel(0, 0), White);
        EXPECT_EQ(image.pixel(ItemWidth - 1, 1), White);
    }
    // The longest bar runs past the item's right edge, uncut and unscaled; its star lies far beyond.
    const QImage longest = paintItem("a,4294967295,4294967295");
    for (int x = 20; x < longest.width(); ++x)
        ASSERT_EQ(longest.pixel(x, 10), Green) << x;
    EXPECT_FALSE(firstYellowColumn(longest));
}

TEST(ChartPainter, restoresThePainterState)
{
    QImage image = canvas({});
    QPainter painter(&image);
    QFont font = itemFont();
    font.setItalic(true);
    painter.setFont(font);
    painter.setPen(QColor(1, 2, 3));
    painter.setBrush(QColor(4, 5, 6));
    painter.setBackgroundMode(Qt::OpaqueMode);
    paintResultLine(painter, QRect(0, 0, ItemWidth, ItemHeight), R"(",",610,587)");
    EXPECT_EQ(painter.font(), font);
    EXPECT_EQ(painter.pen().color(), QColor(1, 2, 3));
    EXPECT_EQ(painter.brush().color(), QColor(4, 5, 6));
    EXPECT_EQ(painter.backgroundMode(), Qt::OpaqueMode);
}
