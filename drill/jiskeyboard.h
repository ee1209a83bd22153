// SPDX-License-Identifier: GPL-3.0-or-later
// The JIS 106/109 keyboard's character keys, the one description of it this program has: what
// each key types with and without Shift, its kana legend, its row and the finger that touch
// typists are taught to strike it with. The progress window's picture of the keyboard and the
// finger map are made from it; the drill's rows (practiceset.h) are checked against it.
#pragma once

#include <array>

namespace touchdrill {

struct JisKey {
    char base; // typed without Shift; '\\' for both the ¥ key and the ろ key
    char shifted; // typed with Shift; 0 where Shift types nothing (the 0 key)
    const char* kana; // its kana legend, UTF-8
    int row; // 0 the number row, 1 the upper row, 2 the home row, 3 the lower row
    int finger; // 0 the left little finger, 1 its ring finger, ..., 7 the right little finger
};

inline constexpr int JisRows = 4;
inline constexpr int JisFingers = 8;

// Row by row, each left to right.
inline constexpr std::array<JisKey, 48> JisKeys { {
    { '1', '!', "ぬ", 0, 0 }, { '2', '"', "ふ", 0, 1 }, { '3', '#', "あ", 0, 2 }, { '4', '$', "う", 0, 3 },
    { '5', '%', "え", 0, 3 }, { '6', '&', "お", 0, 4 }, { '7', '\'', "や", 0, 4 }, { '8', '(', "ゆ", 0, 5 },
    { '9', ')', "よ", 0, 6 }, { '0', 0, "わ", 0, 7 }, { '-', '=', "ほ", 0, 7 }, { '^', '~', "へ", 0, 7 },
    { '\\', '|', "ー", 0, 7 }, // the ¥ key
    { 'q', 'Q', "た", 1, 0 }, { 'w', 'W', "て", 1, 1 }, { 'e', 'E', "い", 1, 2 }, { 'r', 'R', "す", 1, 3 },
    { 't', 'T', "か", 1, 3 }, { 'y', 'Y', "ん", 1, 4 }, { 'u', 'U', "な", 1, 4 }, { 'i', 'I', "に", 1, 5 },
    { 'o', 'O', "ら", 1, 6 }, { 'p', 'P', "せ", 1, 7 }, { '@', '`', "゛", 1, 7 }, { '[', '{', "゜", 1, 7 },
    { 'a', 'A', "ち", 2, 0 }, { 's', 'S', "と", 2, 1 }, { 'd', 'D', "し", 2, 2 }, { 'f', 'F', "は", 2, 3 },
    { 'g', 'G', "き", 2, 3 }, { 'h', 'H', "く", 2, 4 }, { 'j', 'J', "ま", 2, 4 }, { 'k', 'K', "の", 2, 5 },
    { 'l', 'L', "り", 2, 6 }, { ';', '+', "れ", 2, 7 }, { ':', '*', "け", 2, 7 }, { ']', '}', "む", 2, 7 },
    { 'z', 'Z', "つ", 3, 0 }, { 'x', 'X', "さ", 3, 1 }, { 'c', 'C', "そ", 3, 2 }, { 'v', 'V', "ひ", 3, 3 },
    { 'b', 'B', "こ", 3, 3 }, { 'n', 'N', "み", 3, 4 }, { 'm', 'M', "も", 3, 4 }, { ',', '<', "ね", 3, 5 },
    { '.', '>', "る", 3, 6 }, { '/', '?', "め", 3, 7 }, { '\\', '_', "ろ", 3, 7 }, // the ろ key
} };

} // namespace touchdrill
