// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/placement.h"

#include "settings/inifile.h"
#include "settings/iniinteger.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace touchdrill {

namespace {
// How much of the window must stay within the work area, measured from its top-left corner.
constexpr int64_t VisibleMargin = 100;
} // namespace

namespace {

bool holds(const WorkArea& area, int x, int y)
{
    return x >= area.left && x < area.right && y >= area.top && y < area.bottom;
}

// One direction of the window's size: at least `minimum` (controls that do not show, or a window
// too small to map at all, leave nothing to close), at most the work area's `areaStart` to
// `areaEnd` (a larger window would hide its title-bar buttons and take memory by the gigabyte);
// a window that the work area limits starts at its start.
void fitSize(int& start, int& size, int minimum, int areaStart, int areaEnd)
{
    size = std::max(size, std::max(minimum, 1));
    const int64_t available = int64_t { areaEnd } - areaStart;
    if (size > available) {
        size = static_cast<int>(std::max<int64_t>(available, 1));
        start = areaStart;
    }
}

} // namespace

WindowBounds restorePlacement(const std::string& iniPath, const std::vector<ScreenArea>& screens,
    int currentWidth, int currentHeight, std::string_view section, WindowSize minimum)
{
    if (screens.empty())
        throw std::invalid_argument("restorePlacement: no screen");
    const WorkArea& primary = screens.front().work;
    WindowBounds bounds {};
    bounds.top = readIniInteger(iniPath, section, "Top", primary.top);
    bounds.left = readIniInteger(iniPath, section, "Left", primary.left);
    bounds.width = readIniInteger(iniPath, section, "Width", currentWidth);
    bounds.height = readIniInteger(iniPath, section, "Height", currentHeight);
    flushIniCache(iniPath);

    // A window left on another screen stays there; a corner that no screen holds any more (a
    // screen unplugged, or moved) comes back to the primary one.
    const auto holder = std::find_if(screens.begin(), screens.end(),
        [&](const ScreenArea& screen) { return holds(screen.whole, bounds.left, bounds.top); });
    const WorkArea& area = holder == screens.end() ? primary : holder->work;

    // 64-bit so that a work area ending near INT_MIN cannot make "right - 100" overflow.
    if (bounds.left > area.right - VisibleMargin)
        bounds.left = area.left;
    if (bounds.left < area.left)
        bounds.left = area.left;
    if (bounds.top < area.top)
        bounds.top = area.top;
    if (bounds.top > area.bottom - VisibleMargin)
        bounds.top = area.top;
    fitSize(bounds.left, bounds.width, minimum.width, area.left, area.right);
    fitSize(bounds.top, bounds.height, minimum.height, area.top, area.bottom);
    return bounds;
}

WindowBounds restorePlacement(
    const std::string& iniPath, const WorkArea& area, int currentWidth, int currentHeight, WindowSize minimum)
{
    return restorePlacement(
        iniPath, { ScreenArea { area, area } }, currentWidth, currentHeight, "Form", minimum);
}

bool hasStoredPosition(const std::string& iniPath, std::string_view section)
{
    const auto holdsInteger = [&](std::string_view key) {
        const std::string text = readIniString(iniPath, section, key, {});
        // A text that is no integer gives back whichever default it is handed.
        return parseIniInteger(text, 0) == parseIniInteger(text, 1);
    };
    const bool stored = holdsInteger("Left") || holdsInteger("Top");
    flushIniCache(iniPath);
    return stored;
}

namespace {

// The length that [aStart, aStart + aLength) and [bStart, bStart + bLength) share.
int64_t shared(int64_t aStart, int64_t aLength, int64_t bStart, int64_t bLength)
{
    return std::max<int64_t>(0, std::min(aStart + aLength, bStart + bLength) - std::max(aStart, bStart));
}

// `value` moved into [low, high]; `low` wins where a degenerate work area leaves high below it.
int64_t within(int64_t value, int64_t low, int64_t high)
{
    return std::max(low, std::min(value, high));
}

} // namespace

WindowBounds placeBeside(
    const WindowBounds& beside, WindowSize wanted, const WorkArea& area, WindowSize minimum)
{
    // 64-bit: the other window's far edges, and the work area's size, may lie beyond int.
    const int64_t areaWidth = std::max<int64_t>(int64_t { area.right } - area.left, 1);
    const int64_t areaHeight = std::max<int64_t>(int64_t { area.bottom } - area.top, 1);
    const int64_t width = std::min<int64_t>(std::max({ wanted.width, minimum.width, 1 }), areaWidth);
    const int64_t height = std::min<int64_t>(std::max({ wanted.height, minimum.height, 1 }), areaHeight);
    const int64_t leastWidth = std::min<int64_t>(std::max(minimum.width, 1), width);
    const int64_t leastHeight = std::min<int64_t>(std::max(minimum.height, 1), height);
    const int64_t otherRight = int64_t { beside.left } + beside.width;
    const int64_t otherBottom = int64_t { beside.top } + beside.height;

    enum class Side { Right, Left, Below };
    constexpr Side sides[] = { Side::Right, Side::Left, Side::Below };
    // Where the room on each side begins (right, below) or ends (left), inside the work area.
    const int64_t rightStart = within(otherRight, area.left, area.right);
    const int64_t leftEnd = within(beside.left, area.left, area.right);
    const int64_t belowStart = within(otherBottom, area.top, area.bottom);
    const auto room = [&](Side side) -> int64_t {
        switch (side) {
        case Side::Right:
            return int64_t { area.right } - rightStart;
        case Side::Left:
            return leftEnd - area.left;
        case Side::Below:
            break;
        }
        return int64_t { area.bottom } - belowStart;
    };
    const auto horizontal = [](Side side) { return side != Side::Below; };
    // The window on `side`, `extent` long across it: against the other window where the room
    // takes it, else at the work area's far edge, covering as little of the other window as it can.
    const auto boundsOn = [&](Side side, int64_t extent) {
        const bool fits = extent <= room(side);
        int64_t left = 0;
        int64_t top = 0;
        int64_t w = width;
        int64_t h = height;
        if (horizontal(side)) {
            w = extent;
            top = within(beside.top, area.top, area.bottom - h);
            if (side == Side::Right)
                left = fits ? rightStart : area.right - w;
            else
                left = fits ? leftEnd - w : area.left;
        } else {
            h = extent;
            left = within(beside.left, area.left, area.right - w);
            top = fits ? belowStart : area.bottom - h;
        }
        return WindowBounds { static_cast<int>(left), static_cast<int>(top), static_cast<int>(w),
            static_cast<int>(h) };
    };

    for (const Side side : sides) {
        if (room(side) >= (horizontal(side) ? width : height))
            return boundsOn(side, horizontal(side) ? width : height);
    }

    // Shrunk to the room of the side that keeps most of it; no smaller than its least size.
    std::optional<WindowBounds> best;
    double bestArea = 0;
    for (const Side side : sides) {
        const int64_t extent = room(side);
        if (extent < (horizontal(side) ? leastWidth : leastHeight))
            continue;
        const double kept = double(extent) * double(horizontal(side) ? height : width);
        if (!best || kept > bestArea) {
            best = boundsOn(side, extent);
            bestArea = kept;
        }
    }
    if (best)
        return *best;

    // No side has room for its least size: it covers part of the other window, the least part.
    double bestCovered = 0;
    for (const Side side : sides) {
        const WindowBounds bounds = boundsOn(side, horizontal(side) ? leastWidth : leastHeight);
        const double covered = double(shared(bounds.left, bounds.width, beside.left, beside.width))
            * double(shared(bounds.top, bounds.height, beside.top, beside.height));
        if (!best || covered < bestCovered) {
            best = bounds;
            bestCovered = covered;
        }
    }
    return *best;
}

void savePlacement(
    const std::string& iniPath, const WindowBounds& bounds, SavedKeys which, std::string_view section)
{
    const std::pair<std::string_view, int> keys[] = {
        { "Top", bounds.top },
        { "Left", bounds.left },
        { "Width", bounds.width },
        { "Height", bounds.height },
    };
    const std::size_t first = which == SavedKeys::SizeOnly ? 2 : 0;
    for (std::size_t i = first; i < std::size(keys); ++i) {
        const auto& [key, value] = keys[i];
        if (!writeIniString(iniPath, section, key, std::to_string(value)))
            throw std::runtime_error(
                iniPath + " に書き込めません" + (iniTooLarge(iniPath) ? IniTooLargeText : ""));
    }
    flushIniCache(iniPath);
}

} // namespace touchdrill
