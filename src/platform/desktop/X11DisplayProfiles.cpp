#include "platform/desktop/X11DisplayProfiles.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace orlix::platform {

namespace {

constexpr char kProfileProperty[] = "_ICC_PROFILE";
// The profile is a list of bytes: format 8.
constexpr std::uint8_t kByteFormat = 8;

} // namespace

X11DisplayProfiles::X11DisplayProfiles(xcb_connection_t* connection) : connection_(connection) {
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    if (screens.rem == 0)
        return;
    root_ = screens.data->root;
    // Added to what is selected already: the toolkit watches the root window for its own
    // reasons, with the same connection.
    std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    if (xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, root_), nullptr)) {
        mask |= attributes->your_event_mask;
        std::free(attributes); // xcb's replies are malloc'ed
    }
    xcb_change_window_attributes(connection, root_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
}

xcb_atom_t X11DisplayProfiles::atomOf(int index) {
    const auto known = atoms_.find(index);
    if (known != atoms_.end())
        return known->second;
    std::string name = kProfileProperty;
    if (index > 0)
        name += "_" + std::to_string(index);
    xcb_atom_t atom = XCB_ATOM_NONE;
    if (xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection_,
            xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(name.size()), name.data()),
            nullptr)) {
        atom = reply->atom;
        std::free(reply);
    }
    atoms_[index] = atom;
    return atom;
}

QByteArray X11DisplayProfiles::read(xcb_atom_t atom) const {
    // One word more than the limit: a profile over it shows as bytes left after the reply.
    const xcb_get_property_cookie_t cookie = xcb_get_property(
        connection_, 0, root_, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxBytes / 4 + 1);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection_, cookie, nullptr);
    if (!reply)
        return {};
    QByteArray profile;
    const int length = xcb_get_property_value_length(reply);
    if (reply->format == kByteFormat && reply->bytes_after == 0 && length > 0 &&
        std::uint32_t(length) <= kMaxBytes)
        profile = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)), length);
    std::free(reply);
    return profile;
}

QByteArray X11DisplayProfiles::profile(int index) {
    if (root_ == XCB_WINDOW_NONE || index < 0)
        return {};
    const xcb_atom_t atom = atomOf(index);
    if (atom == XCB_ATOM_NONE)
        return {};
    const auto kept = profiles_.find(atom);
    if (kept != profiles_.end())
        return kept->second;
    return profiles_[atom] = read(atom);
}

bool X11DisplayProfiles::notice(const xcb_generic_event_t* event) {
    if (event == nullptr || (event->response_type & ~0x80) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event);
    if (change->window != root_)
        return false;
    // Only the profiles asked for are kept, so only their atoms are known.
    for (const auto& known : atoms_) {
        if (known.second == change->atom) {
            profiles_.erase(change->atom);
            return true;
        }
    }
    return false;
}

} // namespace orlix::platform
