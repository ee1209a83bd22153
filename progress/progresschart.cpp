// SPDX-License-Identifier: GPL-3.0-or-later
// The chart over time: axes, date labels, two lines, and the values of the point under the pointer.
#include "progresschart.h"

#include "progresstext.h"

#include <QDateTime>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace touchdrill {

namespace {

const QColor AverageColour(40, 90, 200);
const QColor AccuracyColour(225, 120, 20);
const QColor GridColour(225, 225, 225);

// 1, 2 or 5 times a power of ten, at least `value`.
double niceCeiling(double value)
{
    if (value <= 0)
        return 1;
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (const double step : { 1.0, 2.0, 5.0, 10.0 })
        if (step * power >= value)
            return step * power;
    return 10 * power;
}

} // namespace

ProgressChart::ProgressChart(QWidget* parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

QSize ProgressChart::sizeHint() const
{
    return { 640, 220 };
}

QSize ProgressChart::minimumSizeHint() const
{
    return { 240, 140 };
}

void ProgressChart::setSeries(history::Series series, const QString& subject)
{
    m_series = std::move(series);
    m_subject = subject;
    m_highlighted = -1;
    double slowest = 0;
    double leastAccurate = 1;
    for (const history::SeriesPoint& point : m_series.points) {
        if (const auto average = point.averageMs())
            slowest = std::max(slowest, *average);
        if (const auto accuracy = point.accuracy())
            leastAccurate = std::min(leastAccurate, *accuracy);
    }
    m_averageTop = niceCeiling(std::max(slowest, 100.0));
    // Whole tenths, never above 80 %, so that the usual 90-100 % is not flattened to a line.
    m_accuracyBottom = std::min(0.8, std::floor(leastAccurate * 10) / 10);
    update();
}

QRectF ProgressChart::plotRect() const
{
    const QFontMetrics metrics = fontMetrics();
    const double left = metrics.horizontalAdvance(QStringLiteral("00000 ms")) + 8;
    const double right = metrics.horizontalAdvance(QStringLiteral("100%")) + 10;
    const double top = metrics.height() + 10; // the legend line
    const double bottom = metrics.height() + 8; // the dates
    return QRectF(left, top, std::max(1.0, width() - left - right), std::max(1.0, height() - top - bottom));
}

double ProgressChart::xOf(int index) const
{
    const QRectF plot = plotRect();
    const auto n = static_cast<double>(std::max<std::size_t>(1, m_series.points.size()));
    return plot.left() + (index + 0.5) * plot.width() / n;
}

std::optional<QPointF> ProgressChart::averagePoint(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_series.points.size()))
        return std::nullopt;
    const auto average = m_series.points[static_cast<std::size_t>(index)].averageMs();
    if (!average)
        return std::nullopt;
    const QRectF plot = plotRect();
    const double y = plot.bottom() - std::min(*average / m_averageTop, 1.0) * plot.height();
    return QPointF(xOf(index), y);
}

std::optional<QPointF> ProgressChart::accuracyPoint(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_series.points.size()))
        return std::nullopt;
    const auto accuracy = m_series.points[static_cast<std::size_t>(index)].accuracy();
    if (!accuracy)
        return std::nullopt;
    const QRectF plot = plotRect();
    const double share = (*accuracy - m_accuracyBottom) / (1.0 - m_accuracyBottom);
    return QPointF(xOf(index), plot.bottom() - std::clamp(share, 0.0, 1.0) * plot.height());
}

int ProgressChart::pointAt(const QPointF& position) const
{
    const QRectF plot = plotRect();
    if (m_series.points.empty() || position.x() < plot.left() || position.x() >= plot.right()
        || position.y() < plot.top() - 4 || position.y() > plot.bottom() + 4)
        return -1;
    const auto n = static_cast<double>(m_series.points.size());
    const int index = static_cast<int>(std::floor((position.x() - plot.left()) * n / plot.width()));
    return std::clamp(index, 0, static_cast<int>(m_series.points.size()) - 1);
}

QString ProgressChart::dateText(int64_t utcMs, bool withTime) const
{
    if (!history::isKnownTime(utcMs))
        return QStringLiteral("日時不明");
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(utcMs).toLocalTime();
    return local.toString(withTime ? QStringLiteral("yyyy/MM/dd HH:mm") : QStringLiteral("yyyy/MM/dd"));
}

QString ProgressChart::pointText(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_series.points.size()))
        return {};
    const history::SeriesPoint& point = m_series.points[static_cast<std::size_t>(index)];
    const QString when = m_series.perDay
        ? QStringLiteral("%1 (練習 %2 回)").arg(dateText(point.firstStartedUtcMs, false)).arg(point.drills)
        : dateText(point.firstStartedUtcMs, true);
    return QStringLiteral("%1\n%2\n平均 %3\n正確さ %4\n正解 %5 回、ミス %6 回")
        .arg(when, m_subject, msText(point.averageMs()), percentText(point.accuracy()))
        .arg(point.hits)
        .arg(point.wrong);
}

void ProgressChart::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics = fontMetrics();
    const QRectF plot = plotRect();
    const QColor text = palette().color(QPalette::WindowText);

    // Legend: what each line is, and what the chart covers.
    {
        double x = plot.left();
        const double y = 4 + metrics.ascent();
        for (const auto& [colour, label] : { std::pair { AverageColour, QStringLiteral("平均 (ms, 左)") },
                 std::pair { AccuracyColour, QStringLiteral("正確さ (%, 右)") } }) {
            painter.setPen(QPen(colour, 2));
            painter.drawLine(
                QPointF(x, y - metrics.ascent() / 2.0), QPointF(x + 18, y - metrics.ascent() / 2.0));
            painter.setPen(text);
            painter.drawText(QPointF(x + 22, y), label);
            x += 22 + metrics.horizontalAdvance(label) + 16;
        }
        QString covers = m_subject;
        if (m_series.perDay)
            covers += QStringLiteral("、1 日ごと");
        painter.drawText(QPointF(x, y), covers);
    }

    // Grid and both axes: five steps each.
    painter.setPen(GridColour);
    for (int step = 0; step <= 4; ++step) {
        const double y = plot.bottom() - step * plot.height() / 4;
        painter.setPen(GridColour);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(AverageColour);
        const QString ms = QStringLiteral("%1 ms").arg(std::llround(m_averageTop * step / 4));
        painter.drawText(
            QPointF(plot.left() - 4 - metrics.horizontalAdvance(ms), y + metrics.ascent() / 2.0 - 1), ms);
        painter.setPen(AccuracyColour);
        const double accuracy = m_accuracyBottom + (1.0 - m_accuracyBottom) * step / 4;
        const QString percent = QStringLiteral("%1%").arg(std::llround(accuracy * 100));
        painter.drawText(QPointF(plot.right() + 4, y + metrics.ascent() / 2.0 - 1), percent);
    }
    painter.setPen(QPen(text, 1));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());

    if (m_series.points.empty()) {
        painter.setPen(text);
        painter.drawText(plot, Qt::AlignCenter, QStringLiteral("まだ記録がありません"));
        return;
    }

    // Dates under the points where the day changes, as many as fit side by side.
    {
        painter.setPen(text);
        double freeFrom = plot.left() - 1e9;
        QDate last;
        const int n = static_cast<int>(m_series.points.size());
        for (int i = 0; i < n; ++i) {
            const int64_t started = m_series.points[static_cast<std::size_t>(i)].firstStartedUtcMs;
            // An invalid date stands for an unknown one.
            const QDate day = history::isKnownTime(started)
                ? QDateTime::fromMSecsSinceEpoch(started).toLocalTime().date()
                : QDate();
            if (i > 0 && day == last)
                continue;
            last = day;
            const QString label
                = day.isValid() ? day.toString(QStringLiteral("MM/dd")) : QStringLiteral("不明");
            const double w = metrics.horizontalAdvance(label);
            const double x = std::clamp(xOf(i) - w / 2, 0.0, width() - w);
            if (x < freeFrom)
                continue;
            painter.drawLine(QPointF(xOf(i), plot.bottom()), QPointF(xOf(i), plot.bottom() + 3));
            painter.drawText(QPointF(x, plot.bottom() + 4 + metrics.ascent()), label);
            freeFrom = x + w + 8;
        }
    }

    if (m_highlighted >= 0) {
        painter.setPen(QPen(QColor(160, 160, 160), 1, Qt::DashLine));
        painter.drawLine(QPointF(xOf(m_highlighted), plot.top()), QPointF(xOf(m_highlighted), plot.bottom()));
    }

    // The two lines; a point without an answer breaks the average line.
    const double dot = std::clamp(plot.width() / static_cast<double>(m_series.points.size()) / 3, 1.5, 3.5);
    for (const bool average : { false, true }) {
        const QColor colour = average ? AverageColour : AccuracyColour;
        QPainterPath path;
        bool open = false;
        std::vector<QPointF> dots;
        for (int i = 0; i < static_cast<int>(m_series.points.size()); ++i) {
            const std::optional<QPointF> p = average ? averagePoint(i) : accuracyPoint(i);
            if (!p) {
                open = false;
                continue;
            }
            if (open)
                path.lineTo(*p);
            else
                path.moveTo(*p);
            open = true;
            dots.push_back(*p);
        }
        painter.setPen(QPen(colour, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        for (const QPointF& p : dots)
            painter.drawEllipse(p, dot, dot);
    }

    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = plot.toAlignedRect().adjusted(-2, -2, 2, 2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void ProgressChart::highlight(int index)
{
    if (index == m_highlighted)
        return;
    m_highlighted = index;
    update();
}

void ProgressChart::showPointTip(int index)
{
    if (index < 0) {
        QToolTip::hideText();
        return;
    }
    const std::optional<QPointF> at = averagePoint(index) ? averagePoint(index) : accuracyPoint(index);
    const QPoint local = at ? at->toPoint() : QPoint(static_cast<int>(xOf(index)), height() / 2);
    QToolTip::showText(mapToGlobal(local), pointText(index), this);
}

bool ProgressChart::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int index = pointAt(help->pos());
        highlight(index);
        if (index >= 0)
            QToolTip::showText(help->globalPos(), pointText(index), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void ProgressChart::mouseMoveEvent(QMouseEvent* event)
{
    highlight(pointAt(event->position()));
    QWidget::mouseMoveEvent(event);
}

void ProgressChart::leaveEvent(QEvent* event)
{
    if (!hasFocus())
        highlight(-1);
    QWidget::leaveEvent(event);
}

void ProgressChart::focusOutEvent(QFocusEvent* event)
{
    highlight(-1);
    QWidget::focusOutEvent(event);
}

// Without a mouse, the arrow keys walk the points and show each one's values.
void ProgressChart::keyPressEvent(QKeyEvent* event)
{
    const int n = static_cast<int>(m_series.points.size());
    int index = m_highlighted;
    switch (event->key()) {
    case Qt::Key_Left:
        index = index < 0 ? n - 1 : std::max(0, index - 1);
        break;
    case Qt::Key_Right:
        index = index < 0 ? n - 1 : std::min(n - 1, index + 1);
        break;
    case Qt::Key_Home:
        index = 0;
        break;
    case Qt::Key_End:
        index = n - 1;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    if (n == 0)
        return;
    highlight(index);
    showPointTip(index);
}

} // namespace touchdrill
