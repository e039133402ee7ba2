#pragma once
// What the window manager did to a top-level window, read from the X server itself: Qt caches
// a window's frame until the next configure event and its position until events arrive, so a
// window placed by those can stay off by a title bar. Without an X server (headless tests, a
// Wayland session without XWayland) every answer is "unknown".

#include <QMargins>
#include <QPoint>
#include <QRect>

#include <optional>

class QWindow;

namespace palvane::window_frame {

// True when windows are on an X server, whose answers the functions below give.
bool available();

// The frame the window manager drew (or will draw) round the window: _NET_FRAME_EXTENTS.
std::optional<QMargins> frameOf(const QWindow* window);

// Asks the window manager for the frame it will give the window once mapped and waits briefly
// for the answer, so that a window can be placed right before it is first seen. Unknown when
// the window manager does not offer this or does not answer in time.
std::optional<QMargins> requestFrame(const QWindow* window);

// The client area on the screen, as the X server has it now (Qt's idea of it can lag behind
// and pass through sizes the window never had on the screen).
std::optional<QRect> clientGeometry(const QWindow* window);

// Moves the client area's top-left corner to position (the window manager keeps the frame
// round it: the program asks for the client's place, not the frame's).
bool moveClient(const QWindow* window, QPoint position);

} // namespace palvane::window_frame
