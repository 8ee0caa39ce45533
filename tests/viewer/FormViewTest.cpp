// The viewer window over a scratch tree: its layout, its pictures fitted and panned, failures,
// the progress window of a listing, pictures decoded ahead on its decoding thread, and closing
// while a decode is under way.

#include "viewer/window/FormView.h"

#include "catalogue/FormWait.h"
#include "catalogue/ProgressWindow.h"
#include "catalogue/ScanFolder.h"
#include "core/Settings.h"
#include "platform/files/NativePath.h"
#include "viewer/TreeScene.h"
#include "viewer/sources/PictureSource.h"
#include "viewer/steps/KeyCodes.h"
#include "viewer/window/PictureBox.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orlix {
namespace {

QByteArray grey(QSize size, const char* format = "BMP") {
    return test::pictureFile(size, qRgb(128, 128, 128), format);
}

// A GIF of one pixel whose header claims `size` (hex, little-endian width and height).
QByteArray gif(const char* size) {
    return QByteArray::fromHex(QByteArray("474946383961") + size + "800000000000ffffff2c00000000" +
                               size + "000202440100" + "3b");
}

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

struct FormViewTest : ::testing::Test, test::TreeScene {};

TEST_F(FormViewTest, LaysTheGuideOutInTwoRowsTheSameWhetherShownOrNot) {
    pictures({"a.bmp"});
    Settings.Guide = 1;
    open();
    const int h = guideLabel(GuideLabel::Exit)->height();
    std::vector<QRect> laidOut;
    for (int i = 0; i < kGuideLabelCount; ++i) {
        const QRect at = guideLabel(GuideLabel(i))->geometry();
        EXPECT_EQ(at.y(), i < 6 ? 768 - 2 * h : 768 - h) << i;
        EXPECT_EQ(at.x(), i == 0 || i == 6 ? 0 : laidOut.back().right() + 1) << i;
        laidOut.push_back(at);
    }
    const QRect name = fileNameLabel()->geometry();
    EXPECT_EQ(name.bottomLeft(), QPoint(laidOut.back().right() + 1, 767));
    EXPECT_EQ(name.right(), 1023);
    EXPECT_EQ(steps().state().viewHeight, 11520 - 2 * 15 * h - 100);

    Settings.Guide = 0;
    open();
    EXPECT_EQ(steps().state().viewHeight, 11520);
    for (int i = 0; i < kGuideLabelCount; ++i)
        EXPECT_EQ(guideLabel(GuideLabel(i))->geometry(), laidOut[i]) << i;
}

TEST_F(FormViewTest, FitsCentresAndCaptionsThePicture) {
    const QByteArray turned = test::quarterTurnedJpeg(QImage::fromData(grey({40, 20})));
    const struct {
        const char* name;
        QByteArray bytes;
        double ratio;
        QRect placed; // logical pixels; the frame has as many device pixels
        const char* size;
    } cases[] = {
        {"1/too-wide.bmp", grey({2000, 1000}), 1, {0, 128, 1024, 512}, "2000X1000 51%"},
        {"2/equal-ratios.bmp", grey({4000, 3000}), 2, {0, 0, 1024, 768}, "4000X3000 51%"},
        {"3/fits.bmp", grey({1000, 600}), 2, {262, 234, 500, 300}, "1000X600 100%"},
        {"4/\x93\xfa\x96\x7b.jpg", turned, 1, {502, 364, 20, 40}, "20X40 100%"}, // Shift-JIS
        {"5/dot.gif", gif("01000100"), 1, {512, 384, 1, 1}, "1X1 100%"},
        {"6/exactly-fits.bmp", grey({1024, 768}), 1, {0, 0, 1024, 768}, "1024X768 100%"},
        {"7/too-tall.bmp", grey({500, 1000}), 1, {320, 0, 384, 768}, "500X1000 76%"},
        // 101 pixels are 67.3 screen units at 1.5: placed 67 wide, still at its own size.
        {"8/fits-at-one-and-a-half.bmp", grey({101, 51}), 1.5, {479, 367, 67, 34}, "101X51 100%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write(c.name, c.bytes);
        Settings.Path = folder + QLatin1Char('/') + QLatin1Char(c.name[0]);
        screen.devicePixelRatio = c.ratio;
        open();
        const PicturePlacement& p = steps().placement();
        EXPECT_EQ(QRect(p.left, p.top, p.width, p.height),
                  QRect(c.placed.topLeft() * 15, c.placed.size() * 15));
        // At a fractional ratio the box reaches two pixels further, so that no device pixel of
        // the frame is cut off.
        const bool fractional = c.ratio != std::floor(c.ratio);
        EXPECT_EQ(pictureView()->geometry(), fractional ? c.placed.adjusted(0, 0, 2, 2) : c.placed);
        EXPECT_TRUE(pictureView()->isVisible());
        EXPECT_EQ(pictureView()->frame().size(), c.placed.size() * c.ratio);
        const QByteArray line2 = QByteArray(" (Size ") + c.size + ")";
        EXPECT_EQ(platform::toNative(caption()), path(c.name) + '\r' + line2);
        EXPECT_TRUE(fileNameLabel()->text().endsWith(QLatin1Char('\n') + QLatin1String(line2)));
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FormViewTest, ATreeWithoutPicturesClosesAtOnceWithoutAWord) {
    Settings.SubFolder = 1;
    write("empty/readme.txt");
    open();
    EXPECT_TRUE(view.isNull());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FormViewTest, PassesOverAnUndecodablePictureAndReportsEachOtherFailureOnce) {
    pictures({"0.bmp"});
    write("1.gif", gif("ffffffff")); // 65535 x 65535: refused before decoding
    write("2.jpg", "not a picture");
    mkdir("3.jpg");
    ASSERT_EQ(::mkfifo(path("4.gif").constData(), 0600), 0);
    write("5.jpg", grey({8000, 6000}, "JPEG")); // 48 megapixels
    open();
    for (int i = 1; i <= 4; ++i) {
        tick();
        EXPECT_FALSE(pictureView()->isVisible()) << i;
    }
    const QString invalid = QString::fromUtf8("75 パス名が無効です。");
    const QString tooLarge = QString::fromUtf8("7 画像が大きすぎるため表示できません。");
    EXPECT_EQ(boxes, QStringList({tooLarge, invalid, invalid}));
    tick();
    EXPECT_EQ(shown(), QStringLiteral("5.jpg"));
    EXPECT_EQ(steps().heldPicture()->pixelSize, QSize(8000, 6000));
    press(Qt::Key_Home); // real size: the whole photo, decoded at full resolution
    EXPECT_EQ(steps().heldPicture()->image.size(), QSize(8000, 6000));
    EXPECT_EQ(boxes.size(), 3);
}

TEST_F(FormViewTest, NothingRunsWhileAFailureBoxIsOpen) {
    mkdir("1.jpg");
    mkdir("2.jpg");
    pictures({"3.bmp"});
    onWarning = [&](const QString&) {
        if (boxes.size() > 1)
            return; // a box opened from inside the first: the guard has failed
        view->TimInterval_Timer();
        QTimer::singleShot(0, view.data(), &FormView::TimInterval_Timer);
        QTest::qWait(5);
        for (Qt::Key key : {Qt::Key_Right, Qt::Key_Home, Qt::Key_Escape})
            QTest::keyClick(view.data(), key);
    };
    open();
    ASSERT_TRUE(view);
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_EQ(steps().stepsRun(), 1);
    EXPECT_EQ(Settings.RealSize, 0);
    EXPECT_FALSE(steps().closed());
}

// The progress window is up while a listing waits at its gate: the window serves events, the
// percentages come through in order, and of the keys only Esc acts, at once.
TEST_F(FormViewTest, AListingUnderTheProgressWindowLeavesOnlyEscToAct) {
    Settings.SubFolder = 1;
    Settings.Auto = 1;
    Settings.Loop = 1;
    pictures({"a/1.bmp", "b/1.bmp"});
    const struct {
        const char* what;
        bool duringStart; // the listing of the folders at start-up, else the step to b
        bool escape;      // Esc pressed on the progress window
    } cases[] = {
        {"keys but Esc are dropped", false, false},
        {"Esc closes the viewer", false, true},
        {"Esc closes the viewer before it is shown", true, true},
    };
    // The listing reports half way to its progress window, then waits while it is shut.
    std::atomic<bool> shut{false};
    std::atomic<int> waiting{0};
    scan = [&](const FileEntry& folder, EntryList& entries, std::int16_t sortFlag,
               std::int16_t attrMask, const QString& extList, ProgressWindow* progress) {
        if (progress) {
            progress->setProgressText(QStringLiteral("50%"));
            progress->repaintNow();
        }
        ++waiting;
        while (shut)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        --waiting;
        return ScanFolder(folder, entries, sortFlag, attrMask, extList, progress);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Settings.RealSize = 0;
        shut = c.duringStart;
        open(!c.duringStart);
        shut = true;
        if (!c.duringStart)
            view->TimInterval_Timer(); // on to b, whose listing waits
        bool served = false;
        QTimer::singleShot(0, [&] { served = true; });
        ASSERT_TRUE(runUntil([&] {
            return served && waiting > 0 && progressWindow() &&
                   progressWindow()->findChild<QLabel*>("Lab_Prog")->text() == "50%";
        }));
        EXPECT_TRUE(progressWindow()->isVisible());
        EXPECT_EQ(view->isVisible(), !c.duringStart);
        for (Qt::Key key : {Qt::Key_Right, Qt::Key_Home, Qt::Key_Return})
            QTest::keyClick(progressWindow(), key);
        if (c.escape)
            QTest::keyClick(progressWindow(), Qt::Key_Escape);
        EXPECT_EQ(steps().closed(), c.escape);
        EXPECT_EQ(progressWindow() == nullptr, c.escape);
        EXPECT_FALSE(c.escape && view->isVisible());
        shut = false;
        EXPECT_EQ(shown(), c.escape ? QString() : QStringLiteral("b/1.bmp"));
        EXPECT_EQ(Settings.RealSize, 0);
        EXPECT_TRUE(!view || (steps().stepsRun() == 2 && intervalTimer()->isActive()));
        close();
    }
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(FormViewTest, PansAtRealSizeWithinThePicture) {
    QImage large(2000, 1500, QImage::Format_RGB32);
    large.fill(Qt::gray);
    large.setPixel(1999, 1499, qRgb(255, 0, 0)); // where the edges meet
    write("1.bmp", test::encodedPicture(large, "BMP"));
    pictures({"2.bmp"}, {300, 200});
    Settings.RealSize = 1;
    open();
    EXPECT_TRUE(caption().endsWith(QStringLiteral("(Size 2000X1500 100%)")));
    const qint64 decoded = steps().heldPicture()->image.cacheKey();
    const auto pan = [this](Qt::Key first, Qt::Key second, int times) {
        for (int i = 0; i < times; ++i) {
            press(first, Qt::ShiftModifier);
            press(second, Qt::ShiftModifier);
        }
    };
    pan(Qt::Key_Down, Qt::Key_Right, 12);
    EXPECT_EQ(steps().state().offsetX, (2000 - 1024) * 15); // where the edges meet
    EXPECT_EQ(steps().state().offsetY, (1500 - 768) * 15);
    EXPECT_EQ(pictureView()->frame().pixel(1023, 767), qRgb(255, 0, 0));
    const qint64 frame = pictureView()->frame().cacheKey();
    pan(Qt::Key_Down, Qt::Key_Right, 1); // at the limit: the same view, no new frame
    EXPECT_EQ(pictureView()->frame().cacheKey(), frame);
    EXPECT_EQ(steps().heldPicture()->image.cacheKey(), decoded);
    pan(Qt::Key_Up, Qt::Key_Left, 12);
    EXPECT_EQ(QPoint(steps().state().offsetX, steps().state().offsetY), QPoint(0, 0));
    press(Qt::Key_Right); // the next picture fits: it cannot be panned
    pan(Qt::Key_Down, Qt::Key_Right, 1);
    EXPECT_EQ(QPoint(steps().state().offsetX, steps().state().offsetY), QPoint(0, 0));
}

// Each row starts on a with b decoded ahead, steps on to b, which is ready, and then changes
// what the show wants: exactly the pictures it now wants are decoded, each once, and the step
// after the change finds its picture ready and laid out for the view as it now is. The photos
// are larger than the screen: a show of them decodes each once, fitted into the screen, and
// a full resolution only for real size, or ahead once the show has asked for one by Home.
TEST_F(FormViewTest, DecodesOnceEachPictureTheShowWantsNext) {
    pictures({"a.jpg", "b.jpg", "c.jpg", "d.jpg"}, {2048, 1536});
    Settings.Loop = 1;
    const std::map<char, Qt::Key> keys = {
        {'L', Qt::Key_Left}, {'R', Qt::Key_Right}, {'H', Qt::Key_Home}, {'C', Qt::Key_Control}};
    // The change, from b on show with c decoded ahead: t a tick, L R H C the keys Left, Right,
    // Home and Ctrl, i a rest until the decoding thread is idle.
    const struct {
        const char* change;
        const char* shownAfter;
        QStringList decoded; // since the change, "*" for a full-resolution decode
        bool frameOnly;      // the picture shown is held as its frame, its decode let go
    } cases[] = {
        // Ticks to d, then round to a.
        {"tit", "d.jpg", {"d.jpg", "a.jpg"}, true},
        // The direction reversed: the frame of a, shown before, is kept.
        {"L", "a.jpg", {"d.jpg"}, true},
        // Reversed twice: the frame of b is kept, then c, decoded ahead before.
        {"LiR", "b.jpg", {"d.jpg", "c.jpg"}, true},
        // The guide off: the view grows, and b, held as its frame alone, is decoded again.
        {"C", "b.jpg", {"b.jpg", "c.jpg"}, true},
        {"H", "b.jpg", {"b.jpg*", "c.jpg*"}, false},
        // Real size on and off: the next photo fitted again; then a tick: the photo shown is
        // followed by its full resolution.
        {"HiH", "b.jpg", {"b.jpg*", "c.jpg*", "c.jpg"}, false},
        {"HiHit", "c.jpg", {"b.jpg*", "c.jpg*", "c.jpg", "d.jpg", "c.jpg*"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        Settings.Guide = 1;
        Settings.RealSize = 0;
        idle(); // the last row's picture decoded ahead belongs to that row
        const qsizetype start = gate->log().size();
        open();
        idle();
        press(Qt::Key_Right);
        idle();
        EXPECT_EQ(gate->log().mid(start), QStringList({"a.jpg", "b.jpg", "c.jpg"}));
        // Only the first is waited for; the others are decoded ahead, on one core.
        EXPECT_EQ(gate->record().hurried.mid(start), QList<bool>({true, false, false}));
        // Fitted into the screen clear of the guide, and shrunk to the frame in that view.
        const SizeRequest fitted = sizeRequestFor(steps().currentView(), 0, 0);
        EXPECT_FALSE(fitted.frameBox.isEmpty());
        for (const QSize& box : gate->record().boxes.mid(start))
            EXPECT_EQ(box, fitted.fitInto);
        for (const FitBox& view : gate->record().views.mid(start))
            EXPECT_EQ(view, fitted.frameBox);
        const qsizetype before = gate->log().size();
        for (const char* action = c.change; *action; ++action) {
            if (*action == 't')
                tick();
            else if (*action == 'i')
                idle();
            else
                press(keys.at(*action));
        }
        idle();
        EXPECT_EQ(shown(), QString::fromLatin1(c.shownAfter));
        EXPECT_EQ(steps().heldPicture()->image.isNull(), c.frameOnly);
        EXPECT_EQ(gate->log().mid(before), c.decoded) << gate->log().join(' ').toStdString();
        for (qsizetype i = before; i < gate->log().size(); ++i) // a whole picture: no frame
            EXPECT_EQ(gate->log()[i].endsWith('*'), gate->record().views[i].isEmpty());
        const qsizetype next = gate->log().size();
        press(steps().state().lastKey == keycode::kLeft ? Qt::Key_Left : Qt::Key_Right);
        // Nothing decoded for it; but a fitted photo's full resolution may follow, for a Home.
        const QStringList since = gate->log().mid(next);
        EXPECT_FALSE(since.contains(shown()) ||
                     (Settings.RealSize == 1 && since.contains(shown() + "*")));
        const DecodedPicture* held = steps().heldPicture();
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(held->request, sizeRequestFor(steps().currentView(), 0, 0));
        EXPECT_EQ(steps().currentView().realSize, Settings.RealSize == 1);
    }
    EXPECT_TRUE(boxes.isEmpty());
}

// Home on a photo whose full resolution is still to be decoded: its fitted frame stays on
// screen until the whole photo is there.
TEST_F(FormViewTest, HomeKeepsTheFittedFrameOnScreenUntilTheWholePhotoIsThere) {
    pictures({"a.jpg", "b.jpg"}, {2048, 1536});
    decoder = gate = std::make_shared<test::GatedDecoder>(true);
    const auto letThrough = [&](const char* name) {
        ASSERT_TRUE(runUntil([&] { return gate->record().atGate == name; }));
        gate->letOneThrough();
    };
    open(false);
    letThrough("a.jpg");
    letThrough("b.jpg"); // decoded ahead
    idle();
    const QImage fitted = pictureView()->frame();
    ASSERT_EQ(fitted.size(), QSize(1024, 768));
    QTest::keyClick(view.data(), Qt::Key_Home);
    ASSERT_TRUE(runUntil([&] { return gate->record().atGate == "a.jpg"; }));
    EXPECT_TRUE(pictureView()->isVisible());
    EXPECT_EQ(pictureView()->frame().cacheKey(), fitted.cacheKey());
    letThrough("a.jpg");
    ASSERT_TRUE(runUntil([&] { return steps().settled(); }));
    EXPECT_EQ(steps().heldPicture()->image.size(), QSize(2048, 1536));
    EXPECT_NE(pictureView()->frame().cacheKey(), fitted.cacheKey());
    EXPECT_EQ(gate->log().mid(0, 3), QStringList({"a.jpg", "b.jpg", "a.jpg*"}));
}

TEST_F(FormViewTest, AFileChangedSinceItWasDecodedIsReadAgainAtItsStep) {
    pictures({"a.jpg", "b.jpg", "c.jpg"});
    open();
    idle(); // b.jpg decoded ahead as 40 x 30, then rewritten in place
    pictures({"b.jpg"}, {60, 45});
    press(Qt::Key_Right);
    EXPECT_EQ(shown(), QStringLiteral("b.jpg"));
    EXPECT_TRUE(caption().endsWith(QLatin1String("(Size 60X45 100%)")));
    idle(); // a.jpg, kept since it was shown, rewritten: the step back onto it reads it anew
    pictures({"a.jpg"}, {80, 60});
    press(Qt::Key_Left);
    EXPECT_TRUE(caption().endsWith(QLatin1String("(Size 80X60 100%)")));
    press(Qt::Key_Right);
    EXPECT_EQ(shown(), QStringLiteral("b.jpg"));
    idle(); // c.jpg decoded ahead, then gone
    ASSERT_EQ(::unlink(path("c.jpg").constData()), 0);
    press(Qt::Key_Right);
    EXPECT_EQ(shown(), QStringLiteral("c.jpg"));
    EXPECT_FALSE(pictureView()->isVisible());
    EXPECT_EQ(boxes, QStringList(QString::fromUtf8("53 ファイルが見つかりません。")));
}

// Closing abandons the decode the step waits for rather than waiting for it: the window goes,
// and so does its thread.
TEST_F(FormViewTest, ClosingWhileAStepWaitsEndsALongDecodeAtOnce) {
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
    write("b.jpg", head);
    ASSERT_EQ(::truncate(path("b.jpg").constData(), qint64(2) << 30), 0);
    // Esc, or as the settings window does when it ends the program: hide, delete later, and
    // the program's end deletes what is left.
    for (const bool escape : {true, false}) {
        SCOPED_TRACE(escape ? "Esc" : "the program ends");
        const qsizetype decodesBefore = gate->log().count("b.jpg");
        open();
        EXPECT_EQ(decodingThreads(), 1);
        // Under way ahead, then wanted by the step.
        ASSERT_TRUE(runUntil([&] { return gate->log().count("b.jpg") > decodesBefore; }));
        QTest::keyClick(view.data(), Qt::Key_Right);
        ASSERT_EQ(steps().phase(), SlideStepMachine::Phase::Decoding);
        if (escape) {
            QTest::keyClick(view.data(), Qt::Key_Escape);
        } else {
            view->hide();
            view->deleteLater();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        EXPECT_TRUE(!view || (steps().closed() && !view->isVisible()));
        EXPECT_TRUE(QTest::qWaitFor([&] { return view.isNull(); }, 5000));
        // The viewer waits only a moment for its thread; on a loaded machine the thread may
        // notice the cancel a little later and end on its own.
        EXPECT_TRUE(QTest::qWaitFor([] { return decodingThreads() == 0; }, 2000));
    }
    // Stopped, not read to their end; and a cancelled decode is no failure to report.
    EXPECT_EQ(gate->record().abandoned, QStringList({"b.jpg", "b.jpg"}));
    QTest::qWait(50);
    EXPECT_TRUE(boxes.isEmpty());
}

} // namespace
} // namespace orlix
