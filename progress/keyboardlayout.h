// SPDX-License-Identifier: GPL-3.0-or-later
// The JIS 106/109 keyboard's four typing rows to scale, in key widths, with each key's legends.
#pragma once

#include <QPointF>
#include <QRectF>
#include <QString>

#include <optional>
#include <vector>

namespace touchdrill {

// One key. Units: one letter key's pitch (19 mm on a real keyboard); row 0 is the number row.
struct KeyCap {
    QRectF rect; // the key's cell; for Enter its upper part
    QRectF lower; // Enter only: its lower part on the home row; empty elsewhere
    QString name; // legend of a key that types no practice character (Tab, Enter, ...)
    QString kana; // the kana legend of a character key
    unsigned char base = 0; // the character typed without Shift, 0 for none
    unsigned char shifted = 0; // with Shift, 0 for none (the 0 key types nothing with Shift)
    QString baseLegend; // as printed: the yen key shows ¥ but types the backslash
    QString shiftedLegend;

    bool typesCharacters() const { return base != 0; }
};

// Which character a point on the keyboard stands for: the upper half of a key with a Shift
// character is that character, the lower half (and the whole of a key without) the plain one.
struct KeyHit {
    int key = -1; // index into KeyboardLayout::keys()
    bool upper = false;
    unsigned char code = 0;
};

class KeyboardLayout {
public:
    static constexpr double Width = 15.0; // every row is fifteen letter keys wide
    static constexpr int Rows = 4;

    static const std::vector<KeyCap>& keys();

    // The character key at `point` (in units), or nullopt for a gap, an edge key or outside.
    static std::optional<KeyHit> hitTest(const QPointF& point);
    // The half of `key` that stands for a character: its upper or lower half.
    static QRectF half(const KeyCap& key, bool upper);
    // Keys with this character: the backslash has two (the yen key and the ro key).
    static std::vector<KeyHit> keysFor(unsigned char code);

    // Moving the choice with the arrow keys. Left and right go along the row in the same half;
    // up from a lower half goes to its upper half, from an upper half to the lower half of the
    // nearest key above (down the other way round). Stays put at an edge.
    enum class Direction { Left, Right, Up, Down };
    static KeyHit neighbour(const KeyHit& from, Direction direction);
};

} // namespace touchdrill
