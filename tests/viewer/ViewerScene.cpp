#include "viewer/ViewerScene.h"

#include "catalogue/FormWait.h"
#include "core/Settings.h"
#include "viewer/steps/SlideStepMachine.h"
#include "viewer/window/PictureBox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace orlix::test {

ViewerScene::ViewerScene() {
    Settings = SettingsRecord();
    Settings.Path = tree.rootText();
    Settings.ExtList = QStringLiteral("bmp|jpg|gif");
    Settings.Interval = 60;
    Settings.Sort = 1;
}

ViewerScene::~ViewerScene() {
    close();
}

void ViewerScene::warning(QWidget*, const QString& title, const QString& text) {
    EXPECT_EQ(title, QStringLiteral("Orlix"));
    boxes << text;
    if (onWarning)
        onWarning();
}

void ViewerScene::pictures(std::initializer_list<const char*> names, QSize size) const {
    for (const char* name : names)
        tree.write(name, pictureFile(size, qRgb(128, 128, 128),
                                     QByteArray(name).endsWith(".jpg") ? "JPEG" : "BMP"));
}

void ViewerScene::open(double devicePixelRatio, bool wait) {
    close();
    decoding_ = false;
    view = new FormView({QRect(0, 0, 1024, 768), devicePixelRatio}, *this, this, nullptr, decoder,
                        screenSaver, scan, this);
    view->Form_Load();
    view->show();
    if (wait) {
        EXPECT_TRUE(runUntil([&] { return !view || steps().stepsRun() > 0; }));
        settle();
    }
}

void ViewerScene::close() {
    delete view.data();
}

bool ViewerScene::runUntil(const std::function<bool()>& done, int ms) {
    // Not QTest::qWaitFor: it sleeps 10 ms whenever the answer is no, and the runs of the
    // equivalence test ask thousands of times.
    QElapsedTimer clock;
    clock.start();
    while (true) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (done())
            return true;
        if (clock.elapsed() > ms)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

void ViewerScene::settle() const {
    EXPECT_TRUE(runUntil([&] { return !view || steps().settled(); })) << "the viewer never settled";
}

void ViewerScene::idle() const {
    EXPECT_TRUE(runUntil([&] { return !view || !decoding_; }));
}

void ViewerScene::tick() {
    view->TimInterval_Timer();
    settle();
}

bool ViewerScene::press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    const qsizetype before = decoder->log().size();
    QTest::keyPress(view.data(), key, modifiers);
    if (view)
        QTest::keyRelease(view.data(), key, modifiers);
    settle();
    if (!view || steps().closed())
        return true;
    // Every step checks its file on the decoding thread; one whose picture was at hand
    // decodes nothing for it. A fitted picture's full resolution may follow it, for a Home.
    const QStringList decodedSince = decoder->log().mid(before);
    const QString name = shown().section(QLatin1Char('/'), -1);
    return !decodedSince.contains(name) &&
           (!steps().currentView().realSize || !decodedSince.contains(name + "*"));
}

QString ViewerScene::shown() const {
    settle();
    if (view && !steps().closed()) {
        const ViewerState& s = steps().state();
        return s.fileList.at(std::size_t(s.fileIndex)).Path.mid(tree.rootText().size() + 1);
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
