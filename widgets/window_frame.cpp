#include "widgets/window_frame.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace palvane::window_frame {

namespace {

// How long a window waits, before it is first shown, for the window manager to say its frame.
constexpr int kFrameAnswerMs = 250;

xcb_connection_t* connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    static std::map<std::string, xcb_atom_t> known;
    const auto found = known.find(name);
    if (found != known.end())
        return found->second;
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    known.emplace(name, value);
    return value;
}

xcb_window_t rootOf(xcb_connection_t* c, xcb_window_t window) {
    xcb_get_geometry_reply_t* reply =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    const xcb_window_t root = reply ? reply->root : xcb_window_t(XCB_WINDOW_NONE);
    std::free(reply);
    return root;
}

// Window system pixels to Qt's, for a scaled desktop.
int toLogical(const QWindow* window, int pixels) {
    return static_cast<int>(std::lround(pixels / window->devicePixelRatio()));
}

bool offersFrameRequests(xcb_connection_t* c, xcb_window_t root) {
    static std::optional<bool> offered;
    if (offered)
        return *offered;
    const xcb_atom_t wanted = atom(c, "_NET_REQUEST_FRAME_EXTENTS");
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, atom(c, "_NET_SUPPORTED"), XCB_ATOM_ATOM, 0, 4096),
        nullptr);
    bool found = false;
    if (reply && reply->format == 32) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        const int count = xcb_get_property_value_length(reply) / 4;
        for (int i = 0; i < count && !found; ++i)
            found = atoms[i] == wanted;
    }
    std::free(reply);
    // A window manager may start after the program: only a yes is kept.
    if (found)
        offered = true;
    return found;
}

} // namespace

bool available() {
    return connection() != nullptr;
}

std::optional<QMargins> frameOf(const QWindow* window) {
    xcb_connection_t* c = connection();
    if (!c || !window)
        return std::nullopt;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c,
        xcb_get_property(c, 0, static_cast<xcb_window_t>(window->winId()),
                         atom(c, "_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 0, 4),
        nullptr);
    std::optional<QMargins> frame;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) == 16) {
        // left, right, top, bottom
        const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(reply));
        frame = QMargins(toLogical(window, int(v[0])), toLogical(window, int(v[2])),
                         toLogical(window, int(v[1])), toLogical(window, int(v[3])));
    }
    std::free(reply);
    return frame;
}

std::optional<QMargins> requestFrame(const QWindow* window) {
    xcb_connection_t* c = connection();
    if (!c || !window)
        return std::nullopt;
    const auto id = static_cast<xcb_window_t>(window->winId());
    const xcb_window_t root = rootOf(c, id);
    if (root == XCB_WINDOW_NONE || !offersFrameRequests(c, root))
        return std::nullopt;
    xcb_client_message_event_t request{};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = id;
    request.type = atom(c, "_NET_REQUEST_FRAME_EXTENTS");
    xcb_send_event(c, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&request));
    xcb_flush(c);
    // The answer is a property on the window; the window manager usually sets it within a
    // millisecond or two.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (const std::optional<QMargins> frame = frameOf(window))
            return frame;
        if (waited.elapsed() > kFrameAnswerMs)
            return std::nullopt;
        QThread::usleep(1000);
    }
}

std::optional<QRect> clientGeometry(const QWindow* window) {
    xcb_connection_t* c = connection();
    if (!c || !window)
        return std::nullopt;
    const auto id = static_cast<xcb_window_t>(window->winId());
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
    if (!geometry)
        return std::nullopt;
    xcb_translate_coordinates_reply_t* corner = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, id, geometry->root, 0, 0), nullptr);
    std::optional<QRect> area;
    if (corner)
        area = QRect(toLogical(window, corner->dst_x), toLogical(window, corner->dst_y),
                     toLogical(window, geometry->width), toLogical(window, geometry->height));
    std::free(corner);
    std::free(geometry);
    return area;
}

bool moveClient(const QWindow* window, QPoint position) {
    xcb_connection_t* c = connection();
    if (!c || !window)
        return false;
    const double ratio = window->devicePixelRatio();
    const uint32_t values[] = {static_cast<uint32_t>(std::lround(position.x() * ratio)),
                               static_cast<uint32_t>(std::lround(position.y() * ratio))};
    xcb_configure_window(c, static_cast<xcb_window_t>(window->winId()),
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
    xcb_flush(c);
    return true;
}

} // namespace palvane::window_frame
