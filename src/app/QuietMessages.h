#pragma once

namespace orlix {

// The program logs nothing. These route Qt's messages for the whole process, from any thread:
// - debug, info, warning and critical messages (a damaged picture's decoder complaints, a
//   platform plugin's notes) are dropped;
// - a fatal message while the display is being opened means that no platform plugin could
//   reach a display: the program prints its one sentence about the missing desktop and ends
//   with status 1;
// - any other fatal message is printed as Qt words it, on one line of standard error, before
//   Qt ends the program: it is the only trace of why the program stopped. The same holds for
//   warnings and criticals while QT_FATAL_WARNINGS or QT_FATAL_CRITICALS is set, a developer's
//   setting under which Qt ends the program on them.

// The sentence printed when no display can be opened.
inline constexpr char kNoDisplaySentence[] =
    "Orlix needs a graphical desktop, but no X11 or Wayland display could be opened.\n";

// Installs the handler; the first thing the program does.
void installQuietMessageHandler();

// While an object of this class lives, a fatal message is taken for a display that cannot be
// opened. Made around the construction of the application object.
class OpeningDisplay {
public:
    OpeningDisplay();
    ~OpeningDisplay();
    OpeningDisplay(const OpeningDisplay&) = delete;
    OpeningDisplay& operator=(const OpeningDisplay&) = delete;
};

} // namespace orlix
