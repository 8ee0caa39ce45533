#include "viewer/ViewerScene.h"

#include "core/Settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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
    view = new FormView({QRect(0, 0, 1024, 768), devicePixelRatio}, *this, this, nullptr, decoder,
                        screenSaver, scan);
    QObject::connect(view.data(), &FormView::captionWritten,
                     [this](const QString& caption) { captions << caption; });
    view->Form_Load();
    view->show();
    if (wait) {
        EXPECT_TRUE(runUntil([&] { return !view || view->stepsRun() > 0; }));
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
    EXPECT_TRUE(runUntil([&] { return !view || view->isSettled(); })) << "the viewer never settled";
}

void ViewerScene::idle() const {
    EXPECT_TRUE(runUntil([&] { return !view || view->pictures().idle(); }));
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
    if (!view || view->steps().closed())
        return true;
    // Every step checks its file on the decoding thread; one whose picture was at hand
    // decodes nothing for it.
    const QStringList decodedSince = decoder->log().mid(before);
    const QString name = shown().section(QLatin1Char('/'), -1);
    return !decodedSince.contains(name) && !decodedSince.contains(name + "*");
}

QString ViewerScene::shown() const {
    settle();
    if (view && !view->steps().closed()) {
        const ViewerState& s = view->steps().state();
        return s.fileList.at(std::size_t(s.fileIndex)).Path.mid(tree.rootText().size() + 1);
    }
    if (view && view->intervalTimer()->isActive())
        return QStringLiteral("a timer still runs");
    return runUntil([&] { return view.isNull(); }, 2000) ? QString() : "not destroyed";
}

} // namespace orlix::test
