// SPDX-License-Identifier: GPL-3.0-or-later
// Every colour the program paints, named by its use, in one place: the main window's as designed,
// the results list's chart, and the progress window's. The heat map's and the fingers' colours are
// worked out (figures/heatpalette.h). tst_heatpalette checks that the colours a reader must tell
// apart stay apart with each kind of colour vision.
#pragma once

#include <cstdint>

namespace touchdrill {

// An 8-bit sRGB colour, as painted.
struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

namespace palette {

inline constexpr Rgb White { 255, 255, 255 };
inline constexpr Rgb Black { 0, 0, 0 };

// The main window.
inline constexpr Rgb WindowBackground { 192, 220, 192 };
inline constexpr Rgb DrillPanel { 0, 255, 255 };
inline constexpr Rgb TargetBackground = White; // the large character's
inline constexpr Rgb WrongKeyText { 255, 0, 0 };
inline constexpr Rgb ResultsBackground = White; // the list, its rows' charts and its focus frame
inline constexpr Rgb ResultsText = Black;
inline constexpr Rgb AverageBar { 0, 128, 0 };
inline constexpr Rgb BestStar { 255, 255, 0 };

// The progress window's chart.
inline constexpr Rgb ChartBackground = White;
inline constexpr Rgb ChartAverage { 40, 90, 200 };
inline constexpr Rgb ChartAccuracy { 225, 120, 20 };
inline constexpr Rgb ChartGrid { 225, 225, 225 };
inline constexpr Rgb ChartHighlight { 160, 160, 160 }; // the dashed line through the point chosen
inline constexpr Rgb QuartileBand = ChartAverage; // drawn at this opacity out of 255
inline constexpr int QuartileBandAlpha = 45;
inline constexpr Rgb NewBestRing { 200, 150, 0 };

// The progress window's keyboard and table.
inline constexpr Rgb EdgeKey { 218, 218, 218 };
inline constexpr Rgb KeyOutline { 110, 110, 110 };
inline constexpr Rgb EdgeKeyText { 90, 90, 90 };
inline constexpr Rgb KeySelection { 20, 60, 200 };
inline constexpr Rgb SlowFingerHalo = White; // the slow finger's outline, white under black
inline constexpr Rgb SlowFingerOutline = Black;
inline constexpr Rgb WeakRowTint { 255, 226, 190 };
inline constexpr Rgb WeakRowText = Black;

} // namespace palette

} // namespace touchdrill
