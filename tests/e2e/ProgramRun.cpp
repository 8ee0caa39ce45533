#include "ProgramRun.h"

#include "XProbe.h"
#include "support/ChildProcess.h"

#include <QFile>
#include <gtest/gtest.h>

#include <algorithm>

namespace orlix::test {

namespace {

QRgb opaque(const QImage& image, int x, int y) {
    return reinterpret_cast<const QRgb*>(image.constScanLine(y))[x] | 0xff000000;
}

// The bounding rectangle of the pixels for which `chosen(x, y, rgb)` holds.
template <typename Chosen> QRect areaWhere(const QImage& image, Chosen chosen) {
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (chosen(x, y, opaque(image, x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

ProgramRun::ProgramRun(const std::vector<std::pair<QByteArray, QByteArray>>& pictures)
    : environment(QProcessEnvironment::systemEnvironment()) {
    const QString copy = QString::fromLocal8Bit(folder.path("orlix"));
    EXPECT_TRUE(QFile::copy(QStringLiteral(ORLIX_BIN_DIR "/orlix"), copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner);
    for (const auto& [name, bytes] : pictures)
        folder.write(name, bytes);
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(variable));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    // No session bus: without an address, D-Bus would try to start one for the X display.
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + runtime.filePath(QStringLiteral("no-bus")));
    // The single-instance lock lives in the home folder: a home of its own keeps this copy
    // from taking another test's running copy for itself.
    environment.insert(QStringLiteral("HOME"), home.path());
}

ProgramRun::~ProgramRun() {
    endProcess(process);
}

void ProgramRun::start() {
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder.rootText());
    process.start(QString::fromLocal8Bit(folder.path("orlix")), {});
    ASSERT_TRUE(process.waitForStarted(10000)) << process.errorString().toStdString();
}

bool ProgramRun::finished(int waitMs) {
    if (!process.waitForFinished(waitMs))
        return false;
    printed = process.readAllStandardOutput() + process.readAllStandardError();
    return true;
}

std::optional<XWindow> programWindow(const XProbe& probe, QSize size) {
    for (const XWindow& window : probe.viewableWindows(QStringLiteral("Orlix"))) {
        if (window.onRoot.size() == size)
            return window;
    }
    return std::nullopt;
}

QRect changedArea(const QImage& before, const QImage& after, const QImage& ignored) {
    return areaWhere(after, [&](int x, int y, QRgb rgb) {
        return rgb != opaque(before, x, y) &&
               (ignored.isNull() || opaque(ignored, x, y) != qRgb(255, 255, 255));
    });
}

QRect areaNot(const QImage& image, QRgb colour) {
    return areaWhere(image, [colour](int, int, QRgb rgb) { return rgb != colour; });
}

std::pair<QRect, bool> solidArea(const QImage& image, QRgb colour) {
    const QRect area = areaWhere(image, [colour](int, int, QRgb rgb) { return rgb == colour; });
    return {area, !area.isEmpty() && areaNot(image.copy(area), colour).isEmpty()};
}

void markChanges(const QImage& reference, const QImage& shot, QImage& mask) {
    for (int y = 0; y < reference.height(); ++y) {
        for (int x = 0; x < reference.width(); ++x) {
            if (opaque(reference, x, y) != opaque(shot, x, y))
                mask.setPixel(x, y, qRgb(255, 255, 255));
        }
    }
}

} // namespace orlix::test
