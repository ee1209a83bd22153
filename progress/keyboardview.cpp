// SPDX-License-Identifier: GPL-3.0-or-later
// The JIS keyboard coloured by each character's recent figures: painting, clicks and arrow keys.
#include "progress/keyboardview.h"

#include "drill/palette.h"
#include "figures/heatpalette.h"
#include "progress/progresstext.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace touchdrill {

namespace {

constexpr double Margin = 4; // pixels around the keys
constexpr double Gap = 0.06; // units between neighbouring keycaps
QColor toQColor(Rgb colour)
{
    return QColor(colour.r, colour.g, colour.b);
}

const QColor EdgeKeyColour = toQColor(palette::EdgeKey);
const QColor OutlineColour = toQColor(palette::KeyOutline);
const QColor SelectionColour = toQColor(palette::KeySelection);

figures::Rgb toRgb(const QColor& colour)
{
    return { static_cast<uint8_t>(colour.red()), static_cast<uint8_t>(colour.green()),
        static_cast<uint8_t>(colour.blue()) };
}

figures::HeatScale scaleFor(KeyboardView::Colouring colouring)
{
    return colouring == KeyboardView::Colouring::Accuracy ? figures::accuracyScale()
                                                          : figures::averageScale();
}

// What the legend says of a plain key.
QString plainKeyText()
{
    return QStringLiteral("記録なし・データ不足");
}

QRectF inset(const QRectF& r, double by)
{
    return r.adjusted(by, by, -by, -by);
}

} // namespace

KeyboardView::KeyboardView(QWidget* parent)
    : QWidget(parent)
{
    m_index.fill(-1);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

QColor KeyboardView::heatColour(double position)
{
    return toQColor(figures::heatColour(position));
}

QColor KeyboardView::plainColour()
{
    return toQColor(figures::noDataColour());
}

void KeyboardView::setSummaries(const std::vector<figures::KeySummary>& keys)
{
    m_keys = keys;
    m_index.fill(-1);
    for (std::size_t i = 0; i < m_keys.size(); ++i)
        m_index[m_keys[i].code] = static_cast<int>(i);
    m_scale = scaleFor(m_colouring);
    update();
}

void KeyboardView::setColouring(Colouring colouring)
{
    m_colouring = colouring;
    m_scale = scaleFor(m_colouring);
    update();
}

void KeyboardView::setFingers(const figures::FingerMap& map, std::optional<figures::Finger> slow)
{
    m_fingerMap = map;
    m_slowFinger = slow;
    update();
}

std::optional<figures::Finger> KeyboardView::outlinedFinger() const
{
    return m_colouring == Colouring::Finger ? m_slowFinger : std::nullopt;
}

void KeyboardView::setSelected(unsigned char code)
{
    if (code == m_current.code)
        return;
    const std::vector<KeyHit> hits = KeyboardLayout::keysFor(code);
    m_current = hits.empty() ? KeyHit {} : hits.front();
    update();
}

const figures::KeySummary* KeyboardView::summaryOf(unsigned char code) const
{
    const int index = m_index[code];
    return index < 0 ? nullptr : &m_keys[static_cast<std::size_t>(index)];
}

std::optional<QColor> KeyboardView::colourOf(unsigned char code) const
{
    if (m_colouring == Colouring::Finger) {
        if (!isPracticeCode(code))
            return std::nullopt;
        return toQColor(figures::fingerColour(static_cast<int>(figures::indexOf(m_fingerMap.finger(code)))));
    }
    const figures::KeySummary* key = summaryOf(code);
    if (!key)
        return std::nullopt;
    const std::optional<double> position = figures::heatPosition(*key,
        m_colouring == Colouring::Average ? figures::HeatMeasure::Average : figures::HeatMeasure::Accuracy);
    if (!position)
        return std::nullopt;
    return heatColour(*position);
}

int KeyboardView::legendHeight() const
{
    // The bar, its ticks and the labels under them.
    return fontMetrics().height() * 2 + 10;
}

double KeyboardView::unit() const
{
    const double byWidth = (width() - 2 * Margin) / KeyboardLayout::Width;
    const double byHeight = (height() - 2 * Margin - legendHeight()) / KeyboardLayout::Rows;
    return std::max(1.0, std::min(byWidth, byHeight));
}

QPointF KeyboardView::origin() const
{
    const double keysWidth = unit() * KeyboardLayout::Width;
    return { std::max(Margin, (width() - keysWidth) / 2), Margin };
}

QRectF KeyboardView::toPixels(const QRectF& units) const
{
    const double u = unit();
    const QPointF o = origin();
    return { o.x() + units.x() * u, o.y() + units.y() * u, units.width() * u, units.height() * u };
}

QPointF KeyboardView::toUnits(const QPointF& pixels) const
{
    const double u = unit();
    const QPointF o = origin();
    return { (pixels.x() - o.x()) / u, (pixels.y() - o.y()) / u };
}

QSize KeyboardView::sizeHint() const
{
    return { static_cast<int>(KeyboardLayout::Width * 38 + 2 * Margin),
        4 * 38 + 2 * static_cast<int>(Margin) + legendHeight() };
}

QSize KeyboardView::minimumSizeHint() const
{
    return { static_cast<int>(KeyboardLayout::Width * 23 + 2 * Margin),
        4 * 24 + 2 * static_cast<int>(Margin) + legendHeight() };
}

void KeyboardView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    for (const KeyCap& key : KeyboardLayout::keys())
        paintKey(painter, key);

    // The chosen character, on each key that types it.
    if (m_current.code) {
        painter.save();
        QPen pen(SelectionColour, hasFocus() ? 3 : 2, hasFocus() ? Qt::DashLine : Qt::SolidLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        for (const KeyHit& hit : KeyboardLayout::keysFor(m_current.code)) {
            const KeyCap& key = KeyboardLayout::keys()[static_cast<std::size_t>(hit.key)];
            painter.drawRect(inset(toPixels(KeyboardLayout::half(key, hit.upper)), 1.5));
        }
        painter.restore();
    } else if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = toPixels(QRectF(0, 0, KeyboardLayout::Width, KeyboardLayout::Rows)).toAlignedRect();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
    paintLegend(painter);
}

void KeyboardView::paintKey(QPainter& painter, const KeyCap& key) const
{
    painter.save();
    const double u = unit();
    const double gap = Gap * u;
    QPainterPath cap;
    cap.addRoundedRect(inset(toPixels(key.rect), gap), 3, 3);
    if (!key.lower.isEmpty()) {
        QPainterPath lower;
        // Up to the upper part, so that the L of the Enter key is one piece.
        lower.addRoundedRect(inset(toPixels(key.lower), gap).adjusted(0, -2 * gap - 3, 0, 0), 3, 3);
        cap = cap.united(lower);
    }

    if (!key.typesCharacters()) {
        painter.setPen(QPen(OutlineColour, 1));
        painter.setBrush(EdgeKeyColour);
        painter.drawPath(cap);
        QFont small = font();
        small.setPixelSize(std::max(8, static_cast<int>(u * 0.26)));
        painter.setFont(small);
        painter.setPen(toQColor(palette::EdgeKeyText));
        painter.drawText(inset(toPixels(key.rect), gap + 3), Qt::AlignLeft | Qt::AlignTop, key.name);
        painter.restore();
        return;
    }

    // Each half in its character's colour: Shift's above, the plain one below.
    painter.setClipPath(cap);
    painter.setPen(Qt::NoPen);
    QColor upperColour = plainColour();
    QColor lowerColour = plainColour();
    for (const bool upper : { true, false }) {
        const unsigned char code = upper ? key.shifted : key.base;
        if (upper && !code)
            continue;
        (upper ? upperColour : lowerColour) = colourOf(code).value_or(plainColour());
        painter.setBrush(upper ? upperColour : lowerColour);
        painter.drawRect(toPixels(KeyboardLayout::half(key, upper)));
    }
    painter.setClipping(false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(OutlineColour, 1));
    painter.drawPath(cap);
    outlineSlowKeys(painter, key, cap);

    const QRectF text = inset(toPixels(key.rect), gap + std::max(2.0, u * 0.06));
    QFont legend = font();
    legend.setPixelSize(std::max(8, static_cast<int>(u * 0.34)));
    painter.setFont(legend);
    // The slow end of the palette is too dark for black legends: each half picks its own.
    const QColor upperText = toQColor(figures::textColourOn(toRgb(upperColour)));
    const QColor lowerText = toQColor(figures::textColourOn(toRgb(lowerColour)));
    painter.setPen(upperText);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignTop, key.shiftedLegend);
    painter.setPen(lowerText);
    painter.drawText(text, Qt::AlignLeft | Qt::AlignBottom, key.baseLegend);
    QFont kana = font();
    kana.setPixelSize(std::max(7, static_cast<int>(u * 0.26)));
    painter.setFont(kana);
    QColor kanaText = lowerText;
    kanaText.setAlphaF(0.6f);
    painter.setPen(kanaText);
    painter.drawText(text, Qt::AlignRight | Qt::AlignBottom, key.kana);
    painter.restore();
}

void KeyboardView::outlineSlowKeys(QPainter& painter, const KeyCap& key, const QPainterPath& cap) const
{
    const std::optional<figures::Finger> slow = outlinedFinger();
    if (!slow)
        return;
    auto isSlow = [&](unsigned char code) { return code && m_fingerMap.finger(code) == *slow; };
    const bool lower = isSlow(key.base);
    const bool upper = isSlow(key.shifted);
    if (!lower && !upper)
        return;
    // A white halo under a black line: seen on every finger's colour.
    QPainterPath path;
    if ((lower || !key.base) && (upper || !key.shifted)) {
        path = cap;
    } else {
        path.addRect(inset(toPixels(KeyboardLayout::half(key, upper)), 2.5));
    }
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(toQColor(palette::SlowFingerHalo), 5));
    painter.drawPath(path);
    painter.setPen(QPen(toQColor(palette::SlowFingerOutline), 2.5));
    painter.drawPath(path);
    painter.restore();
}

void KeyboardView::paintFingerLegend(QPainter& painter) const
{
    // 左 [小][薬][中][人]  右 [人][中][薬][小], each finger's swatch in its colour, then the outline.
    painter.save();
    const QFontMetrics metrics = fontMetrics();
    const QColor textColour = palette().color(QPalette::WindowText);
    const double top = toPixels(QRectF(0, KeyboardLayout::Rows, 1, 0)).top() + 6;
    const double h = metrics.height();
    double x = origin().x();
    static const char16_t* const Short[] = { u"小", u"薬", u"中", u"人", u"人", u"中", u"薬", u"小" };
    for (std::size_t finger = 0; finger < figures::FingerCount; ++finger) {
        if (finger % 4 == 0) {
            const QString hand = finger == 0 ? QStringLiteral("左") : QStringLiteral("右");
            if (finger > 0)
                x += h;
            painter.setPen(textColour);
            painter.drawText(QPointF(x, top + metrics.ascent()), hand);
            x += metrics.horizontalAdvance(hand) + 4;
        }
        const QColor colour = toQColor(figures::fingerColour(static_cast<int>(finger)));
        const QRectF swatch(x, top, h * 1.5, h);
        painter.setPen(QPen(OutlineColour, 1));
        painter.setBrush(colour);
        painter.drawRect(swatch);
        painter.setPen(toQColor(figures::textColourOn(toRgb(colour))));
        painter.drawText(swatch, Qt::AlignCenter, QString::fromUtf16(Short[finger]));
        x = swatch.right() + 3;
    }
    if (m_slowFinger) {
        x += h;
        const QRectF swatch(x, top, h * 1.5, h);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(toQColor(palette::SlowFingerOutline), 2.5));
        painter.drawRect(swatch);
        painter.setPen(textColour);
        painter.drawText(QPointF(swatch.right() + 4, top + metrics.ascent()),
            QStringLiteral("遅い指: %1").arg(QString::fromStdString(figures::fingerName(*m_slowFinger))));
    }
    painter.restore();
}

void KeyboardView::paintLegend(QPainter& painter) const
{
    if (m_colouring == Colouring::Finger) {
        paintFingerLegend(painter);
        return;
    }
    painter.save();
    const QFontMetrics metrics = fontMetrics();
    const QColor textColour = palette().color(QPalette::WindowText);
    const double top = toPixels(QRectF(0, KeyboardLayout::Rows, 1, 0)).top() + 6;
    const double h = metrics.height();
    double x = origin().x();

    // A plain key: no data, or too few answers to colour it.
    const QRectF swatch(x, top, h * 1.4, h);
    painter.setPen(QPen(OutlineColour, 1));
    painter.setBrush(plainColour());
    painter.drawRect(swatch);
    x = swatch.right() + 4;
    const QString none = plainKeyText();
    painter.setPen(textColour);
    painter.drawText(QPointF(x, top + metrics.ascent()), none);

    const bool average = m_colouring == Colouring::Average;
    const QRectF bar = legendBar();
    const QString goodText = average ? QStringLiteral("速い") : QStringLiteral("正確");
    painter.drawText(
        QPointF(bar.left() - 6 - metrics.horizontalAdvance(goodText), top + metrics.ascent()), goodText);
    // The palette is blended in CIELAB, not in RGB as the gradient is: enough stops to follow it.
    QLinearGradient gradient(bar.topLeft(), bar.topRight());
    constexpr int GradientStops = 16;
    for (int i = 0; i <= GradientStops; ++i) {
        const double at = static_cast<double>(i) / GradientStops;
        gradient.setColorAt(at, heatColour(at));
    }
    painter.setPen(QPen(OutlineColour, 1));
    painter.setBrush(gradient);
    painter.drawRect(bar);
    painter.setPen(textColour);
    painter.drawText(QPointF(bar.right() + 6, top + metrics.ascent()),
        average ? QStringLiteral("遅い") : QStringLiteral("不正確"));

    // The steps of the scale under the bar. The ends, which say that what lies beyond them takes
    // their colour, are always written; a step between them whose label would run into another is
    // left out, its tick stays.
    auto labelOf = [&](int step) {
        const double value = m_scale.valueAt(static_cast<double>(step) / (figures::LegendSteps - 1));
        const QString number = average ? QString::number(std::llround(value))
                                       : QStringLiteral("%1%").arg(std::llround(value * 100));
        if (step == figures::LegendSteps - 1)
            return average ? QStringLiteral("≥%1 ms").arg(number) : QStringLiteral("≤") + number;
        return step == 0 && average ? QStringLiteral("≤") + number : number;
    };
    auto labelLeft = [&](int step, const QString& label) {
        const double tickX = bar.left() + bar.width() * step / (figures::LegendSteps - 1);
        const double width = metrics.horizontalAdvance(label);
        return std::clamp(tickX - width / 2, bar.left() - h, bar.right() + h - width);
    };
    const double labelTop = bar.bottom() + 3 + metrics.ascent();
    const QString lastLabel = labelOf(figures::LegendSteps - 1);
    const double lastLeft = labelLeft(figures::LegendSteps - 1, lastLabel);
    double labelsEnd = -1e9;
    for (int i = 0; i < figures::LegendSteps; ++i) {
        const double tickX = bar.left() + bar.width() * i / (figures::LegendSteps - 1);
        painter.setPen(QPen(OutlineColour, 1));
        painter.drawLine(QPointF(tickX, bar.bottom()), QPointF(tickX, bar.bottom() + 3));
        const QString label = labelOf(i);
        const double left = labelLeft(i, label);
        const bool end = i == 0 || i == figures::LegendSteps - 1;
        if (!end && (left < labelsEnd + 4 || left + metrics.horizontalAdvance(label) + 4 > lastLeft))
            continue;
        painter.setPen(textColour);
        painter.drawText(QPointF(left, labelTop), label);
        labelsEnd = left + metrics.horizontalAdvance(label);
    }
    painter.restore();
}

QRectF KeyboardView::legendBar() const
{
    const QFontMetrics metrics = fontMetrics();
    const double h = metrics.height();
    const double top = toPixels(QRectF(0, KeyboardLayout::Rows, 1, 0)).top() + 6;
    const bool average = m_colouring == Colouring::Average;
    const double left = origin().x() + h * 1.4 + 4 + metrics.horizontalAdvance(plainKeyText()) + 3 * h
        + metrics.horizontalAdvance(average ? QStringLiteral("速い") : QStringLiteral("正確")) + 6;
    const double badWidth
        = metrics.horizontalAdvance(average ? QStringLiteral("遅い") : QStringLiteral("不正確"));
    const double width = std::max(60.0, std::min(300.0, this->width() - left - badWidth - 12));
    return { left, top, width, h };
}

QString KeyboardView::describe(unsigned char code) const
{
    if (m_colouring == Colouring::Finger)
        return QStringLiteral("%1: %2").arg(
            characterText(code), QString::fromStdString(figures::fingerName(m_fingerMap.finger(code))));
    const figures::KeySummary* key = summaryOf(code);
    if (!key)
        return QStringLiteral("%1: 記録なし").arg(characterText(code));
    return summaryText(*key);
}

bool KeyboardView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const std::optional<KeyHit> hit = KeyboardLayout::hitTest(toUnits(help->pos()));
        if (hit)
            QToolTip::showText(help->globalPos(), describe(hit->code), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void KeyboardView::choose(const KeyHit& hit)
{
    const bool changed = hit.code != m_current.code;
    m_current = hit;
    update();
    if (changed)
        emit characterChosen(hit.code);
}

void KeyboardView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (const std::optional<KeyHit> hit = KeyboardLayout::hitTest(toUnits(event->position())))
        choose(*hit);
}

void KeyboardView::keyPressEvent(QKeyEvent* event)
{
    using Direction = KeyboardLayout::Direction;
    std::optional<Direction> direction;
    switch (event->key()) {
    case Qt::Key_Left:
        direction = Direction::Left;
        break;
    case Qt::Key_Right:
        direction = Direction::Right;
        break;
    case Qt::Key_Up:
        direction = Direction::Up;
        break;
    case Qt::Key_Down:
        direction = Direction::Down;
        break;
    default:
        break;
    }
    if (direction) {
        if (m_current.key < 0) {
            // The first arrow lands on the home position's f.
            choose(KeyboardLayout::keysFor('f').front());
        } else {
            choose(KeyboardLayout::neighbour(m_current, *direction));
        }
        return;
    }

    // Typing a character chooses it; the yen sign is the backslash.
    const QString text = event->text();
    if (text.size() == 1 && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        const char16_t ch = text.at(0).unicode() == 0x00A5 ? u'\\' : text.at(0).unicode();
        if (ch >= 33 && ch <= 126) {
            const std::vector<KeyHit> hits = KeyboardLayout::keysFor(static_cast<unsigned char>(ch));
            if (!hits.empty()) {
                choose(hits.front());
                return;
            }
        }
    }
    QWidget::keyPressEvent(event);
}

} // namespace touchdrill
