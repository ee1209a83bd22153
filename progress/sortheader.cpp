// SPDX-License-Identifier: GPL-3.0-or-later
// The sort arrow turned to read as the learner reads it, whichever way the style draws it.
#include "progress/sortheader.h"

#include <QHash>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionHeader>

namespace touchdrill {

namespace {

// Whether the style draws SortDown as ▼. Styles disagree: Fusion does, the Windows style draws it
// as ▲. Drawn once per style into a small picture, the arrow's widest end tells which way it
// points.
bool drawsSortDownPointingDown(const QStyle* style)
{
    static QHash<QString, bool> known;
    const QString name = style->name();
    if (const auto found = known.constFind(name); found != known.constEnd())
        return *found;
    constexpr int Size = 24;
    QImage image(Size, Size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        QStyleOptionHeader option;
        option.rect = QRect(0, 0, Size, Size);
        option.sortIndicator = QStyleOptionHeader::SortDown;
        style->drawPrimitive(QStyle::PE_IndicatorHeaderArrow, &option, &painter);
    }
    int top = -1;
    int bottom = -1;
    int topWidth = 0;
    int bottomWidth = 0;
    for (int y = 0; y < Size; ++y) {
        int width = 0;
        for (int x = 0; x < Size; ++x)
            width += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
        if (width == 0)
            continue;
        if (top < 0) {
            top = y;
            topWidth = width;
        }
        bottom = y;
        bottomWidth = width;
    }
    // Nothing drawn, or no telling: QHeaderView's own choice stands.
    const bool down = top >= 0 && bottom > top ? topWidth > bottomWidth : false;
    known.insert(name, down);
    return down;
}

} // namespace

SortHeader::SortHeader(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(true);
    setHighlightSections(true);
}

void SortHeader::initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const
{
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    if (option->sortIndicator == QStyleOptionHeader::None)
        return;
    // ▼ when the largest come first, as a list read from the top runs down.
    const bool wantDown = sortIndicatorOrder() == Qt::DescendingOrder;
    const bool sortDownIsDown = drawsSortDownPointingDown(style());
    option->sortIndicator
        = wantDown == sortDownIsDown ? QStyleOptionHeader::SortDown : QStyleOptionHeader::SortUp;
}

} // namespace touchdrill
