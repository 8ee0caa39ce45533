#pragma once

#include <QByteArray>

#include <map>

#include <xcb/xcb.h>

namespace orlix::platform {

// The display profiles an X server's root window carries, in the properties the colour tools
// set (colord, calibration tools): _ICC_PROFILE for the first screen, _ICC_PROFILE_<n> for the
// n-th where several are joined into one. Each is read once and kept until a change of it is
// seen on the connection.
class X11DisplayProfiles {
public:
    // Larger profiles are refused: display profiles are a few kB, rarely a few hundred.
    static constexpr std::uint32_t kMaxBytes = 4 * 1024 * 1024;

    // Watches the first root window of `connection`, which must outlive this object: its
    // property changes are selected there, in addition to the events selected already.
    explicit X11DisplayProfiles(xcb_connection_t* connection);

    // The profile of screen `index` (0 for the first), empty when there is none or it is too
    // large.
    QByteArray profile(int index);

    // Takes note of `event`, one that came on the connection; true when it told of a change of
    // a profile property, which is then read again when it is next asked for.
    bool notice(const xcb_generic_event_t* event);

private:
    xcb_atom_t atomOf(int index);
    QByteArray read(xcb_atom_t atom) const;

    xcb_connection_t* const connection_;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    std::map<int, xcb_atom_t> atoms_;
    std::map<xcb_atom_t, QByteArray> profiles_; // an absent profile is kept as empty
};

} // namespace orlix::platform
