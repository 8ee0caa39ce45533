#include "ScreenWatch.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <poll.h>

#include <cstdlib>
#include <memory>

namespace orlix::bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kReturnKeysym = 0xff0d; // XK_Return
constexpr int kLauncherSide = 16;

template <typename Reply> std::unique_ptr<Reply, decltype(&std::free)> owned(Reply* reply) {
    return {reply, &std::free};
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

ScreenWatch::ScreenWatch(const QString& display) {
    connection_ = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    if (xcb_connection_has_error(connection_)) {
        error_ = QStringLiteral("cannot connect to ") + display;
        return;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    root_ = screen->root;
    screenSize_ = QSize(screen->width_in_pixels, screen->height_in_pixels);
    const xcb_query_extension_reply_t* damage = xcb_get_extension_data(connection_, &xcb_damage_id);
    const xcb_query_extension_reply_t* test = xcb_get_extension_data(connection_, &xcb_test_id);
    if (!damage || !damage->present || !test || !test->present) {
        error_ = QStringLiteral("the X server lacks DAMAGE or XTEST");
        return;
    }
    damageEvent_ = damage->first_event + XCB_DAMAGE_NOTIFY;
    // The server speaks DAMAGE only to clients that asked for its version first.
    owned(xcb_damage_query_version_reply(connection_, xcb_damage_query_version(connection_, 1, 1),
                                         nullptr));
    damage_ = xcb_generate_id(connection_);
    xcb_damage_create(connection_, damage_, root_, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection_);
}

ScreenWatch::~ScreenWatch() {
    xcb_disconnect(connection_);
}

std::uint32_t ScreenWatch::topLevelOfSize(QSize size) const {
    auto tree =
        owned(xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr));
    if (!tree)
        return 0;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        auto attributes = owned(xcb_get_window_attributes_reply(
            connection_, xcb_get_window_attributes(connection_, children[i]), nullptr));
        auto geometry = owned(xcb_get_geometry_reply(
            connection_, xcb_get_geometry(connection_, children[i]), nullptr));
        if (attributes && geometry && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
            QSize(geometry->width, geometry->height) == size)
            return children[i];
    }
    return 0;
}

void ScreenWatch::focus(std::uint32_t window) {
    xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    xcb_flush(connection_);
}

std::uint32_t ScreenWatch::openLauncher() {
    launcher_ = xcb_generate_id(connection_);
    const std::uint32_t values[] = {0, XCB_EVENT_MASK_KEY_PRESS};
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, launcher_, root_, 0, 0, kLauncherSide,
                      kLauncherSide, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    xcb_map_window(connection_, launcher_);
    xcb_flush(connection_);
    return launcher_;
}

QRgb ScreenWatch::centre() const {
    auto image = owned(xcb_get_image_reply(connection_,
                                           xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                                         root_, screenSize_.width() / 2,
                                                         screenSize_.height() / 2, 1, 1, ~0u),
                                           nullptr));
    if (!image || xcb_get_image_data_length(image.get()) < 4)
        return 0;
    // A 24-bit screen's pixel: four bytes, blue first, little-endian as the server here.
    const std::uint8_t* bytes = xcb_get_image_data(image.get());
    return qRgb(bytes[2], bytes[1], bytes[0]);
}

QImage ScreenWatch::screen() const {
    auto image =
        owned(xcb_get_image_reply(connection_,
                                  xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, 0, 0,
                                                screenSize_.width(), screenSize_.height(), ~0u),
                                  nullptr));
    const int bytes = screenSize_.width() * screenSize_.height() * 4;
    if (!image || xcb_get_image_data_length(image.get()) < bytes)
        return QImage();
    // The same four-byte pixels as QImage::Format_RGB32 on this little-endian machine.
    return QImage(xcb_get_image_data(image.get()), screenSize_.width(), screenSize_.height(),
                  QImage::Format_RGB32)
        .copy();
}

std::uint8_t ScreenWatch::keycodeOf(std::uint32_t keysym) const {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto map = owned(xcb_get_keyboard_mapping_reply(
        connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, count), nullptr));
    if (!map)
        return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
    for (int code = 0; code < count; ++code) {
        for (int i = 0; i < map->keysyms_per_keycode; ++i) {
            if (syms[code * map->keysyms_per_keycode + i] == keysym)
                return static_cast<std::uint8_t>(setup->min_keycode + code);
        }
    }
    return 0;
}

bool ScreenWatch::coversScreen(std::uint32_t window) const {
    auto geometry =
        owned(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr));
    return geometry && geometry->width >= screenSize_.width() &&
           geometry->height >= screenSize_.height();
}

void ScreenWatch::clearDamage() {
    xcb_damage_subtract(connection_, damage_, XCB_NONE, XCB_NONE);
}

void ScreenWatch::forgetChanges() {
    // The round trip makes sure the server has taken the subtraction before the events so far
    // are dropped.
    clearDamage();
    owned(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    while (auto event = owned(xcb_poll_for_event(connection_))) {
    }
}

void ScreenWatch::pressKey(std::uint32_t keysym) {
    const std::uint8_t key = keycodeOf(keysym);
    xcb_test_fake_input(connection_, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(connection_, XCB_KEY_RELEASE, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(connection_);
}

std::optional<QRgb> ScreenWatch::nextChange(int timeoutMs) {
    const auto start = Clock::now();
    pollfd server{xcb_get_file_descriptor(connection_), POLLIN, 0};
    while (!xcb_connection_has_error(connection_)) {
        auto event = owned(xcb_poll_for_event(connection_));
        if (event && (event->response_type & 0x7f) == damageEvent_) {
            clearDamage();
            return centre();
        }
        if (event)
            continue;
        const int left = timeoutMs - static_cast<int>(msSince(start));
        if (left <= 0)
            break;
        ::poll(&server, 1, left);
    }
    return std::nullopt;
}

FirstPictureTimes ScreenWatch::pressReturnUntil(const std::function<bool(QRgb)>& shown,
                                                const std::function<void()>& launch,
                                                int timeoutMs) {
    // What came before the key is not its doing.
    forgetChanges();
    FirstPictureTimes times;
    const auto start = Clock::now();
    pressKey(kReturnKeysym);
    pollfd server{xcb_get_file_descriptor(connection_), POLLIN, 0};
    while (msSince(start) < timeoutMs && !xcb_connection_has_error(connection_)) {
        auto event = owned(xcb_poll_for_event(connection_));
        if (!event) {
            ::poll(&server, 1, 10);
            continue;
        }
        const std::uint8_t type = event->response_type & 0x7f;
        if (type == XCB_KEY_PRESS && launch &&
            reinterpret_cast<xcb_key_press_event_t*>(event.get())->event == launcher_) {
            launch();
        } else if (type == XCB_MAP_NOTIFY && times.windowMapped < 0 &&
                   coversScreen(reinterpret_cast<xcb_map_notify_event_t*>(event.get())->window)) {
            times.windowMapped = msSince(start);
        } else if (type == damageEvent_) {
            if (times.firstDamage < 0)
                times.firstDamage = msSince(start);
            clearDamage();
            times.lastCentre = centre();
            if (shown(times.lastCentre)) {
                times.picture = msSince(start);
                break;
            }
        }
    }
    return times;
}

} // namespace orlix::bench
