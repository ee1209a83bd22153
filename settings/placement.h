// SPDX-License-Identifier: GPL-3.0-or-later
// Where the main window opens: its last bounds from the INI file, kept inside the work area.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace touchdrill {

// A rectangle of the desktop in screen pixels; right and bottom lie just outside it.
struct WorkArea {
    int left;
    int top;
    int right;
    int bottom;
};

// One screen: all of it, and its work area (the screen minus task bars and docks).
struct ScreenArea {
    WorkArea whole;
    WorkArea work;
};

// A window's outer size, frame included, in pixels.
struct WindowSize {
    int width;
    int height;
};

// The window's outer bounds, frame included, in screen pixels.
struct WindowBounds {
    int left;
    int top;
    int width;
    int height;
};

// The bounds stored in section "Form" of `iniPath` (keys "Top", "Left", "Width", "Height"), with
// the primary work area's top-left corner and the current size for whatever is missing or invalid.
// The stored top-left corner is kept on the screen that holds it (the primary one when none does):
// a left or top that would leave less than 100 pixels of the window on that screen's work area, or
// that lies before its start, is moved to the work area's edge.
// A width or height below `minimum` (the least at which the window's controls show) is raised to
// it; one larger than that work area shrinks to the work area's, and the window then starts at the
// work area's edge in that direction, so that all of it is on screen. The work area wins over
// `minimum` on a screen too small for both. Sizes in between are taken as stored.
// `screens` lists every screen, the primary one first; an empty list throws std::invalid_argument.
// Another window keeps its bounds the same way in a section of its own (`section`).
WindowBounds restorePlacement(const std::string& iniPath, const std::vector<ScreenArea>& screens,
    int currentWidth, int currentHeight, std::string_view section = "Form", WindowSize minimum = { 1, 1 });

// The same on a desktop of one screen that is all work area.
WindowBounds restorePlacement(const std::string& iniPath, const WorkArea& area, int currentWidth,
    int currentHeight, WindowSize minimum = { 1, 1 });

// Whether section `section` of `iniPath` holds a position ("Left" or "Top" as an integer): a window
// whose position was never stored (or only its size, by a platform that keeps no positions) opens
// where placeBeside() puts it.
bool hasStoredPosition(const std::string& iniPath, std::string_view section);

// Where a window of size `wanted` opens the first time, beside the window with the outer bounds
// `beside`, inside `area` (the work area of that window's screen). The first side where it fits
// whole wins: right of it, else left of it, else below it; it lines up with that window's top (or
// left) edge as far as the work area lets it. Where it fits whole nowhere, it shrinks along one
// side to the room there: the side that keeps it largest. Where every side has less room than
// `minimum`, it takes its least size on the side where it covers the least of the other window, at
// the work area's far edge. The size is first raised to `minimum` and fitted to the work area,
// which wins over `minimum`.
WindowBounds placeBeside(
    const WindowBounds& beside, WindowSize wanted, const WorkArea& area, WindowSize minimum = { 1, 1 });

// Which keys a save writes. A platform that does not tell a window where it is (Wayland) saves the
// size only, so the position another session stored stays as it was.
enum class SavedKeys { PositionAndSize, SizeOnly };

// Writes the bounds to section "Form" of `iniPath` in decimal, in the order top, left, width,
// height (width and height only with SavedKeys::SizeOnly). Throws std::runtime_error with the text
// "<iniPath> に書き込めません" at the first key that cannot be written; the keys after it are left
// as they were.
void savePlacement(const std::string& iniPath, const WindowBounds& bounds,
    SavedKeys keys = SavedKeys::PositionAndSize, std::string_view section = "Form");

} // namespace touchdrill
