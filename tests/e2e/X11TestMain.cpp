#include "X11TestMain.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>

// The windows are tested on a real X server: a private Xvfb, started before Qt connects, with
// openbox on it when ORLIX_TEST_WINDOW_MANAGER is set.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // CTest lists the cases at build time; listing needs no server.
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    orlix::test::XvfbServer xvfb;
    if (!xvfb.start(orlix::test::kX11Screen)) {
        std::fprintf(stderr, "%s\n", qPrintable(xvfb.error()));
        return 1;
    }
    // The window manager, when wanted, runs before the program connects, as on a desktop.
    if (!qEnvironmentVariableIsEmpty("ORLIX_TEST_WINDOW_MANAGER") && !xvfb.startWindowManager()) {
        std::fprintf(stderr, "%s\n", qPrintable(xvfb.error()));
        return 1;
    }
    orlix::test::theX11Server = &xvfb;
    const QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    // No session bus: without an address, D-Bus would try to start one for the X display.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + runtime.filePath("no-bus").toLocal8Bit());
    qputenv("DISPLAY", xvfb.display().toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");
    int status = 0;
    {
        QApplication app(argc, argv);
        status = RUN_ALL_TESTS();
    }
    orlix::test::theX11Server = nullptr;
    return status;
}
