// Where the main window opens: its last bounds from the INI file, kept inside the work area.
#pragma once

#include <string>

namespace touchdrill {

// The usable desktop of the primary screen (minus task bars), in screen pixels.
struct WorkArea {
    int left;
    int top;
    int right;
    int bottom;
};

// The window's outer bounds, frame included, in screen pixels.
struct WindowBounds {
    int left;
    int top;
    int width;
    int height;
};

// The bounds stored in section "Form" of `iniPath` (keys "Top", "Left", "Width", "Height"), with
// the work area's top-left corner and the current size for whatever is missing or invalid. A left
// or top that would leave less than 100 pixels of the window on the work area, or that lies before
// its start, is moved to the work area's edge; the size is taken as stored.
WindowBounds restorePlacement(
    const std::string& iniPath, const WorkArea& area, int currentWidth, int currentHeight);

// Writes the bounds to section "Form" of `iniPath` in decimal, in the order top, left, width,
// height. Throws std::runtime_error with the text "<iniPath> に書き込めません" at the first key
// that cannot be written; the keys after it are left as they were.
void savePlacement(const std::string& iniPath, const WindowBounds& bounds);

} // namespace touchdrill
