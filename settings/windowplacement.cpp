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

WindowPlacement::WindowPlacement(QWidget* window, std::string section)
    : m_window(window)
    , m_section(std::move(section))
{
}

void WindowPlacement::restore(const std::string& iniPath)
{
    const QRect outer = m_window->frameGeometry();
    if (iniPath.empty()) {
        m_requestedOuterSize = outer.size();
        return;
    }
    const WindowBounds bounds
        = restorePlacement(iniPath, screenAreas(), outer.width(), outer.height(), m_section);

    // Not yet shown, the window has no frame as a rule: the client takes the outer size until the
    // frame is known.
    const QRect inner = m_window->geometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
        outer.right() - inner.right(), outer.bottom() - inner.bottom());
    m_requestedOuterSize = QSize(bounds.width, bounds.height);
    m_window->move(bounds.left, bounds.top);
    m_window->resize(std::max(0, bounds.width - frame.left() - frame.right()),
        std::max(0, bounds.height - frame.top() - frame.bottom()));
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
    noteNormalFrame();
}

// The stored size is the outer one, frame included, but the window manager tells the frame's size
// only once the window is mapped: take it off the client size as soon as it is known, once.
void WindowPlacement::fitOuterSize()
{
    if (!m_awaitingFrame || m_window->isMaximized() || m_window->isFullScreen())
        return;
    const QSize frame = m_window->frameGeometry().size() - m_window->size();
    if (frame.isNull())
        return;
    m_awaitingFrame = false;
    if (m_window->frameGeometry().size() != *m_requestedOuterSize)
        m_window->resize(*m_requestedOuterSize - frame);
}

// A maximised or full-screen window may lose its frame; the bounds it comes back to are measured
// with the frame it had before.
void WindowPlacement::noteNormalFrame()
{
    if (m_window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))
        return;
    const QRect outer = m_window->frameGeometry();
    const QRect inner = m_window->geometry();
    m_normalFrame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
        outer.right() - inner.right(), outer.bottom() - inner.bottom());
}

WindowBounds WindowPlacement::outerNormalBounds() const
{
    QRect outer = m_window->frameGeometry();
    if (m_window->isMaximized() || m_window->isFullScreen()) {
        const QRect normal = m_window->normalGeometry();
        if (normal.isValid())
            outer = normal.marginsAdded(m_normalFrame);
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
