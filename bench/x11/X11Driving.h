#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <initializer_list>

namespace orlix::test {
class XvfbServer;
}

namespace orlix::bench {

class ScreenWatch;

// The settings window of a fresh Orlix, as it comes up: found by its size.
constexpr QSize kSettingsWindowSize(378, 136);

// What is typed into the settings window before the show starts.
struct ShowSettings {
    QString folder;
    int intervalSeconds = 1;
    bool loop = false;
};

// Whether `program` can run here: every one of `tools` installed and an Xvfb that starts. When
// not, says why on the standard output.
bool canRun(const char* program, std::initializer_list<const char*> tools);

// Polls every 20 ms, up to 30 s: only for the untimed parts of a run.
bool waitUntil(const std::function<bool()>& done);

// The display's environment for a viewer with `home` as its home: X11 only, its own runtime
// folder (made here), so that nothing of the caller's desktop reaches it.
QProcessEnvironment viewerEnvironment(const test::XvfbServer& display, const QString& home);

// The machine's load averages over 1, 5 and 15 minutes, as /proc/loadavg gives them: the
// figures of a run on a busy machine are read with it.
QString loadAverages();

// Waits for the settings window of the Orlix just started; 0 when none came.
std::uint32_t settingsWindow(ScreenWatch& watch);

// Types `settings` into the settings window `window` with XTest keys, as a user would: the
// folder into Path, Loop ticked when asked for, the interval. Start is left to the caller's
// Enter.
void typeSettings(const test::XvfbServer& display, ScreenWatch& watch, std::uint32_t window,
                  const ShowSettings& settings);

} // namespace orlix::bench
