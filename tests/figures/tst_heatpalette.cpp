// SPDX-License-Identifier: GPL-3.0-or-later
// The heat map's palette: the colour formulas against published values, and the palette readable
// with every single missing cone type.
#include "figures/heatpalette.h"
#include "figures/progressfigures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

using namespace touchdrill::figures;

TEST(HeatPalette, labOfSrgb)
{
    struct Row {
        const char* name;
        Rgb colour;
        Lab lab;
    };
    const Row table[] = {
        { "white is the reference white", { 255, 255, 255 }, { 100, 0, 0 } },
        { "red", { 255, 0, 0 }, { 53.2408, 80.0925, 67.2032 } },
        { "blue", { 0, 0, 255 }, { 32.2970, 79.1875, -107.8602 } },
        { "middle grey has no hue", { 119, 119, 119 }, { 50.0344, 0, 0 } },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        const Lab lab = labOf(row.colour);
        EXPECT_NEAR(lab.l, row.lab.l, 1e-3);
        EXPECT_NEAR(lab.a, row.lab.a, 1e-3);
        EXPECT_NEAR(lab.b, row.lab.b, 1e-3);
        EXPECT_EQ(rgbOf(lab), row.colour);
    }
}

TEST(HeatPalette, deltaE2000MatchesPublishedPairs)
{
    // Pairs from the CIEDE2000 test data of Sharma, Wu and Dalal (2005), chosen for the formula's
    // traps: the hue mean across 0°, a grey against a colour, and large differences.
    struct Row {
        const char* name;
        Lab one;
        Lab other;
        double expected;
    };
    const Row table[] = {
        { "blues close in chroma", { 50, 2.6772, -79.7751 }, { 50, 0, -82.7485 }, 2.0425 },
        { "a grey against a colour", { 50, 0, 0 }, { 50, -1, 2 }, 2.3669 },
        { "hues either side of 0°", { 50, 2.49, -0.001 }, { 50, -2.49, 0.0011 }, 7.2195 },
        { "a quarter turn of hue", { 50, 2.5, 0 }, { 50, 0, -2.5 }, 4.3065 },
        { "lightness and hue apart", { 50, 2.5, 0 }, { 73, 25, -18 }, 27.1492 },
        { "bright yellows", { 90.8027, -2.0831, 1.4410 }, { 91.1528, -1.6435, 0.0447 }, 1.4441 },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_NEAR(deltaE2000(row.one, row.other), row.expected, 1e-4);
        EXPECT_NEAR(deltaE2000(row.other, row.one), row.expected, 1e-4);
    }
}

TEST(HeatPalette, simulatedVision)
{
    struct Row {
        const char* name;
        Rgb colour;
        ColourVision vision;
        Rgb seen;
    };
    const Row table[] = {
        { "red without green cones", { 255, 0, 0 }, ColourVision::Deuteranopia, { 163, 144, 0 } },
        { "green without red cones", { 0, 255, 0 }, ColourVision::Protanopia, { 255, 229, 0 } },
        { "blue without blue cones", { 0, 0, 255 }, ColourVision::Tritanopia, { 0, 107, 150 } },
        { "white stays white", { 255, 255, 255 }, ColourVision::Protanopia, { 255, 255, 255 } },
        { "grey stays grey", { 119, 119, 119 }, ColourVision::Tritanopia, { 119, 119, 119 } },
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(simulate(row.colour, row.vision), row.seen);
    }
}

// What every learner must be able to tell apart, with normal vision and with each dichromacy: the
// legend's steps, and a key with figures from a key without. 10 CIEDE2000 units is a difference
// seen at a glance rather than side by side; lightness falling all the way keeps the order in
// greyscale too.
TEST(HeatPalette, readableWithEveryColourVision)
{
    constexpr double MinDifference = 10;
    const struct {
        const char* name;
        ColourVision vision;
    } visions[] = { { "normal", ColourVision::Normal }, { "deuteranopia", ColourVision::Deuteranopia },
        { "protanopia", ColourVision::Protanopia }, { "tritanopia", ColourVision::Tritanopia } };
    for (const auto& vision : visions) {
        SCOPED_TRACE(vision.name);
        auto seen = [&](double position) { return labOf(simulate(heatColour(position), vision.vision)); };
        const Lab plain = labOf(simulate(noDataColour(), vision.vision));
        for (int i = 0; i < LegendSteps; ++i) {
            const double at = static_cast<double>(i) / (LegendSteps - 1);
            SCOPED_TRACE(at);
            EXPECT_GE(deltaE2000(plain, seen(at)), MinDifference);
            if (i > 0) {
                EXPECT_GE(deltaE2000(seen(at), seen(static_cast<double>(i - 1) / (LegendSteps - 1))),
                    MinDifference);
            }
        }
        for (int i = 1; i <= 64; ++i) {
            SCOPED_TRACE(i);
            EXPECT_LT(seen(i / 64.0).l, seen((i - 1) / 64.0).l);
        }
    }
}

TEST(HeatPalette, ends)
{
    EXPECT_EQ(heatColour(-0.5), heatColour(0.0));
    EXPECT_EQ(heatColour(3.0), heatColour(1.0));
    EXPECT_EQ(heatColour(std::numeric_limits<double>::quiet_NaN()), heatColour(0.0));
    EXPECT_NE(heatColour(0.0), heatColour(1.0));
}

TEST(HeatPalette, keyLegendsStayReadable)
{
    // Black on the pale end, white on the dark one, and at least 4.5:1 everywhere (#777 on white
    // is the classic 4.48:1).
    EXPECT_NEAR(contrastRatio({ 255, 255, 255 }, { 119, 119, 119 }), 4.48, 0.01);
    EXPECT_EQ(textColourOn(heatColour(0.0)), (Rgb { 0, 0, 0 }));
    EXPECT_EQ(textColourOn(heatColour(1.0)), (Rgb { 255, 255, 255 }));
    EXPECT_EQ(textColourOn(noDataColour()), (Rgb { 0, 0, 0 }));
    for (int i = 0; i <= 64; ++i) {
        SCOPED_TRACE(i);
        const Rgb background = heatColour(i / 64.0);
        EXPECT_GE(contrastRatio(textColourOn(background), background), 4.5);
    }
}

// The finger colouring: each finger apart from the fingers beside it (the two index fingers meet
// in the middle) at a glance, any two fingers still apart, and apart from a key without figures,
// with normal vision and each dichromacy; the key legends readable on every finger's colour.
TEST(HeatPalette, fingerColoursReadableWithEveryColourVision)
{
    constexpr double MinNeighbours = 20;
    constexpr double MinAny = 10;
    const ColourVision visions[] = { ColourVision::Normal, ColourVision::Deuteranopia,
        ColourVision::Protanopia, ColourVision::Tritanopia };
    double leastNeighbours = 1e9, leastAny = 1e9;
    for (const ColourVision vision : visions) {
        SCOPED_TRACE(static_cast<int>(vision));
        auto seen = [&](int finger) { return labOf(simulate(fingerColour(finger), vision)); };
        for (int one = 0; one < FingerColourCount; ++one) {
            SCOPED_TRACE(one);
            EXPECT_GE(deltaE2000(seen(one), labOf(simulate(noDataColour(), vision))), MinAny);
            for (int other = one + 1; other < FingerColourCount; ++other) {
                const double difference = deltaE2000(seen(one), seen(other));
                leastAny = std::min(leastAny, difference);
                if (other == one + 1)
                    leastNeighbours = std::min(leastNeighbours, difference);
            }
        }
    }
    EXPECT_GE(leastNeighbours, MinNeighbours);
    EXPECT_GE(leastAny, MinAny);
    std::printf("finger colours: neighbours >= %.1f, any two >= %.1f CIEDE2000\n", leastNeighbours, leastAny);
    for (int finger = 0; finger < FingerColourCount; ++finger) {
        SCOPED_TRACE(finger);
        const Rgb background = fingerColour(finger);
        EXPECT_GE(contrastRatio(textColourOn(background), background), 4.5);
    }
}

// The named colours a reader must tell apart, each pair apart with every colour vision, and the
// texts on their backgrounds readable (3:1 for the 64-point wrong key, 4.5:1 for table text).
TEST(HeatPalette, namedColoursStayApartWithEveryColourVision)
{
    namespace p = touchdrill::palette;
    // The quartile band as painted: its colour at its opacity over the chart's white.
    const auto over = [](uint8_t top, uint8_t under) {
        return static_cast<uint8_t>(
            std::lround((top * p::QuartileBandAlpha + under * (255 - p::QuartileBandAlpha)) / 255.0));
    };
    const Rgb band = { over(p::QuartileBand.r, p::ChartBackground.r),
        over(p::QuartileBand.g, p::ChartBackground.g), over(p::QuartileBand.b, p::ChartBackground.b) };
    const struct {
        const char* name;
        Rgb one, other;
        double least; // CIEDE2000
        double contrast; // as text on a background; 0 where neither is text
    } table[] = {
        { "the chart's average and accuracy lines", p::ChartAverage, p::ChartAccuracy, 20, 0 },
        { "the new best's ring around an average dot", p::NewBestRing, p::ChartAverage, 20, 0 },
        { "the results' green bar and yellow star", p::AverageBar, p::BestStar, 20, 0 },
        { "the quartile band on the chart", band, p::ChartBackground, 5, 0 },
        { "the highlighted drill's line on the chart", p::ChartHighlight, p::ChartBackground, 10, 0 },
        { "a weak key's row among white rows", p::WeakRowTint, p::White, 10, 0 },
        { "a weak key's row's text", p::WeakRowText, p::WeakRowTint, 20, 4.5 },
        { "the wrong key on a light grey button face", p::WrongKeyText, { 239, 239, 239 }, 20, 3 },
        { "an edge key's name on its cap", p::EdgeKeyText, p::EdgeKey, 20, 3 },
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        for (const ColourVision vision : { ColourVision::Normal, ColourVision::Deuteranopia,
                 ColourVision::Protanopia, ColourVision::Tritanopia })
            EXPECT_GE(
                deltaE2000(labOf(simulate(row.one, vision)), labOf(simulate(row.other, vision))), row.least)
                << static_cast<int>(vision);
        EXPECT_GE(contrastRatio(row.one, row.other), row.contrast);
    }
}
