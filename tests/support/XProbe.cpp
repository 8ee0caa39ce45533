#include "support/XProbe.h"

#include <QThread>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace orlix::test {

namespace {

// xcb replies are malloc'ed.
struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeReply>;

Reply<xcb_get_property_reply_t> property(xcb_connection_t* connection, xcb_window_t window,
                                         xcb_atom_t name, xcb_atom_t type, std::uint32_t length) {
    return Reply<xcb_get_property_reply_t>(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, name, type, 0, length), nullptr));
}

} // namespace

XProbe::XProbe(const QString& display) {
    connection_ = xcb_connect(display.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(connection_))
        return;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    root_ = screen->root;
    screenSize_ = QSize(screen->width_in_pixels, screen->height_in_pixels);
    // XFixes answers only clients that have said which version they speak.
    Reply<xcb_xfixes_query_version_reply_t>(xcb_xfixes_query_version_reply(
        connection_, xcb_xfixes_query_version(connection_, 4, 0), nullptr));
}

XProbe::~XProbe() {
    if (connection_)
        xcb_disconnect(connection_);
}

bool XProbe::connected() const {
    return connection_ && !xcb_connection_has_error(connection_) && root_ != 0;
}

std::uint32_t XProbe::atom(const char* name) const {
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : 0;
}

std::vector<XWindow> XProbe::viewableWindows() const {
    std::vector<XWindow> found;
    std::vector<xcb_window_t> pending{root_};
    while (!pending.empty()) {
        const xcb_window_t parent = pending.back();
        pending.pop_back();
        const Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(connection_, xcb_query_tree(connection_, parent), nullptr));
        if (!tree)
            continue;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            const xcb_window_t child = children[i];
            if (!viewable(child))
                continue;
            pending.push_back(child);
            const QString title = name(child);
            if (!title.isEmpty())
                found.push_back({child, title, placeOnRoot(child)});
        }
    }
    return found;
}

QString XProbe::name(std::uint32_t window) const {
    // _NET_WM_NAME (UTF-8) where the client sets it, WM_NAME otherwise.
    for (const xcb_atom_t key : {atom("_NET_WM_NAME"), xcb_atom_t(XCB_ATOM_WM_NAME)}) {
        const auto title = property(connection_, window, key, XCB_GET_PROPERTY_TYPE_ANY, 256);
        if (title && xcb_get_property_value_length(title.get()) > 0)
            return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(title.get())),
                                     xcb_get_property_value_length(title.get()));
    }
    return QString();
}

bool XProbe::viewable(std::uint32_t window) const {
    const Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, window), nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

QRect XProbe::placeOnRoot(std::uint32_t window) const {
    const Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr));
    const Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
        connection_, xcb_translate_coordinates(connection_, window, root_, 0, 0), nullptr));
    if (!geometry || !origin)
        return QRect();
    return QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
}

std::vector<std::uint32_t> XProbe::values(std::uint32_t window, const char* name,
                                          std::uint32_t type, std::uint32_t count) const {
    const auto reply = property(connection_, window, atom(name), type, count);
    if (!reply || reply->format != 32)
        return {};
    const auto* first = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {first, first + xcb_get_property_value_length(reply.get()) / 4};
}

QStringList XProbe::netWmState(std::uint32_t window) const {
    QStringList names;
    for (const std::uint32_t state : values(window, "_NET_WM_STATE", XCB_ATOM_ATOM, 64)) {
        const Reply<xcb_get_atom_name_reply_t> name(
            xcb_get_atom_name_reply(connection_, xcb_get_atom_name(connection_, state), nullptr));
        if (name)
            names.append(QString::fromLatin1(xcb_get_atom_name_name(name.get()),
                                             xcb_get_atom_name_name_length(name.get())));
    }
    return names;
}

std::optional<QMargins> XProbe::frameExtents(std::uint32_t window) const {
    const std::vector<std::uint32_t> v = values(window, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, 4);
    if (v.size() != 4)
        return std::nullopt;
    // left, right, top, bottom
    return QMargins(int(v[0]), int(v[2]), int(v[1]), int(v[3]));
}

QList<std::uint32_t> XProbe::managedWindows() const {
    const std::vector<std::uint32_t> ids = values(root_, "_NET_CLIENT_LIST", XCB_ATOM_WINDOW, 1024);
    return QList<std::uint32_t>(ids.begin(), ids.end());
}

bool XProbe::windowManagerRunning() const {
    return values(root_, "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW, 1).size() == 1;
}

bool XProbe::windowManagerServes(int timeoutMs) const {
    const xcb_window_t window = xcb_generate_id(connection_);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 16, 16, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_map_window(connection_, window);
    const xcb_atom_t nudge = atom("ORLIX_TEST_NUDGE");
    bool served = false;
    for (int waited = 0; waited < timeoutMs && !served; waited += 50) {
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root_, nudge, XCB_ATOM_CARDINAL, 32,
                            1, &waited);
        xcb_flush(connection_);
        served = managedWindows().contains(window);
        if (!served)
            QThread::msleep(50);
    }
    xcb_destroy_window(connection_, window);
    xcb_delete_property(connection_, root_, nudge);
    xcb_flush(connection_);
    return served;
}

bool XProbe::windowManagerCaughtUp(int timeoutMs) const {
    const xcb_window_t window = xcb_generate_id(connection_);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 16, 16, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_client_message_event_t request;
    std::memset(&request, 0, sizeof request);
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = window;
    request.type = atom("_NET_REQUEST_FRAME_EXTENTS");
    xcb_send_event(connection_, 0, root_,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&request));
    xcb_flush(connection_);
    bool answered = false;
    for (int waited = 0; waited < timeoutMs && !answered; waited += 10) {
        answered = frameExtents(window).has_value();
        if (!answered)
            QThread::msleep(10);
    }
    xcb_destroy_window(connection_, window);
    xcb_flush(connection_);
    return answered;
}

std::uint32_t XProbe::inputFocus() const {
    const Reply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    return focus ? focus->focus : 0;
}

std::optional<bool> XProbe::pointerVisible() const {
    const Reply<xcb_xfixes_get_cursor_image_reply_t> image(xcb_xfixes_get_cursor_image_reply(
        connection_, xcb_xfixes_get_cursor_image(connection_), nullptr));
    if (!image)
        return std::nullopt;
    const uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(image.get());
    const int count = xcb_xfixes_get_cursor_image_cursor_image_length(image.get());
    for (int i = 0; i < count; ++i) {
        if ((pixels[i] >> 24) != 0) // ARGB
            return true;
    }
    return false;
}

QImage XProbe::grab(const QRect& area) const {
    const Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, int16_t(area.x()),
                      int16_t(area.y()), uint16_t(area.width()), uint16_t(area.height()), ~0u),
        nullptr));
    // Xvfb's 24-bit screens hold 32 bits per pixel, blue first: QImage's RGB32 on this machine.
    if (!reply || reply->depth != 24 ||
        xcb_get_image_data_length(reply.get()) != area.width() * area.height() * 4)
        return QImage();
    return QImage(xcb_get_image_data(reply.get()), area.width(), area.height(), area.width() * 4,
                  QImage::Format_RGB32)
        .copy();
}

} // namespace orlix::test
