#include "app/Main.h"

#include "app/AppInfo.h"
#include "app/FormSplash.h"
#include "app/QuietMessages.h"
#include "platform/MemoryReuse.h"
#include "platform/MessageService.h"
#include "platform/ScreenSaverInhibitor.h"
#include "platform/SingleInstance.h"
#include "settings/FormSetting.h"

#include <QApplication>

#include <cstdio>
#include <memory>
#include <optional>

namespace orlix {

namespace {

bool displayNamed() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int Main(int argc, char** argv) {
    // Qt's messages are dropped from the start, whichever thread sends them (QuietMessages.h).
    installQuietMessageHandler();
    platform::keepFreedMemoryForReuse();

    // Before any window exists: a second copy of this user's Orlix ends at once, silently.
    platform::SingleInstance instance;
    if (instance.anotherIsRunning())
        return 0;

    if (!displayNamed()) {
        std::fputs(kNoDisplaySentence, stderr);
        return 1;
    }

    // The program takes no command-line arguments: Qt sees only the program name.
    int qtArgc = argc > 0 ? 1 : 0;
    // Qt ends the process with a fatal message when no platform plugin can connect to a
    // display; while the application object is built, that becomes one plain sentence.
    std::optional<OpeningDisplay> opening(std::in_place);
    QApplication app(qtArgc, argv);
    opening.reset();
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
    // Outlives the settings window and every viewer; going, it gives the screen back.
    const std::unique_ptr<platform::ScreenSaverInhibitor> screenSaver =
        platform::makeDesktopScreenSaverInhibitor();
    FormSetting settings(messages, {}, screenSaver.get());
    settings.show();
    const int status = app.exec();
    // The settings window leaves a viewer it closed to be deleted later; delete it now, while
    // everything it uses is still there, so that its decoding thread ends before the program.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return status;
}

} // namespace orlix
