// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/blockprogressbar.h"

#include <QPainter>

#include <algorithm>
#include <cstdlib>

namespace touchdrill {

BlockProgressBar::BlockProgressBar(QWidget* parent)
    : QWidget(parent)
{
    // paintEvent covers every pixel, so nothing beneath needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BlockProgressBar::setRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = std::max(minimum, maximum);
    m_value = std::clamp(m_value, m_minimum, m_maximum);
    update();
}

void BlockProgressBar::setValue(int value)
{
    value = std::clamp(value, m_minimum, m_maximum);
    if (value == m_value)
        return;
    const int from = filledWidth(m_value);
    const int to = filledWidth(value);
    m_value = value;
    // Only the columns between the old and the new end of the bar change.
    if (from != to) {
        const QRect t = trough();
        update(QRect(t.x() + std::min(from, to), t.y(), std::abs(to - from), t.height()));
    }
}

QRect BlockProgressBar::trough() const
{
    return rect().adjusted(2, 2, -2, -2);
}

int BlockProgressBar::filledWidth(int value) const
{
    const int span = m_maximum - m_minimum;
    const QRect t = trough();
    if (span <= 0 || t.width() <= 0 || t.height() <= 0)
        return 0;
    return static_cast<int>(static_cast<long long>(t.width()) * (value - m_minimum) / span);
}

void BlockProgressBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect frame = rect();
    p.fillRect(frame, palette().color(QPalette::Button));
    // A sunken one-pixel frame around the trough.
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(frame.topLeft(), frame.topRight());
    p.drawLine(frame.topLeft(), frame.bottomLeft());
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(frame.bottomLeft(), frame.bottomRight());
    p.drawLine(frame.topRight(), frame.bottomRight());

    const QRect t = trough();
    const int filled = filledWidth(m_value);
    if (filled <= 0)
        return;
    const int block = std::max(2, t.height() * 2 / 3);
    const int gap = 2;
    const QColor colour = palette().color(QPalette::Highlight);
    for (int x = 0; x < filled; x += block + gap) {
        const int width = std::min(block, filled - x);
        p.fillRect(t.x() + x, t.y(), width, t.height(), colour);
    }
}

} // namespace touchdrill
