// SPDX-License-Identifier: GPL-3.0-or-later
// A top-level window's bounds kept in the INI file, for every window of the program that keeps them.
#pragma once

#include "settings/placement.h"

#include <QMargins>
#include <QRect>
#include <QSize>

#include <array>
#include <optional>
#include <string>

class QWidget;

namespace touchdrill {

// The window forwards its show, move and resize events; the rules of where it opens and what is
// stored live in settings/placement.h, this unit measures the window against them.
class WindowPlacement {
public:
    // Keeps the bounds of `window` in section `section` of the INI file. A stored size is raised
    // so that the client area gets at least `minimumClientSize` (and the window's own minimum
    // size, or its layout's), the frame on top.
    WindowPlacement(QWidget* window, std::string section, QSize minimumClientSize = QSize(1, 1));

    // Before the first show: moves and sizes the window to the bounds stored in `iniPath`, on the
    // screen that holds them, raised to the minimum and fitted to that screen's work area; what is
    // missing keeps the window's present outer size. An empty path reads nothing and keeps the
    // present bounds. With no position stored, a window given `beside` opens next to that one on
    // its screen instead, at the stored or present size, and never over it where there is room.
    void restore(const std::string& iniPath, const QWidget* beside = nullptr);
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
    // The window's bounds while it was neither maximised, full screen nor minimised.
    struct NormalBounds {
        QRect inner; // the client area in screen coordinates
        QMargins frame;
        QRect outer() const { return inner.marginsAdded(frame); }
    };

    QSize minimumClientSize() const;
    void fitOuterSize();
    void noteNormalBounds();

    QWidget* m_window;
    std::string m_section;
    QSize m_minimumClientSize;
    // The stored outer size, applied again once the frame is known; none before restore().
    std::optional<QSize> m_requestedOuterSize;
    // The work area the window opens on; none before restore().
    std::optional<QRect> m_workArea;
    // The last few different normal bounds, the newest first. A window manager may resize the
    // window to its maximised size before it marks it maximised: those bounds are then among them.
    std::array<std::optional<NormalBounds>, 8> m_normal;
    // Placed beside another window, so kept inside the work area whole once the frame is known.
    bool m_placedBeside = false;
    bool m_frameChecked = false;
    bool m_awaitingFrame = false;
};

} // namespace touchdrill
