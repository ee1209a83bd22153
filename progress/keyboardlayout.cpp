// SPDX-License-Identifier: GPL-3.0-or-later
// The JIS 106/109 keyboard's typing rows: key widths, legends, hit-testing and arrow-key moves.
#include "progress/keyboardlayout.h"

#include "drill/jiskeyboard.h"

#include <cmath>
#include <limits>

namespace touchdrill {

namespace {

// Each row left to right: an edge key of the given width, the row's character keys (one unit each),
// then the edge key on the right. Widths follow the 109-key board: Tab 1.5, 英数 1.75, Shift 2.25.
struct RowShape {
    const char* leftName;
    double leftWidth;
    const char* rightName;
};

QString legend(char c)
{
    return c ? QString(QLatin1Char(c)) : QString();
}

std::vector<KeyCap> buildKeys()
{
    const RowShape rows[KeyboardLayout::Rows] = {
        { "半/全", 1.0, "BS" },
        { "Tab", 1.5, "Enter" },
        { "英数", 1.75, nullptr },
        { "Shift", 2.25, "Shift" },
    };
    static_assert(KeyboardLayout::Rows == JisRows);

    std::vector<KeyCap> keys;
    for (int row = 0; row < KeyboardLayout::Rows; ++row) {
        const RowShape& shape = rows[row];
        KeyCap left;
        left.rect = QRectF(0, row, shape.leftWidth, 1);
        left.name = QString::fromUtf8(shape.leftName);
        keys.push_back(left);

        double x = shape.leftWidth;
        for (const JisKey& c : JisKeys) {
            if (c.row != row)
                continue;
            KeyCap key;
            key.rect = QRectF(x, row, 1, 1);
            key.kana = QString::fromUtf8(c.kana);
            key.base = static_cast<unsigned char>(c.base);
            key.shifted = static_cast<unsigned char>(c.shifted);
            // Both keys type the backslash: the number row's cap shows the yen sign, the ro key's the
            // backslash, in its full-width form, which Japanese fonts never draw as a yen sign.
            if (c.base == '\\')
                key.baseLegend = row == 0 ? QStringLiteral("¥") : QStringLiteral("＼");
            else
                key.baseLegend = legend(c.base);
            key.shiftedLegend = legend(c.shifted);
            keys.push_back(key);
            x += 1;
        }

        if (shape.rightName) {
            KeyCap right;
            right.rect = QRectF(x, row, KeyboardLayout::Width - x, 1);
            right.name = QString::fromUtf8(shape.rightName);
            if (row == 1) // Enter reaches down into the home row, narrower there
                right.lower = QRectF(13.75, 2, KeyboardLayout::Width - 13.75, 1);
            keys.push_back(right);
        }
    }
    return keys;
}

QPointF centre(const KeyCap& key, bool upper)
{
    return KeyboardLayout::half(key, upper).center();
}

} // namespace

const std::vector<KeyCap>& KeyboardLayout::keys()
{
    static const std::vector<KeyCap> all = buildKeys();
    return all;
}

QRectF KeyboardLayout::half(const KeyCap& key, bool upper)
{
    if (!key.shifted)
        return key.rect;
    const double h = key.rect.height() / 2;
    return upper ? QRectF(key.rect.left(), key.rect.top(), key.rect.width(), h)
                 : QRectF(key.rect.left(), key.rect.top() + h, key.rect.width(), h);
}

std::optional<KeyHit> KeyboardLayout::hitTest(const QPointF& point)
{
    const std::vector<KeyCap>& all = keys();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const KeyCap& key = all[i];
        if (!key.typesCharacters())
            continue;
        // Half-open cells, so that a point on a shared edge belongs to one key only.
        const QRectF& r = key.rect;
        if (point.x() < r.left() || point.x() >= r.right() || point.y() < r.top() || point.y() >= r.bottom())
            continue;
        const bool upper = key.shifted && point.y() < r.top() + r.height() / 2;
        return KeyHit { static_cast<int>(i), upper, upper ? key.shifted : key.base };
    }
    return std::nullopt;
}

std::vector<KeyHit> KeyboardLayout::keysFor(unsigned char code)
{
    std::vector<KeyHit> found;
    const std::vector<KeyCap>& all = keys();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (code && all[i].base == code)
            found.push_back({ static_cast<int>(i), false, code });
        if (code && all[i].shifted == code)
            found.push_back({ static_cast<int>(i), true, code });
    }
    return found;
}

KeyHit KeyboardLayout::neighbour(const KeyHit& from, Direction direction)
{
    const std::vector<KeyCap>& all = keys();
    if (from.key < 0 || from.key >= static_cast<int>(all.size()))
        return from;
    const KeyCap& key = all[static_cast<std::size_t>(from.key)];
    auto at = [&all](int index, bool upper) {
        const KeyCap& k = all[static_cast<std::size_t>(index)];
        const bool half = upper && k.shifted;
        return KeyHit { index, half, half ? k.shifted : k.base };
    };

    switch (direction) {
    case Direction::Left:
    case Direction::Right: {
        const int step = direction == Direction::Left ? -1 : 1;
        const int next = from.key + step;
        if (next < 0 || next >= static_cast<int>(all.size())
            || !all[static_cast<std::size_t>(next)].typesCharacters()
            || all[static_cast<std::size_t>(next)].rect.top() != key.rect.top())
            return from;
        return at(next, from.upper);
    }
    case Direction::Up:
    case Direction::Down: {
        const bool up = direction == Direction::Up;
        if (key.shifted && from.upper != up)
            return at(from.key, up); // the other half of the same key
        const double row = key.rect.top() + (up ? -1 : 1);
        const double x = centre(key, from.upper).x();
        int best = -1;
        double bestDistance = std::numeric_limits<double>::max();
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (!all[i].typesCharacters() || all[i].rect.top() != row)
                continue;
            const double distance = std::abs(all[i].rect.center().x() - x);
            // Between two keys equally near, down goes to the right one and up to the left one,
            // as the rows are staggered: f lies over v, and r over f.
            if (distance < bestDistance || (!up && distance == bestDistance)) {
                best = static_cast<int>(i);
                bestDistance = distance;
            }
        }
        if (best < 0)
            return from;
        // Entering a key from below lands on its lower half, from above on its upper half.
        return at(best, !up);
    }
    }
    return from;
}

} // namespace touchdrill
