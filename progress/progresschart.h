// SPDX-License-Identifier: GPL-3.0-or-later
// The chart over time: average response time and accuracy per drill (or per day), with dates.
#pragma once

#include "chartaxis.h"
#include "progress.h"

#include <QPolygonF>
#include <QWidget>

namespace touchdrill {

class ProgressChart : public QWidget {
    Q_OBJECT
public:
    explicit ProgressChart(QWidget* parent = nullptr);

    // `subject` names what the series covers, e.g. 「すべての文字」 or 「文字 a」.
    void setSeries(history::Series series, const QString& subject);
    const history::Series& series() const { return m_series; }

    // Where things are drawn, in widget pixels.
    QRectF plotRect() const;
    double xOf(int index) const;
    std::optional<QPointF> averagePoint(int index) const; // nullopt for a point without an answer
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

    history::Series m_series;
    QString m_subject;
    history::ChartAxis m_averageAxis = history::averageAxis({});
    history::ChartAxis m_accuracyAxis = history::accuracyAxis({});
    int m_highlighted = -1;
};

} // namespace touchdrill
