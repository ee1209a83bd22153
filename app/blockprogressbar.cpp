#include "blockprogressbar.h"

#include <QPainter>
#include <QStyleOptionFrame>

namespace touchdrill {

BlockProgressBar::BlockProgressBar(QWidget* parent)
    : QProgressBar(parent)
{
    setTextVisible(false);
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

    const QRect trough = frame.adjusted(2, 2, -2, -2);
    const int span = maximum() - minimum();
    if (span <= 0 || trough.width() <= 0 || trough.height() <= 0)
        return;
    const int filled
        = static_cast<int>(static_cast<long long>(trough.width()) * (value() - minimum()) / span);
    const int block = std::max(2, trough.height() * 2 / 3);
    const int gap = 2;
    const QColor colour = palette().color(QPalette::Highlight);
    for (int x = 0; x < filled; x += block + gap) {
        const int width = std::min(block, filled - x);
        p.fillRect(trough.x() + x, trough.y(), width, trough.height(), colour);
    }
}

} // namespace touchdrill
