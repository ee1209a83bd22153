// SPDX-License-Identifier: GPL-3.0-or-later
// The keyboard's colours, and the colour science that shows they stay readable: sRGB to CIELAB,
// the CIEDE2000 colour difference, contrast ratios and simulated colour-vision deficiencies.
#pragma once

#include "drill/palette.h"

#include <cstdint>

namespace touchdrill::figures {

using touchdrill::Rgb;

// CIELAB under the D65 white of sRGB.
struct Lab {
    double l = 0;
    double a = 0;
    double b = 0;
};

Lab labOf(Rgb colour);
// The nearest sRGB colour; a colour outside the gamut is held to its edge channel by channel.
Rgb rgbOf(const Lab& colour);
// CIEDE2000 (kL = kC = kH = 1): about 1 is a difference seen side by side, 10 one seen at a glance.
double deltaE2000(const Lab& one, const Lab& other);
// The contrast ratio of two colours from their relative luminance, as for text: 1 to 21.
double contrastRatio(Rgb one, Rgb other);

enum class ColourVision { Normal, Deuteranopia, Protanopia, Tritanopia };
// How a colour looks with the given dichromacy: the physiologically based model of Machado,
// Oliveira and Fernandes (2009) at full severity, applied to linear sRGB.
Rgb simulate(Rgb colour, ColourVision vision);

// The heat map's colours: from pale yellow for good (0) through orange to dark red for bad (1),
// lightness falling all the way, so that the order survives any single missing cone type and
// greyscale. Positions beyond 0..1 are held to the ends.
Rgb heatColour(double position);
// A key without figures: white, apart from every heat colour.
Rgb noDataColour();
// The finger colouring's colours, by finger from the left little finger (0) to the right little
// finger (7): eight hues and lightnesses picked so that each finger stands apart from the fingers
// beside it (the two index fingers included) by at least 20 CIEDE2000 units, and any two by at
// least 10, with normal vision and with each dichromacy; a finger outside 0..7 takes the 7th.
inline constexpr int FingerColourCount = 8;
Rgb fingerColour(int finger);

// Black or white, whichever stands out more against the background.
Rgb textColourOn(Rgb background);

} // namespace touchdrill::figures
