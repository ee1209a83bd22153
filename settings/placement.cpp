// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/placement.h"

#include "settings/inifile.h"
#include "settings/iniinteger.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
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
            throw std::runtime_error(iniPath + " に書き込めません");
    }
    flushIniCache(iniPath);
}

} // namespace touchdrill
