#pragma once

#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QTemporaryDir>

#include "support/TempTree.h"

#include <optional>
#include <utility>
#include <vector>

namespace orlix::test {

class XProbe;
struct XWindow;

// Generous: the splash alone takes five seconds, and a loaded machine runs other tests beside.
inline constexpr int kSessionWaitMs = 30000;
inline constexpr QSize kSettingsWindowSize(378, 136);

// The real program (the build's bin/orlix) copied into a folder of its own, which the settings
// window opens at, with `pictures` (name, contents) beside it. It runs with a home and a runtime
// folder of its own and none of the caller's display settings; tests add theirs to
// `environment`.
class ProgramRun {
public:
    explicit ProgramRun(const std::vector<std::pair<QByteArray, QByteArray>>& pictures);
    ~ProgramRun();

    void start();
    bool running() const { return process.state() == QProcess::Running; }
    // Waits for the end; then everything the program printed is in `printed`.
    bool finished(int waitMs = kSessionWaitMs);

    TempTree folder;
    QTemporaryDir home;
    QTemporaryDir runtime;
    QProcessEnvironment environment;
    QProcess process;
    QByteArray printed;
};

// The first viewable window of the program ("Orlix") of that size.
std::optional<XWindow> programWindow(const XProbe& probe, QSize size);

// Screen shots (opaque RGB32 images) compared:
// where two shots differ, leaving out the pixels that are white in `ignored`;
QRect changedArea(const QImage& before, const QImage& after, const QImage& ignored = QImage());
// where the pixels are not `colour`;
QRect areaNot(const QImage& image, QRgb colour);
// where the pixels of `colour` are, and whether that whole rectangle is of that colour.
std::pair<QRect, bool> solidArea(const QImage& image, QRgb colour);
// Paints white into `mask` where `shot` differs from `reference`.
void markChanges(const QImage& reference, const QImage& shot, QImage& mask);

} // namespace orlix::test
