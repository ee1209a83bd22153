#include "settings/placement.h"

#include "settings/inifile.h"
#include "settings/iniinteger.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace touchdrill {

namespace {
constexpr std::string_view Section = "Form";
// How much of the window must stay within the work area, measured from its top-left corner.
constexpr int64_t VisibleMargin = 100;
} // namespace

WindowBounds restorePlacement(
    const std::string& iniPath, const WorkArea& area, int currentWidth, int currentHeight)
{
    WindowBounds bounds {};
    bounds.top = readIniInteger(iniPath, Section, "Top", area.top);
    bounds.left = readIniInteger(iniPath, Section, "Left", area.left);
    bounds.width = readIniInteger(iniPath, Section, "Width", currentWidth);
    bounds.height = readIniInteger(iniPath, Section, "Height", currentHeight);
    flushIniCache(iniPath);

    // 64-bit so that a work area ending near INT_MIN cannot make "right - 100" overflow.
    if (bounds.left > area.right - VisibleMargin)
        bounds.left = area.left;
    if (bounds.left < area.left)
        bounds.left = area.left;
    if (bounds.top < area.top)
        bounds.top = area.top;
    if (bounds.top > area.bottom - VisibleMargin)
        bounds.top = area.top;
    return bounds;
}

void savePlacement(const std::string& iniPath, const WindowBounds& bounds)
{
    const std::pair<std::string_view, int> keys[] = {
        { "Top", bounds.top },
        { "Left", bounds.left },
        { "Width", bounds.width },
        { "Height", bounds.height },
    };
    for (const auto& [key, value] : keys) {
        if (!writeIniString(iniPath, Section, key, std::to_string(value)))
            throw std::runtime_error(iniPath + " に書き込めません");
    }
    flushIniCache(iniPath);
}

} // namespace touchdrill
