#include "support/ViewerScene.h"

#include "catalogue/FormWait.h"
#include "core/AppInfo.h"
#include "core/Settings.h"
#include "viewer/steps/SlideStepMachine.h"
#include "viewer/window/PictureBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>

#include <chrono>
#include <thread>

namespace orlix::test {

ViewerScene::ViewerScene(const QString& folder, Pace pace) : folder(folder), pace(pace) {
    Settings = SettingsRecord();
    Settings.Path = folder;
    Settings.ExtList = QStringLiteral("bmp|jpg|gif");
    Settings.Interval = 60;
    Settings.Sort = 1;
}

ViewerScene::~ViewerScene() {
    close();
}

void ViewerScene::warning(QWidget*, const QString& title, const QString& text) {
    boxes << (title == QString::fromUtf8(app::kTitle) ? text : "titled " + title + ": " + text);
    if (onWarning)
        onWarning(text);
}

void ViewerScene::open(bool wait) {
    close();
    decoding_ = false;
    view = new FormView(screen, *this, this, nullptr, decoder, screenSaver, scan, this);
    view->Form_Load();
    view->show();
    if (wait)
        runUntil([&] { return !view || (steps().stepsRun() > 0 && steps().settled()); });
}

void ViewerScene::close() {
    delete view.data();
}

bool ViewerScene::runUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    bool met = false;
    if (pace == Pace::Asleep) {
        QEventLoop loop;
        QTimer wake;
        wake.setInterval(2);
        QObject::connect(&wake, &QTimer::timeout, &loop, [&] {
            if ((met = done()) || clock.elapsed() > ms)
                loop.quit();
        });
        if (!(met = done())) {
            wake.start();
            loop.exec();
        }
    } else {
        // Not QTest::qWaitFor: it sleeps 10 ms whenever the answer is no.
        while (true) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            if ((met = done()) || clock.elapsed() > ms)
                break;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    timeouts += met ? 0 : 1;
    return met;
}

void ViewerScene::settle() {
    runUntil([&] { return !view || steps().settled(); });
}

void ViewerScene::idle(int ms) {
    QElapsedTimer clock;
    clock.start();
    runUntil([&] { return (!view || !decoding_) && clock.elapsed() >= ms; }, ms + 10000);
}

void ViewerScene::tick() {
    view->TimInterval_Timer();
    settle();
}

QString ViewerScene::shown() {
    settle();
    if (view && !steps().closed()) {
        const ViewerState& s = steps().state();
        return s.fileList.at(std::size_t(s.fileIndex)).Path.mid(folder.size() + 1);
    }
    if (view && intervalTimer()->isActive())
        return QStringLiteral("a timer still runs");
    return runUntil([&] { return view.isNull(); }, 2000) ? QString() : "not destroyed";
}

const SlideStepMachine& ViewerScene::steps() const {
    if (!view || !steps_)
        qFatal("no viewer is open");
    return *steps_;
}

QLabel* ViewerScene::guideLabel(GuideLabel label) const {
    return view->findChild<QLabel*>(QStringLiteral("LabGuide%1").arg(guideIndex(label)));
}

QLabel* ViewerScene::fileNameLabel() const {
    return view->findChild<QLabel*>(QStringLiteral("LabFileName"));
}

PictureBox* ViewerScene::pictureView() const {
    return view->findChild<PictureBox*>(QStringLiteral("PicView"));
}

QTimer* ViewerScene::intervalTimer() const {
    return view->findChild<QTimer*>(QStringLiteral("TimInterval"));
}

FormWait* ViewerScene::progressWindow() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* wait = qobject_cast<FormWait*>(window); wait && wait->isVisible())
            return wait;
    }
    return nullptr;
}

} // namespace orlix::test
