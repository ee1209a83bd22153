// SPDX-License-Identifier: GPL-3.0-or-later
// A top-level window's bounds kept in the INI file: the screens, the frame and the normal bounds.
#include "settings/windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <utility>
#include <vector>

namespace touchdrill {

namespace {

WorkArea toArea(const QRect& rect)
{
    return { rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height() };
}

// Every screen, the primary one first.
std::vector<ScreenArea> screenAreas()
{
    std::vector<ScreenArea> screens;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        screens.push_back({ toArea(primary->geometry()), toArea(primary->availableGeometry()) });
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen != primary)
            screens.push_back({ toArea(screen->geometry()), toArea(screen->availableGeometry()) });
    if (screens.empty())
        screens.push_back({ { 0, 0, 1024, 768 }, { 0, 0, 1024, 768 } });
    return screens;
}

} // namespace

WindowPlacement::WindowPlacement(QWidget* window, std::string section, QSize minimumClientSize)
    : m_window(window)
    , m_section(std::move(section))
    , m_minimumClientSize(minimumClientSize)
{
}

QSize WindowPlacement::minimumClientSize() const
{
    // A window laid out by a layout knows its own least size; one placed by hand says it here.
    return m_minimumClientSize.expandedTo(m_window->minimumSize())
        .expandedTo(m_window->minimumSizeHint())
        .expandedTo(QSize(1, 1));
}

void WindowPlacement::restore(const std::string& iniPath, const QWidget* beside)
{
    const QRect outer = m_window->frameGeometry();
    if (iniPath.empty()) {
        m_requestedOuterSize = outer.size();
        return;
    }

    // Not yet shown, the window has no frame as a rule: the client takes the outer size until the
    // frame is known.
    const QRect inner = m_window->geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
        outer.right() - inner.right(), outer.bottom() - inner.bottom());
    const QSize minimum
        = minimumClientSize() + QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
    const WindowSize least { minimum.width(), minimum.height() };
    WindowBounds bounds {};
    const QScreen* besideScreen = beside ? beside->screen() : nullptr;
    if (besideScreen && !hasStoredPosition(iniPath, m_section)) {
        // The size as it would be restored on that screen alone; the position beside the window.
        const ScreenArea screen { toArea(besideScreen->geometry()),
            toArea(besideScreen->availableGeometry()) };
        const WindowBounds sized
            = restorePlacement(iniPath, { screen }, outer.width(), outer.height(), m_section, least);
        const QRect other = beside->frameGeometry();
        bounds = placeBeside({ other.left(), other.top(), other.width(), other.height() },
            { sized.width, sized.height }, screen.work, least);
        m_placedBeside = true;
    } else {
        bounds = restorePlacement(iniPath, screenAreas(), outer.width(), outer.height(), m_section, least);
    }

    m_requestedOuterSize = QSize(bounds.width, bounds.height);
    // The work area the window opens on: the frame, once known, must fit in it too.
    if (const QScreen* screen = QGuiApplication::screenAt(QPoint(bounds.left, bounds.top)))
        m_workArea = screen->availableGeometry();
    m_window->move(bounds.left, bounds.top);
    m_window->resize(std::max(1, bounds.width - frame.left() - frame.right()),
        std::max(1, bounds.height - frame.top() - frame.bottom()));
}

void WindowPlacement::shown()
{
    if (m_frameChecked || !m_requestedOuterSize)
        return; // never placed; or later shows (after a minimise) keep whatever size the user gave the window
    m_frameChecked = true;
    m_awaitingFrame = true;
    QTimer::singleShot(0, m_window, [this] { fitOuterSize(); });
    // A window manager that never frames the window leaves the size as it is.
    QTimer::singleShot(2000, m_window, [this] { m_awaitingFrame = false; });
}

void WindowPlacement::movedOrResized()
{
    fitOuterSize();
    noteNormalBounds();
}

// The stored size is the outer one, frame included, but the window manager tells the frame's size
// only once the window is mapped: take it off the client size as soon as it is known, once. The
// frame may leave the client area less than its minimum, or make the window wider than the work
// area: the outer size is fitted again.
void WindowPlacement::fitOuterSize()
{
    if (!m_awaitingFrame || m_window->isMaximized() || m_window->isFullScreen())
        return;
    const QSize frame = m_window->frameGeometry().size() - m_window->size();
    if (frame.isNull())
        return;
    m_awaitingFrame = false;
    QSize outer = m_requestedOuterSize->expandedTo(minimumClientSize() + frame);
    if (m_workArea)
        outer = outer.boundedTo(m_workArea->size());
    if (m_window->frameGeometry().size() != outer)
        m_window->resize((outer - frame).expandedTo(QSize(1, 1)));
    // A window placed against the work area's far edge, beside another one, may have grown past it
    // by the frame: it moves back in. Stored bounds may leave part of a window outside on purpose.
    if (m_placedBeside && m_workArea) {
        const QRect area = *m_workArea;
        const QPoint at = m_window->frameGeometry().topLeft();
        const QPoint inside(
            std::max(area.left(), std::min(at.x(), area.left() + area.width() - outer.width())),
            std::max(area.top(), std::min(at.y(), area.top() + area.height() - outer.height())));
        if (inside != at)
            m_window->move(inside);
    }
}

// A maximised or full-screen window may lose its frame, and some window managers resize it to the
// maximised size before they mark it maximised: the bounds it comes back to are kept as they were
// before, frame included.
void WindowPlacement::noteNormalBounds()
{
    if (m_window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))
        return;
    const QRect outer = m_window->frameGeometry();
    const QRect inner = m_window->geometry();
    const NormalBounds now { inner,
        QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()) };
    if (m_normal.front() && m_normal.front()->inner == now.inner && m_normal.front()->frame == now.frame)
        return;
    std::move_backward(m_normal.begin(), m_normal.end() - 1, m_normal.end());
    m_normal.front() = now;
}

WindowBounds WindowPlacement::outerNormalBounds() const
{
    QRect outer = m_window->frameGeometry();
    if (m_window->isMaximized() || m_window->isFullScreen()) {
        // The newest normal bounds that the maximising did not bring: those of another size.
        const QSize maximised = m_window->geometry().size();
        const auto before
            = std::find_if(m_normal.begin(), m_normal.end(), [&](const std::optional<NormalBounds>& normal) {
                  return normal && normal->inner.size() != maximised;
              });
        if (before != m_normal.end()) {
            outer = (*before)->outer();
        } else if (const QRect normal = m_window->normalGeometry(); normal.isValid()) {
            // Never seen normal (maximised from the start): what Qt kept, with the last frame seen.
            outer = m_normal.front() ? normal.marginsAdded(m_normal.front()->frame) : normal;
        }
    }
    return { outer.left(), outer.top(), outer.width(), outer.height() };
}

void WindowPlacement::save(const std::string& iniPath) const
{
    if (iniPath.empty())
        return;
    const SavedKeys keys = QGuiApplication::platformName().startsWith(QLatin1String("wayland"))
        ? SavedKeys::SizeOnly
        : SavedKeys::PositionAndSize;
    savePlacement(iniPath, outerNormalBounds(), keys, m_section);
}

} // namespace touchdrill
