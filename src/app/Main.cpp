#include "app/Main.h"

#include "app/FormSplash.h"
#include "app/QuietMessages.h"
#include "core/AppInfo.h"
#include "decode/process/DecoderService.h"
#include "decode/process/ProcessDecoder.h"
#include "platform/desktop/Desktop.h"
#include "platform/desktop/MessageService.h"
#include "platform/desktop/ScreenMetrics.h"
#include "platform/desktop/ScreenSaverInhibitor.h"
#include "platform/desktop/SingleInstance.h"
#include "platform/sandbox/DecoderProcess.h"
#include "platform/sandbox/MemoryReuse.h"
#include "platform/sandbox/ProgramLockdown.h"
#include "settings/FormSetting.h"

#include <QApplication>
#include <QPixmapCache>

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
    // While the program is one thread: the process that forks the picture decoders, which
    // must not inherit anything the program opens from here on.
    platform::startDecoderZygote(decoderProgram());
    platform::keepSmallBlocksForReuse();

    // Before any window exists: a second copy of this user's Orlix ends at once, silently.
    platform::SingleInstance instance;
    if (instance.anotherIsRunning())
        return 0;

    if (!displayNamed()) {
        std::fputs(kNoDisplaySentence, stderr);
        return 1;
    }

    // The lock is held and still no thread runs: from here on the program reads what it likes
    // but writes no file and starts no program (ProgramLockdown.h). The splash's link is opened
    // by a helper forked just before, outside the lockdown, so that the browser is free.
    platform::startAddressOpener();
    platform::lockDownProgram();

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
    const auto decoder = std::make_shared<ProcessDecoder>();
    // Ready by the time Start is pressed, and holding no memory until then.
    decoder->prepare();
    // A show takes its memory as it starts and gives it back when its viewer goes: nothing is
    // held for pictures while the settings window waits. The first picture's memory faults in
    // as it is decoded, copied and framed; faulted in ahead as the show starts, on a thread of
    // its own, it would take a core from the decoder process.
    settings.setShowHooks(
        [decoder](const platform::ScreenMetrics& screen) {
            decoder->prepare((QSizeF(screen.geometry.size()) * screen.devicePixelRatio).toSize());
            // The settings window's controls, drawn and cached by the style, are hidden behind
            // the show; while the cache holds them its timer wakes the program every 10 s.
            QPixmapCache::clear();
        },
        [decoder] {
            decoder->release();
            platform::giveBackFreedMemory();
        });
    settings.setDecoder(decoder);
    settings.show();
    const int status = app.exec();
    // The settings window leaves a viewer it closed to be deleted later; delete it now, while
    // everything it uses is still there, so that its decoding thread ends before the program.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return status;
}

} // namespace orlix
