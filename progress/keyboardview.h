// SPDX-License-Identifier: GPL-3.0-or-later
// The JIS keyboard coloured by each character's recent average or accuracy, or by the finger that
// types it, with its legend.
#pragma once

#include "figures/fingermap.h"
#include "figures/progressfigures.h"
#include "progress/keyboardlayout.h"

#include <QWidget>

#include <array>
#include <optional>
#include <vector>

namespace touchdrill {

class KeyboardView : public QWidget {
    Q_OBJECT
public:
    enum class Colouring { Average, Accuracy, Finger };

    explicit KeyboardView(QWidget* parent = nullptr);

    void setSummaries(const std::vector<figures::KeySummary>& keys);
    void setColouring(Colouring colouring);
    // The finger colouring's map, and the finger whose keys it outlines (none: no finger is slow).
    void setFingers(const figures::FingerMap& map, std::optional<figures::Finger> slow);
    // The finger outlined as the slowest, while the keys are coloured by finger.
    std::optional<figures::Finger> outlinedFinger() const;
    Colouring colouring() const { return m_colouring; }
    // The character shown in the chart, 0 for none. Does not emit characterChosen.
    void setSelected(unsigned char code);
    unsigned char selected() const { return m_current.code; }

    // Where the keys lie in the widget: one unit is one letter key's pitch.
    double unit() const;
    QPointF origin() const;
    QRectF toPixels(const QRectF& units) const;
    QPointF toUnits(const QPointF& pixels) const;
    // The key colour of a character, or nullopt for a key drawn plainly (no data, or too little).
    std::optional<QColor> colourOf(unsigned char code) const;

    // Where the legend's colour bar lies: its left edge is the good end of the scale.
    QRectF legendBar() const;

    // Pale yellow for good, through orange, to dark red for bad (figures::heatColour).
    static QColor heatColour(double position);
    static QColor plainColour();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void characterChosen(unsigned char code);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void choose(const KeyHit& hit);
    void paintKey(QPainter& painter, const KeyCap& key) const;
    void paintLegend(QPainter& painter) const;
    void paintFingerLegend(QPainter& painter) const;
    void outlineSlowKeys(QPainter& painter, const KeyCap& key, const QPainterPath& cap) const;
    int legendHeight() const;
    const figures::KeySummary* summaryOf(unsigned char code) const;
    QString describe(unsigned char code) const;

    std::vector<figures::KeySummary> m_keys;
    std::array<int, 256> m_index {}; // code -> index into m_keys, -1 for none
    figures::HeatScale m_scale = figures::averageScale();
    Colouring m_colouring = Colouring::Average;
    figures::FingerMap m_fingerMap = figures::FingerMap::standard();
    std::optional<figures::Finger> m_slowFinger;
    KeyHit m_current; // the chosen key half; key -1 for none
};

} // namespace touchdrill
