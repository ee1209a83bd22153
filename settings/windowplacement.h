// SPDX-License-Identifier: GPL-3.0-or-later
// A top-level window's bounds kept in the INI file, for every window of the program that keeps them.
#pragma once

#include "settings/placement.h"

#include <QMargins>
#include <QSize>

#include <optional>
#include <string>

class QWidget;

namespace touchdrill {

// The window forwards its show, move and resize events; the rules of where it opens and what is
// stored live in settings/placement.h, this unit measures the window against them.
class WindowPlacement {
public:
    // Keeps the bounds of `window` in section `section` of the INI file.
    WindowPlacement(QWidget* window, std::string section);

    // Before the first show: moves and sizes the window to the bounds stored in `iniPath`, on the
    // screen that holds them; what is missing keeps the window's present outer size. An empty path
    // reads nothing and keeps the present bounds.
    void restore(const std::string& iniPath);
    // Writes outerNormalBounds() to `iniPath`: the size only on a platform that does not tell a
    // window where it is (Wayland). Throws std::runtime_error with the text to show.
    void save(const std::string& iniPath) const;
    // The outer bounds, frame included; a window maximised or full screen gives the normal bounds it
    // had before, so the next start opens a normal window where the user left it.
    WindowBounds outerNormalBounds() const;

    // From the window's showEvent, and from its moveEvent and resizeEvent.
    void shown();
    void movedOrResized();

private:
    void fitOuterSize();
    void noteNormalFrame();

    QWidget* m_window;
    std::string m_section;
    // The stored outer size, applied again once the frame is known; none before restore().
    std::optional<QSize> m_requestedOuterSize;
    QMargins m_normalFrame; // the frame as last seen with the window neither maximised nor full screen
    bool m_frameChecked = false;
    bool m_awaitingFrame = false;
};

} // namespace touchdrill
