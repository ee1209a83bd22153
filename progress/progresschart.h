// SPDX-License-Identifier: GPL-3.0-or-later
// The chart over time: response time and accuracy per drill (or per day), with dates. A character's
// chart shows, for drills that kept answers, the median with its inter-quartile band and marks the
// drills that set a new best; the chart of every character, and a character's drills from before
// answers were kept, show the average.
#pragma once

#include "figures/chartaxis.h"
#include "figures/progressfigures.h"

#include <QFont>
#include <QPolygonF>
#include <QWidget>

#include <optional>

namespace touchdrill {

class ProgressChart : public QWidget {
    Q_OBJECT
public:
    explicit ProgressChart(QWidget* parent = nullptr);

    // The stretch of time the x axis shows, in UTC milliseconds.
    struct TimeSpan {
        int64_t fromUtcMs = 0;
        int64_t toUtcMs = 0;
    };

    // `subject` names what the series covers, e.g. 「すべての文字」 or 「文字 a」. The x axis
    // shows `span`, widened to any point beyond it; without one, it fits the points.
    void setSeries(figures::Series series, const QString& subject, std::optional<TimeSpan> span = {});
    const figures::Series& series() const { return m_series; }
    TimeSpan span() const { return { m_fromUtcMs, m_toUtcMs }; }

    // Where things are drawn, in widget pixels.
    QRectF plotRect() const;
    // A point's x: in proportion to its time (a day's point at the day's noon), those of unknown
    // date in a strip of their own at the right.
    double xOf(int index) const;
    // The x of a moment on the axis.
    double xAt(int64_t utcMs) const;
    // The ticks under the plot at its present width, on the learner's clock.
    figures::TimeAxis timeAxis() const;
    // Whether the line into this point from the one before is dashed, for the days without
    // practice between them.
    bool dashedTo(int index) const;
    // The time a point shows: the median of its answers where it kept them, else the average.
    std::optional<double> timeOf(int index) const;
    // Whether timeOf() is a median.
    bool showsMedian(int index) const;
    std::optional<QPointF> averagePoint(int index) const; // nullopt for a point without an answer
    // The lower and upper quartiles' y, for a point that kept answers, held to the plot.
    std::optional<std::pair<double, double>> bandOf(int index) const;
    std::optional<QPointF> accuracyPoint(int index) const;
    // The arrow that stands in for the dot of a point beyond its axis, at the edge of the plot it
    // lies beyond; empty for a point on the axis or without a value.
    QPolygonF averageCutMark(int index) const;
    QPolygonF accuracyCutMark(int index) const;
    // The point under x, or -1 when the series is empty or x lies outside the plot.
    int pointAt(const QPointF& position) const;
    // What hovering the point shows.
    QString pointText(int index) const;
    // The top of the average axis and the bottom of the accuracy axis.
    double averageTop() const { return m_averageAxis.high; }
    double accuracyBottom() const { return m_accuracyAxis.low; }
    int highlighted() const { return m_highlighted; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void highlight(int index);
    void showPointTip(int index);
    QString dateText(int64_t utcMs, bool withTime) const;
    double unknownStrip() const; // the width kept for drills of unknown date; 0 without them
    // xAt() and xOf() for a plot and a strip worked out once for many points.
    double xAt(int64_t utcMs, const QRectF& plot, double strip) const;
    double xOf(int index, const QRectF& plot, double strip) const;

    figures::Series m_series;
    QString m_subject;
    bool m_spanChosen = false;
    int64_t m_fromUtcMs = 0;
    int64_t m_toUtcMs = 1;
    std::vector<int64_t> m_at; // each point's moment on the axis, UTC; unused for an unknown date
    std::vector<int64_t> m_days; // each point's day on the learner's clock, or figures::UnknownDay
    bool m_anyUnknown = false;
    // Each point's quartiles, for those that kept answers.
    std::vector<std::optional<figures::SeriesPoint::Quartiles>> m_quartiles;
    bool m_anyMedian = false;
    figures::ChartAxis m_averageAxis = figures::averageAxis({});
    figures::ChartAxis m_accuracyAxis = figures::accuracyAxis({});
    int m_highlighted = -1;
    // plotRect() and unknownStrip() measure texts: worked out once per size, font and series, not
    // at each of a long series' points.
    struct Geometry {
        QSize size;
        QFont font;
        QRectF plot;
        double strip = 0;
    };
    mutable std::optional<Geometry> m_geometry;
    const Geometry& geometry() const;
};

} // namespace touchdrill
