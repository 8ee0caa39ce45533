// The viewer with its decoding thread: pictures decoded ahead, what makes them useless, steps
// that wait for their picture, and closing while a decode is under way.

#include "viewer/FormView.h"

#include "app/Settings.h"
#include "viewer/KeyCodes.h"
#include "viewer/PictureBox.h"
#include "viewer/PictureSource.h"
#include "viewer/ViewerScene.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace orlix {
namespace {

// How many decoding threads the process has.
int decodingThreads() {
    int count = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks.filePath(task + QStringLiteral("/comm")));
        if (name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == DecodeWorker::kThreadName)
            ++count;
    }
    return count;
}

// The viewer over a scratch tree, showing in a loop with the guide on.
class DecodeAhead : public ::testing::Test, public test::ViewerScene {
public:
    DecodeAhead() {
        Settings.Loop = 1;
        Settings.Guide = 1;
    }
    bool waiting() const {
        return view && view->steps().phase() == SlideStepMachine::Phase::Decoding;
    }
};

// Each row starts on a with b decoded ahead, steps on to b, which is ready, and then changes
// what the show wants: exactly the pictures it now wants are decoded, each once, and the step
// after the change finds its picture ready and laid out for the view as it now is.
TEST_F(DecodeAhead, DecodesOnceEachPictureTheShowWantsNext) {
    pictures({"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
    const struct {
        const char* what;
        std::function<void(DecodeAhead&)> change; // from b on show, c decoded ahead
        const char* shownAfter;
        QStringList decoded; // since the change, "*" for a full-resolution decode
    } cases[] = {
        {"ticks to d, then round to a",
         [](DecodeAhead& t) { t.tick(), t.idle(), t.tick(); },
         "d.jpg",
         {"d.jpg", "a.jpg"}},
        {"direction reversed",
         [](DecodeAhead& t) { t.press(Qt::Key_Left); },
         "a.jpg",
         {"a.jpg", "d.jpg"}},
        {"guide switched", [](DecodeAhead& t) { t.press(Qt::Key_Control); }, "b.jpg", {"c.jpg"}},
        {"real size switched", [](DecodeAhead& t) { t.press(Qt::Key_Home); }, "b.jpg", {"c.jpg*"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Settings.Guide = 1;
        Settings.RealSize = 0;
        idle(); // the last row's picture decoded ahead belongs to that row
        const qsizetype start = decoder->log().size();
        open();
        idle();
        EXPECT_TRUE(press(Qt::Key_Right));
        idle();
        EXPECT_EQ(decoder->log().mid(start), QStringList({"a.jpg", "b.jpg", "c.jpg"}));
        const qsizetype before = decoder->log().size();
        c.change(*this);
        idle();
        EXPECT_EQ(shown(), QString::fromLatin1(c.shownAfter));
        EXPECT_EQ(decoder->log().mid(before), c.decoded) << decoder->log().join(' ').toStdString();
        EXPECT_TRUE(
            press(view->steps().state().lastKey == keycode::kLeft ? Qt::Key_Left : Qt::Key_Right));
        const DecodedPicture* held = view->steps().heldPicture();
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(held->view.viewHeight, view->steps().state().viewHeight);
        EXPECT_EQ(held->view.realSize, Settings.RealSize == 1);
    }
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(DecodeAhead, AFileChangedSinceItWasDecodedAheadIsReadAgainAtItsStep) {
    const auto replace = [this](QSize size) {
        tree.write("new.tmp", test::pictureFile(size, qRgb(255, 0, 0), "JPEG"));
        ASSERT_EQ(::rename(tree.path("new.tmp").constData(), tree.path("b.jpg").constData()), 0);
    };
    const struct {
        const char* what;
        std::function<void()> change;
        const char* caption; // the end of the caption after the step; "" none
        const char* box;
    } cases[] = {
        {"replaced under the same name",
         [&] {
             replace({80, 60});
         },
         "(Size 80X60 100%)", ""},
        {"rewritten in place",
         [&] {
             pictures({"b.jpg"}, {60, 45});
         },
         "(Size 60X45 100%)", ""},
        {"gone", [&] { ::unlink(tree.path("b.jpg").constData()); }, "",
         "53 ファイルが見つかりません。"},
        {"now a folder",
         [&] {
             ::unlink(tree.path("b.jpg").constData());
             tree.mkdir("b.jpg");
         },
         "", "75 パス名が無効です。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ::rmdir(tree.path("b.jpg").constData());
        pictures({"a.jpg", "b.jpg"});
        boxes.clear();
        open();
        idle(); // b.jpg decoded ahead as 40 x 30
        c.change();
        press(Qt::Key_Right);
        EXPECT_EQ(shown(), QStringLiteral("b.jpg"));
        EXPECT_EQ(boxes, c.box[0] ? QStringList(QString::fromUtf8(c.box)) : QStringList());
        if (c.caption[0])
            EXPECT_TRUE(view->caption().endsWith(QLatin1String(c.caption)))
                << view->caption().toStdString();
        else
            EXPECT_FALSE(view->pictureView()->isVisible());
    }
}

// Closing abandons the decode the step waits for rather than waiting for it: the window goes,
// and so does its thread.
TEST_F(DecodeAhead, ClosingWhileAStepWaitsEndsALongDecodeAtOnce) {
    // A progressive JPEG cut off and padded to 2 GiB with zeros: the decoder reads through all
    // of it before the first row, for seconds.
    QImage detail(1600, 1200, QImage::Format_RGB32);
    for (int y = 0; y < detail.height(); ++y)
        for (int x = 0; x < detail.width(); ++x)
            detail.setPixel(x, y, qRgb((x * 7 + y) & 0xff, (x ^ y) & 0xff, (x * y) & 0xff));
    QByteArray head = test::encodedPicture(detail, "JPEG", true);
    ASSERT_FALSE(head.isEmpty());
    head.truncate(head.size() / 2);
    pictures({"a.jpg"});
    tree.write("b.jpg", head);
    ASSERT_EQ(::truncate(tree.path("b.jpg").constData(), qint64(2) << 30), 0);
    const struct {
        const char* what;
        std::function<void(FormView*)> close;
    } ways[] = {
        {"Esc", [](FormView* v) { QTest::keyClick(v, Qt::Key_Escape); }},
        // As the settings window does when it ends the program: hide, delete later, and the
        // program's end deletes what is left.
        {"the program ends",
         [](FormView* v) {
             v->hide();
             v->deleteLater();
             QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
         }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.what);
        const qsizetype decodesBefore = decoder->log().count("b.jpg");
        open();
        EXPECT_EQ(decodingThreads(), 1);
        // Under way ahead, then wanted by the step.
        ASSERT_TRUE(runUntil([&] { return decoder->log().count("b.jpg") > decodesBefore; }));
        QTest::keyClick(view.data(), Qt::Key_Right);
        ASSERT_TRUE(waiting());
        way.close(view.data());
        EXPECT_TRUE(!view || (view->steps().closed() && !view->isVisible()));
        EXPECT_TRUE(QTest::qWaitFor([&] { return view.isNull(); }, 5000));
        // The viewer waits only a moment for its thread; on a loaded machine the thread may
        // notice the cancel a little later and end on its own.
        EXPECT_TRUE(QTest::qWaitFor([] { return decodingThreads() == 0; }, 2000));
    }
    // Stopped, not read to their end; and a cancelled decode is no failure to report.
    EXPECT_EQ(decoder->abandoned(), QStringList({"b.jpg", "b.jpg"}));
    QTest::qWait(50);
    EXPECT_TRUE(boxes.isEmpty());
}

} // namespace
} // namespace orlix
