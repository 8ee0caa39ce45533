#include "app/Main.h"

#include "app/AppInfo.h"
#include "app/FormSplash.h"
#include "platform/MessageService.h"
#include "platform/SingleInstance.h"
#include "settings/FormSetting.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace orlix {

namespace {

constexpr char kNoDisplay[] =
    "Orlix needs a graphical desktop, but no X11 or Wayland display could be opened.\n";

// Qt ends the process with a fatal message when no platform plugin can connect to a display.
// Replace that crash by one plain sentence while the application object is being built.
void reportMissingDisplay(QtMsgType type, const QMessageLogContext&, const QString&) {
    if (type == QtFatalMsg) {
        std::fputs(kNoDisplay, stderr);
        ::_exit(1);
    }
}

bool displayNamed() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int Main(int argc, char** argv) {
    // Before any window exists: a second copy of this user's Orlix ends at once, silently.
    platform::SingleInstance instance;
    if (instance.anotherIsRunning())
        return 0;

    if (!displayNamed()) {
        std::fputs(kNoDisplay, stderr);
        return 1;
    }

    // The program takes no command-line arguments: Qt sees only the program name.
    int qtArgc = argc > 0 ? 1 : 0;
    QtMessageHandler previous = qInstallMessageHandler(reportMissingDisplay);
    QApplication app(qtArgc, argv);
    qInstallMessageHandler(previous);
    QApplication::setApplicationName(QString::fromUtf8(app::kTitle));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(app::kVersionMajor)
                                            .arg(app::kVersionMinor)
                                            .arg(app::kVersionRevision));
    // The settings window ends the program itself when it closes, whatever else is open.
    QApplication::setQuitOnLastWindowClosed(false);

    {
        FormSplash splash;
        splash.showModal();
    }

    platform::DesktopMessageService messages;
    FormSetting settings(messages);
    settings.show();
    return app.exec();
}

} // namespace orlix
