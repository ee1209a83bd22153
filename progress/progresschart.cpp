// SPDX-License-Identifier: GPL-3.0-or-later
// The chart over time: axes, date labels, two lines, and the values of the point under the pointer.
#include "progress/progresschart.h"

#include "drill/calendar.h"
#include "drill/palette.h"
#include "progress/progresstext.h"

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

QColor qColor(Rgb colour, int alpha = 255)
{
    return QColor(colour.r, colour.g, colour.b, alpha);
}

const QColor AverageColour = qColor(palette::ChartAverage);
const QColor AccuracyColour = qColor(palette::ChartAccuracy);
const QColor GridColour = qColor(palette::ChartGrid);
const QColor BandColour = qColor(palette::QuartileBand, palette::QuartileBandAlpha);
const QColor BestColour = qColor(palette::NewBestRing);

QString percentTickText(double fraction)
{
    return QStringLiteral("%1%").arg(std::llround(fraction * 100));
}

constexpr double Inset = 8; // keeps the first and last dots clear of the plot's edges
constexpr int64_t LeastSpanMs = MsPerHour; // drills minutes apart are spread over an hour at least

// The learner's wall clock, as the time axis counts it, and back: the clock the CSV exports write.
int64_t localMsOf(int64_t utcMs)
{
    return utcMs + int64_t(localOffsetMinutes(utcMs).value_or(0)) * MsPerMinute;
}

int64_t utcMsOf(int64_t localMs)
{
    // The offset in force at the UTC moment itself, found from the offset at the clock time read
    // as UTC: right but for the hour a clock skips or repeats.
    const int64_t guess = localMs - int64_t(localOffsetMinutes(localMs).value_or(0)) * MsPerMinute;
    return localMs - int64_t(localOffsetMinutes(guess).value_or(0)) * MsPerMinute;
}

// The arrow of a point cut off at the plot's edge, pointing out of the plot, drawn inside it so that
// it stays clear of the legend and the dates.
QPolygonF cutMark(QPointF tip, bool above)
{
    const double base = above ? tip.y() + 7 : tip.y() - 7;
    return QPolygonF({ tip, QPointF(tip.x() - 4, base), QPointF(tip.x() + 4, base) });
}

} // namespace

ProgressChart::ProgressChart(QWidget* parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, qColor(palette::ChartBackground));
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

void ProgressChart::setSeries(figures::Series series, const QString& subject, std::optional<TimeSpan> span)
{
    m_series = std::move(series);
    m_subject = subject;
    m_highlighted = -1;
    m_geometry.reset(); // the time labels and the strip depend on the series
    m_at.clear();
    m_days.clear();
    m_anyUnknown = false;
    int64_t first = INT64_MAX;
    int64_t last = INT64_MIN;
    for (const figures::SeriesPoint& point : m_series.points) {
        if (!history::isKnownTime(point.firstStartedUtcMs)) {
            m_at.push_back(0);
            m_days.push_back(figures::UnknownDay);
            m_anyUnknown = true;
            continue;
        }
        const int64_t day = dayOf(localMsOf(point.firstStartedUtcMs));
        // A day's drills are added up whenever they came: the point stands for the whole day.
        m_at.push_back(m_series.perDay ? utcMsOf(day * MsPerDay + 12 * MsPerHour) : point.firstStartedUtcMs);
        m_days.push_back(day);
        first = std::min(first, m_series.perDay ? utcMsOf(day * MsPerDay) : m_at.back());
        last = std::max(last, m_series.perDay ? utcMsOf((day + 1) * MsPerDay) : m_at.back());
    }
    m_spanChosen = span.has_value();
    if (span) {
        m_fromUtcMs = std::min(span->fromUtcMs, first);
        m_toUtcMs = std::max(span->toUtcMs, last);
    } else if (first <= last) {
        m_fromUtcMs = first;
        m_toUtcMs = last;
    } else {
        m_fromUtcMs = m_toUtcMs = QDateTime::currentMSecsSinceEpoch();
    }
    if (m_toUtcMs - m_fromUtcMs < LeastSpanMs) {
        const int64_t middle = m_fromUtcMs + (m_toUtcMs - m_fromUtcMs) / 2;
        m_fromUtcMs = middle - LeastSpanMs / 2;
        m_toUtcMs = m_fromUtcMs + LeastSpanMs;
    }
    m_quartiles.clear();
    m_anyMedian = false;
    for (const figures::SeriesPoint& point : m_series.points) {
        m_quartiles.push_back(point.quartiles());
        m_anyMedian = m_anyMedian || m_quartiles.back().has_value();
    }
    std::vector<double> averages;
    std::vector<double> accuracies;
    for (int i = 0; i < static_cast<int>(m_series.points.size()); ++i) {
        if (const auto time = timeOf(i))
            averages.push_back(*time);
        if (const auto accuracy = m_series.points[static_cast<std::size_t>(i)].accuracy())
            accuracies.push_back(*accuracy);
    }
    m_averageAxis = figures::averageAxis(averages);
    m_geometry.reset();
    m_accuracyAxis = figures::accuracyAxis(accuracies);
    update();
}

const ProgressChart::Geometry& ProgressChart::geometry() const
{
    if (m_geometry && m_geometry->size == size() && m_geometry->font == font())
        return *m_geometry;
    const QFontMetrics metrics = fontMetrics();
    // Room for the widest time label, which only a history of very slow drills makes wider.
    int labels = metrics.horizontalAdvance(QStringLiteral("00000 ms"));
    for (const double tick : m_averageAxis.ticks)
        labels = std::max(labels, metrics.horizontalAdvance(msText(tick)));
    const double left = labels + 8;
    const double right = metrics.horizontalAdvance(QStringLiteral("100%")) + 10;
    const double top = metrics.height() + 10; // the legend line
    const double bottom = metrics.height() + 8; // the dates
    const QRectF plot(
        left, top, std::max(1.0, width() - left - right), std::max(1.0, height() - top - bottom));
    const double strip = m_anyUnknown ? metrics.horizontalAdvance(QStringLiteral("日時不明")) + 2 * Inset : 0;
    m_geometry = Geometry { size(), font(), plot, strip };
    return *m_geometry;
}

QRectF ProgressChart::plotRect() const
{
    return geometry().plot;
}

double ProgressChart::unknownStrip() const
{
    return geometry().strip;
}

double ProgressChart::xAt(int64_t utcMs) const
{
    return xAt(utcMs, plotRect(), unknownStrip());
}

double ProgressChart::xAt(int64_t utcMs, const QRectF& plot, double strip) const
{
    const double width = std::max(1.0, plot.width() - 2 * Inset - strip);
    const double span = static_cast<double>(std::max<int64_t>(1, m_toUtcMs - m_fromUtcMs));
    return plot.left() + Inset + static_cast<double>(utcMs - m_fromUtcMs) / span * width;
}

double ProgressChart::xOf(int index) const
{
    return xOf(index, plotRect(), unknownStrip());
}

double ProgressChart::xOf(int index, const QRectF& plot, double strip) const
{
    if (index < 0 || index >= static_cast<int>(m_at.size()))
        return plot.left();
    const auto i = static_cast<std::size_t>(index);
    if (m_days[i] == figures::UnknownDay)
        return plot.right() - strip / 2;
    return xAt(m_at[i], plot, strip);
}

figures::TimeAxis ProgressChart::timeAxis() const
{
    const double width = std::max(1.0, plotRect().width() - 2 * Inset - unknownStrip());
    return figures::timeAxis(localMsOf(m_fromUtcMs), localMsOf(m_toUtcMs),
        width / std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('0'))));
}

bool ProgressChart::dashedTo(int index) const
{
    if (index <= 0 || index >= static_cast<int>(m_days.size()))
        return false;
    const auto i = static_cast<std::size_t>(index);
    return m_days[i] != figures::UnknownDay && m_days[i - 1] != figures::UnknownDay
        && figures::practiceGap(m_days[i - 1], m_days[i]);
}

bool ProgressChart::showsMedian(int index) const
{
    return index >= 0 && index < static_cast<int>(m_quartiles.size())
        && m_quartiles[static_cast<std::size_t>(index)].has_value();
}

std::optional<double> ProgressChart::timeOf(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_series.points.size()))
        return std::nullopt;
    if (showsMedian(index))
        return m_quartiles[static_cast<std::size_t>(index)]->median;
    return m_series.points[static_cast<std::size_t>(index)].averageMs();
}

std::optional<QPointF> ProgressChart::averagePoint(int index) const
{
    const std::optional<double> time = timeOf(index);
    if (!time)
        return std::nullopt;
    const QRectF plot = plotRect();
    return QPointF(xOf(index), plot.bottom() - m_averageAxis.position(*time) * plot.height());
}

std::optional<std::pair<double, double>> ProgressChart::bandOf(int index) const
{
    if (!showsMedian(index))
        return std::nullopt;
    const QRectF plot = plotRect();
    const auto& q = *m_quartiles[static_cast<std::size_t>(index)];
    const auto y = [&](double ms) {
        return std::clamp(
            plot.bottom() - m_averageAxis.position(ms) * plot.height(), plot.top(), plot.bottom());
    };
    return std::pair { y(q.low), y(q.high) };
}

std::optional<QPointF> ProgressChart::accuracyPoint(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_series.points.size()))
        return std::nullopt;
    const auto accuracy = m_series.points[static_cast<std::size_t>(index)].accuracy();
    if (!accuracy)
        return std::nullopt;
    const QRectF plot = plotRect();
    return QPointF(xOf(index), plot.bottom() - m_accuracyAxis.position(*accuracy) * plot.height());
}

QPolygonF ProgressChart::averageCutMark(int index) const
{
    const std::optional<QPointF> at = averagePoint(index);
    if (!at || !m_averageAxis.cuts(*timeOf(index)))
        return {};
    return cutMark(*at, true);
}

QPolygonF ProgressChart::accuracyCutMark(int index) const
{
    const std::optional<QPointF> at = accuracyPoint(index);
    if (!at || !m_accuracyAxis.cuts(*m_series.points[static_cast<std::size_t>(index)].accuracy()))
        return {};
    return cutMark(*at, false);
}

int ProgressChart::pointAt(const QPointF& position) const
{
    const QRectF plot = plotRect();
    if (m_series.points.empty() || position.x() < plot.left() || position.x() >= plot.right()
        || position.y() < plot.top() - 4 || position.y() > plot.bottom() + 4)
        return -1;
    // The nearest point; of several at one x (drills of unknown date), the first.
    const double strip = unknownStrip();
    int nearest = 0;
    double distance = std::abs(xOf(0, plot, strip) - position.x());
    for (int i = 1; i < static_cast<int>(m_series.points.size()); ++i) {
        const double d = std::abs(xOf(i, plot, strip) - position.x());
        if (d < distance) {
            nearest = i;
            distance = d;
        }
    }
    return nearest;
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
    const figures::SeriesPoint& point = m_series.points[static_cast<std::size_t>(index)];
    const QString when = m_series.perDay
        ? QStringLiteral("%1 (練習 %2 回)").arg(dateText(point.firstStartedUtcMs, false)).arg(point.drills)
        : dateText(point.firstStartedUtcMs, true);
    // The true value of a point cut off at the plot's edge.
    QString time;
    if (const auto& q = m_quartiles[static_cast<std::size_t>(index)])
        time = QStringLiteral("中央値 %1 (四分位 %2–%3 ms、答え %4 回)")
                   .arg(msText(q->median))
                   .arg(std::llround(q->low))
                   .arg(std::llround(q->high))
                   .arg(point.answerMs.size());
    else
        time = QStringLiteral("平均 %1").arg(msText(point.averageMs()));
    if (!averageCutMark(index).isEmpty())
        time += QStringLiteral(" (グラフの上端より上)");
    // A character's drills from before answers were kept: their average, said to be one.
    if (!showsMedian(index) && m_anyMedian && point.averageMs())
        time += QStringLiteral(" (回答の記録なし)");
    QString accuracy = percentText(point.accuracy());
    if (!accuracyCutMark(index).isEmpty())
        accuracy += QStringLiteral(" (グラフの下端より下)");
    QString text = QStringLiteral("%1\n%2\n%3\n正確さ %4\n正解 %5 回、ミス %6 回")
                       .arg(when, m_subject, time, accuracy)
                       .arg(point.hits)
                       .arg(point.wrong);
    if (point.newBest)
        text += QStringLiteral("\n★ 自己ベスト更新 (この種類でのいちばん良い水準を、その日の調子と偶然では"
                               "説明できないほど下回りました)");
    return text;
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
        const QString timeLabel
            = m_anyMedian ? QStringLiteral("中央値と四分位 (ms, 左)") : QStringLiteral("平均 (ms, 左)");
        for (const auto& [colour, label] : { std::pair { AverageColour, timeLabel },
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

    // The grid follows the time axis; the accuracy axis, whose ticks fall elsewhere, has tick marks
    // on the right edge. On a chart too low for a label at every tick, every other one is labelled,
    // counting from 0 ms and from 100 %.
    const auto labelEvery = [&](const figures::ChartAxis& axis) {
        const double spacing = plot.height() / std::max<std::size_t>(1, axis.ticks.size() - 1);
        return spacing < metrics.height() ? 2 : 1;
    };
    const int msEvery = labelEvery(m_averageAxis);
    for (int i = 0; i < static_cast<int>(m_averageAxis.ticks.size()); ++i) {
        const double tick = m_averageAxis.ticks[static_cast<std::size_t>(i)];
        const double y = plot.bottom() - m_averageAxis.position(tick) * plot.height();
        painter.setPen(GridColour);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        if (i % msEvery != 0)
            continue;
        painter.setPen(AverageColour);
        const QString ms = msText(tick);
        painter.drawText(
            QPointF(plot.left() - 4 - metrics.horizontalAdvance(ms), y + metrics.ascent() / 2.0 - 1), ms);
    }
    painter.setPen(AccuracyColour);
    const int percentEvery = labelEvery(m_accuracyAxis);
    const int last = static_cast<int>(m_accuracyAxis.ticks.size()) - 1;
    for (int i = last; i >= 0; --i) {
        const double tick = m_accuracyAxis.ticks[static_cast<std::size_t>(i)];
        const double y = plot.bottom() - m_accuracyAxis.position(tick) * plot.height();
        painter.drawLine(QPointF(plot.right() - 3, y), QPointF(plot.right(), y));
        if ((last - i) % percentEvery == 0)
            painter.drawText(
                QPointF(plot.right() + 4, y + metrics.ascent() / 2.0 - 1), percentTickText(tick));
    }
    painter.setPen(QPen(text, 1));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());

    if (m_series.points.empty()) {
        painter.setPen(text);
        painter.drawText(plot, Qt::AlignCenter,
            m_spanChosen ? QStringLiteral("この期間の記録はありません")
                         : QStringLiteral("まだ記録がありません"));
        return;
    }

    // The time axis: a faint line at each tick, its label under it where there is room (the axis
    // chose its step for labels side by side; a font wider than it guessed drops some).
    {
        double freeFrom = plot.left() - 1e9;
        const double baseline = plot.bottom() + 4 + metrics.ascent();
        for (const figures::TimeTick& tick : timeAxis().ticks) {
            const double x = xAt(utcMsOf(tick.localMs));
            painter.setPen(GridColour);
            painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
            painter.setPen(text);
            painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 3));
            const QString label = QString::fromStdString(tick.label);
            const double w = metrics.horizontalAdvance(label);
            const double left = std::clamp(x - w / 2, 0.0, width() - w);
            if (left < freeFrom)
                continue;
            painter.drawText(QPointF(left, baseline), label);
            freeFrom = left + w + 8;
        }
        if (const double strip = unknownStrip(); strip > 0) {
            const double x = plot.right() - strip;
            painter.setPen(QPen(text, 1, Qt::DotLine));
            painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
            painter.setPen(text);
            const QString label = QStringLiteral("日時不明");
            painter.drawText(
                QPointF(plot.right() - strip / 2 - metrics.horizontalAdvance(label) / 2.0, baseline), label);
        }
    }

    if (m_highlighted >= 0) {
        painter.setPen(QPen(qColor(palette::ChartHighlight), 1, Qt::DashLine));
        painter.drawLine(QPointF(xOf(m_highlighted), plot.top()), QPointF(xOf(m_highlighted), plot.bottom()));
    }

    // The inter-quartile band under the median line, in stretches of points that kept answers; a
    // point alone has a bar.
    const double dot = std::clamp(plot.width() / static_cast<double>(m_series.points.size()) / 3, 1.5, 3.5);
    {
        painter.setPen(Qt::NoPen);
        painter.setBrush(BandColour);
        QPolygonF upper, lower;
        const auto flush = [&] {
            if (upper.size() == 1)
                painter.drawRect(QRectF(
                    QPointF(upper[0].x() - dot, upper[0].y()), QPointF(lower[0].x() + dot, lower[0].y())));
            else if (upper.size() > 1) {
                QPolygonF band = upper;
                for (auto it = lower.crbegin(); it != lower.crend(); ++it)
                    band << *it;
                painter.drawPolygon(band);
            }
            upper.clear();
            lower.clear();
        };
        for (int i = 0; i < static_cast<int>(m_series.points.size()); ++i) {
            const auto band = bandOf(i);
            if (!band || m_days[static_cast<std::size_t>(i)] == figures::UnknownDay) {
                flush();
                if (band) { // of unknown date: a bar of its own
                    upper << QPointF(xOf(i), band->second);
                    lower << QPointF(xOf(i), band->first);
                    flush();
                }
                continue;
            }
            upper << QPointF(xOf(i), band->second);
            lower << QPointF(xOf(i), band->first);
        }
        flush();
    }

    // The two lines; a point without an answer breaks the average line, days without practice
    // dash it, and the drills of unknown date stand apart.
    for (const bool average : { false, true }) {
        const QColor colour = average ? AverageColour : AccuracyColour;
        QPainterPath path;
        QPainterPath dashed;
        std::optional<QPointF> from;
        std::vector<QPointF> dots;
        std::vector<QPolygonF> marks;
        for (int i = 0; i < static_cast<int>(m_series.points.size()); ++i) {
            const std::optional<QPointF> p = average ? averagePoint(i) : accuracyPoint(i);
            if (p && from && m_days[static_cast<std::size_t>(i)] != figures::UnknownDay) {
                QPainterPath& into = dashedTo(i) ? dashed : path;
                into.moveTo(*from);
                into.lineTo(*p);
            }
            from = p;
            if (!p)
                continue;
            QPolygonF mark = average ? averageCutMark(i) : accuracyCutMark(i);
            if (mark.isEmpty())
                dots.push_back(*p);
            else
                marks.push_back(std::move(mark));
        }
        painter.setPen(QPen(colour, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
        painter.setPen(QPen(colour, 1.5, Qt::DashLine));
        painter.drawPath(dashed);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        for (const QPointF& p : dots)
            painter.drawEllipse(p, dot, dot);
        for (const QPolygonF& mark : marks)
            painter.drawPolygon(mark);
    }

    // Each new best: a ring round its dot. In a character's chart, from the drills that kept
    // answers, an average of old among medians is a hollow dot.
    for (int i = 0; i < static_cast<int>(m_series.points.size()); ++i) {
        const std::optional<QPointF> p = averagePoint(i);
        if (!p || !averageCutMark(i).isEmpty())
            continue;
        if (m_series.points[static_cast<std::size_t>(i)].newBest) {
            painter.setPen(QPen(BestColour, 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(*p, dot + 3, dot + 3);
        } else if (m_anyMedian && !showsMedian(i)) {
            painter.setPen(QPen(AverageColour, 1));
            painter.setBrush(qColor(palette::ChartBackground));
            painter.drawEllipse(*p, dot, dot);
        }
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
