#include "viewer/FormView.h"

#include "app/Settings.h"
#include "platform/MessageService.h"
#include "platform/NativePath.h"
#include "support/TempTree.h"
#include "viewer/GuideColours.h"
#include "viewer/PictureBox.h"
#include "viewer/SettingsWindowLink.h"

#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orlix {
namespace {

QImage grey(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::gray);
    return image;
}

// A grey picture file of `size`; its lower-right pixel red when `redCorner`.
QByteArray encoded(QSize size, const char* format = "BMP", bool redCorner = false) {
    QImage image = grey(size);
    if (redCorner)
        image.setPixel(size.width() - 1, size.height() - 1, qRgb(255, 0, 0));
    return test::encodedPicture(image, format);
}

// A GIF of one pixel whose header claims `size` (hex, little-endian width and height).
QByteArray gif(const char* size) {
    return QByteArray::fromHex(QByteArray("474946383961") + size + "800000000000ffffff2c00000000" +
                               size + "000202440100" + "3b");
}

// A viewer over a scratch tree on a 1024 x 768 screen. The fixture stands in for the message
// boxes ("title|text"; `onWarning` runs inside the box) and the settings window's check boxes.
class FormViewTest : public ::testing::Test,
                     public platform::MessageService,
                     public SettingsWindowLink {
protected:
    void SetUp() override {
        Settings = SettingsRecord();
        Settings.Path = tree.rootText();
        Settings.ExtList = QStringLiteral("bmp|jpg|gif");
        Settings.Interval = 60; // no tick of its own while a test drives the show
        Settings.Sort = 1;
    }
    void TearDown() override { delete view.data(); }
    void warning(QWidget*, const QString& title, const QString& text) override {
        boxes.push_back(title + QLatin1Char('|') + text);
        if (onWarning)
            onWarning();
    }
    void setRealSizeCheck(std::int16_t value) override { realSizeChecks.push_back(value); }
    void setGuideCheck(std::int16_t value) override { guideChecks.push_back(value); }

    void picture(const QByteArray& relative, QSize size = {40, 30}) {
        tree.write(relative, encoded(size));
    }
    // Opens the viewer as Start does and waits for the first slide step.
    void open(double ratio = 1.0) {
        view = new FormView({QRect(0, 0, 1024, 768), ratio}, *this, this);
        view->Form_Load();
        view->show();
        (void)QTest::qWaitFor([&] { return !view || view->stepsRun() > 0; }, 5000);
        settle();
    }
    // Waits until no step waits for its picture and nothing is held back.
    void settle() const {
        (void)QTest::qWaitFor([&] { return !view || view->isSettled(); }, 5000);
    }
    void tick() {
        view->TimInterval_Timer();
        settle();
    }
    // The picture on show, relative to the tree; "" once the viewer has closed with no timer
    // left running and its window has been destroyed.
    QString shown() const {
        settle();
        if (view && !view->isClosed()) {
            const ViewerState& s = view->state();
            return s.fileList.at(s.fileIndex).Path.mid(tree.rootText().size() + 1);
        }
        if (view && (view->intervalTimer()->isActive() || view->unloadTimer()->isActive()))
            return QStringLiteral("a timer still runs");
        return QTest::qWaitFor([&] { return view.isNull(); }, 2000) ? QString() : "not destroyed";
    }
    void click(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        ASSERT_TRUE(view) << "the viewer has closed";
        QTest::keyPress(view.data(), key, modifiers);
        if (view)
            QTest::keyRelease(view.data(), key, modifiers);
        settle();
    }
    void pan(Qt::Key first, Qt::Key second, int times) {
        for (int i = 0; i < times; ++i) {
            click(first, Qt::ShiftModifier);
            click(second, Qt::ShiftModifier);
        }
    }
    static QColor colour(const QLabel* l) { return l->palette().color(QPalette::WindowText); }

    test::TempTree tree;
    QPointer<FormView> view;
    std::vector<QString> boxes;
    std::function<void()> onWarning;
    std::vector<std::int16_t> realSizeChecks, guideChecks;
};

TEST_F(FormViewTest, LaysTheGuideOutInTwoRowsTheSameWhetherShownOrNot) {
    picture("a.bmp");
    Settings.Guide = 1;
    open();
    const int h = view->guideLabel(0)->height();
    std::vector<QRect> laidOut;
    for (int i = 0; i < GuideLayout::kLabelCount; ++i) {
        const QRect at = view->guideLabel(i)->geometry();
        EXPECT_EQ(at.y(), i < 6 ? 768 - 2 * h : 768 - h) << i;
        EXPECT_EQ(at.x(), i == 0 || i == 6 ? 0 : laidOut.back().right() + 1) << i;
        laidOut.push_back(at);
    }
    const QRect name = view->fileNameLabel()->geometry();
    EXPECT_EQ(name.bottomLeft(), QPoint(laidOut.back().right() + 1, 767));
    EXPECT_EQ(name.right(), 1023);
    EXPECT_EQ(view->state().viewHeight, 11520 - 2 * 15 * h - 100);

    delete view.data();
    Settings.Guide = 0;
    open();
    EXPECT_EQ(view->state().viewHeight, 11520);
    for (int i = 0; i < GuideLayout::kLabelCount; ++i)
        EXPECT_EQ(view->guideLabel(i)->geometry(), laidOut[i]) << i;
}

TEST_F(FormViewTest, FitsCentresAndCaptionsThePicture) {
    const struct {
        const char* name;
        QByteArray bytes;
        double ratio;
        QRect placed; // logical pixels; the frame has as many device pixels
        const char* size;
    } cases[] = {
        {"1/too-wide.bmp", encoded({2000, 1000}), 1, {0, 128, 1024, 512}, "2000X1000 51%"},
        {"2/equal-ratios.bmp", encoded({4000, 3000}), 2, {0, 0, 1024, 768}, "4000X3000 51%"},
        {"3/fits.bmp", encoded({1000, 600}), 2, {262, 234, 500, 300}, "1000X600 100%"},
        {"4/\x93\xfa\x96\x7b.jpg",
         test::quarterTurnedJpeg(grey({40, 20})),
         1,
         {502, 364, 20, 40},
         "20X40 100%"}, // Shift-JIS
        {"5/dot.gif", gif("01000100"), 1, {512, 384, 1, 1}, "1X1 100%"},
        {"6/exactly-fits.bmp", encoded({1024, 768}), 1, {0, 0, 1024, 768}, "1024X768 100%"},
        {"7/too-tall.bmp", encoded({500, 1000}), 1, {320, 0, 384, 768}, "500X1000 76%"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tree.write(c.name, c.bytes);
        Settings.Path = tree.rootText() + QLatin1Char('/') + QLatin1Char(c.name[0]);
        delete view.data();
        open(c.ratio);
        const PicturePlacement& p = view->pictureGeometry();
        EXPECT_EQ(QRect(p.left, p.top, p.width, p.height),
                  QRect(c.placed.topLeft() * 15, c.placed.size() * 15));
        EXPECT_EQ(view->pictureView()->geometry(), c.placed);
        EXPECT_TRUE(view->pictureView()->isVisible());
        EXPECT_EQ(view->pictureView()->frame().size(), c.placed.size() * c.ratio);
        const QByteArray line2 = QByteArray(" (Size ") + c.size + ")";
        EXPECT_EQ(platform::toNative(view->caption()), tree.path(c.name) + '\r' + line2);
        EXPECT_TRUE(
            view->fileNameLabel()->text().endsWith(QLatin1Char('\n') + QLatin1String(line2)));
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FormViewTest, StepsAndWrapsThroughTheTree) {
    Settings.SubFolder = 1;
    picture("top.bmp"); // in the chosen folder itself: not shown
    tree.mkdir("a-empty");
    picture("b/1.bmp");
    tree.write("b/2.gif", gif("01000100"));
    tree.write("b/note.txt");
    tree.write("c/1.jpg", encoded({40, 30}, "JPEG"));
    picture("c/2.bmp");
    // Steps: t a tick, R L U D the arrows, E Esc; "" the viewer has closed.
    const struct {
        std::int16_t loop, autoNext;
        const char* steps;
        std::vector<const char*> shown;
    } cases[] = {
        {0, 1, "tttt", {"b/2.gif", "c/1.jpg", "c/2.bmp", ""}},
        {1, 1, "tttt", {"b/2.gif", "c/1.jpg", "c/2.bmp", "b/1.bmp"}},
        {1, 0, "tt", {"b/2.gif", "b/1.bmp"}},
        {1, 1, "Lt", {"b/2.gif", "b/1.bmp"}}, // the show now runs backwards
        {0, 0, "RUD", {"b/2.gif", "c/1.jpg", ""}},
        {1, 0, "DDE", {"c/1.jpg", "b/1.bmp", ""}},
    };
    const Qt::Key keys[] = {Qt::Key_Right, Qt::Key_Left, Qt::Key_Up, Qt::Key_Down, Qt::Key_Escape};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.steps << " loop " << c.loop << " auto " << c.autoNext);
        Settings.Loop = c.loop;
        Settings.Auto = c.autoNext;
        open();
        ASSERT_EQ(shown(), QStringLiteral("b/1.bmp"));
        for (std::size_t i = 0; i < c.shown.size(); ++i) {
            ASSERT_TRUE(view) << "closed before step " << i;
            if (c.steps[i] == 't')
                tick();
            else
                click(keys[QByteArray("RLUDE").indexOf(c.steps[i])]);
            EXPECT_EQ(shown(), QString::fromUtf8(c.shown[i])) << i;
        }
        delete view.data();
    }
}

TEST_F(FormViewTest, ReadsASingleFolderAgainOnEveryWrap) {
    Settings.Auto = 1;
    Settings.Loop = 1;
    picture("1.bmp");
    open();
    picture("0.bmp"); // sorts first: seen only if the folder is listed again
    tick();
    EXPECT_EQ(shown(), QStringLiteral("0.bmp"));
}

TEST_F(FormViewTest, AFolderSearchEndsAfterOnePass) {
    Settings.SubFolder = 1;
    Settings.Loop = 1;
    for (const char* name : {"a/1.bmp", "b/1.bmp", "c/1.bmp"})
        picture(name);
    open();
    ::unlink(tree.path("b/1.bmp"));
    ::unlink(tree.path("c/1.bmp"));
    click(Qt::Key_Down); // round to the one folder that still has a picture
    EXPECT_EQ(shown(), QStringLiteral("a/1.bmp"));
    ::unlink(tree.path("a/1.bmp"));
    click(Qt::Key_Down);
    EXPECT_EQ(shown(), QString());
}

TEST_F(FormViewTest, ATreeWithoutPicturesClosesAtOnceWithoutAWord) {
    Settings.SubFolder = 1;
    tree.write("empty/readme.txt");
    open();
    EXPECT_TRUE(view.isNull());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FormViewTest, PassesOverAnUndecodablePictureAndReportsEachOtherFailureOnce) {
    picture("0.bmp");
    tree.write("1.gif", gif("ffffffff")); // 65535 x 65535: refused before decoding
    tree.write("2.jpg", "not a picture");
    tree.mkdir("3.jpg");
    ASSERT_EQ(::mkfifo(tree.path("4.gif").constData(), 0600), 0);
    tree.write("5.jpg", encoded({8000, 6000}, "JPEG")); // 48 megapixels
    open();
    for (int i = 1; i <= 4; ++i) {
        tick();
        EXPECT_FALSE(view->pictureView()->isVisible()) << i;
    }
    const QString invalid = QString::fromUtf8("Orlix|75 パス名が無効です。");
    const QString tooLarge = QString::fromUtf8("Orlix|7 画像が大きすぎるため表示できません。");
    EXPECT_EQ(boxes, (std::vector<QString>{tooLarge, invalid, invalid}));
    tick();
    EXPECT_EQ(shown(), QStringLiteral("5.jpg"));
    EXPECT_EQ(view->heldPicture()->pixelSize, QSize(8000, 6000));
    click(Qt::Key_Home); // real size: the whole photo, decoded at full resolution
    EXPECT_EQ(view->heldPicture()->image.size(), QSize(8000, 6000));
    EXPECT_TRUE(boxes.size() == 3u);
}

TEST_F(FormViewTest, NothingRunsWhileAFailureBoxIsOpen) {
    tree.mkdir("1.jpg");
    tree.mkdir("2.jpg");
    picture("3.bmp");
    onWarning = [&] {
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
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(view->stepsRun(), 1);
    EXPECT_EQ(Settings.RealSize, 0);
    EXPECT_FALSE(view->isClosed());
}

TEST_F(FormViewTest, NothingRunsWhileTheProgressWindowLetsEventsThrough) {
    Settings.SubFolder = 1;
    Settings.Auto = 1;
    Settings.Loop = 1;
    picture("a/1.bmp");
    picture("b/1.bmp");
    open();
    // Due while the next folder is read, inside the progress window's round of events.
    QTimer::singleShot(0, view.data(), &FormView::TimInterval_Timer);
    view->TimInterval_Timer();
    EXPECT_EQ(shown(), QStringLiteral("b/1.bmp"));
    QTest::qWait(5);
    EXPECT_EQ(view->stepsRun(), 2);
}

TEST_F(FormViewTest, KeysMarkTheGuideAndMoveTheShowBetweenRunningAndPaused) {
    picture("1.bmp");
    picture("2.bmp");
    open();
    EXPECT_EQ(view->intervalTimer()->interval(), 60000);
    EXPECT_FALSE(view->guideLabel(GuideLayout::kAutoLabel)->autoFillBackground()); // Auto off
    // In order: each key finds the show as the one before left it (running at first).
    const struct {
        std::int16_t autoSwitch;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int label; // marked green while the key is down; -1 none
        QColor afterRelease;
        bool runningAfter;
    } cases[] = {
        {0, Qt::Key_Return, Qt::NoModifier, 1, kGuideWhite, false},
        {0, Qt::Key_Enter, Qt::KeypadModifier, 1, kGuideWhite, true},
        {1, Qt::Key_Left, Qt::NoModifier, 4, kGuideWhite, false},
        {0, Qt::Key_Right, Qt::NoModifier, 5, kGuideGreen, true}, // the direction stays marked
        {0, Qt::Key_Down, Qt::ShiftModifier, 7, kGuideWhite, false},
        {0, Qt::Key_Home, Qt::NoModifier, 10, kGuideGreen, false},    // RealSize on
        {0, Qt::Key_Control, Qt::NoModifier, 11, kGuideGreen, false}, // Guide on
        {0, Qt::Key_Return, Qt::NoModifier, 1, kGuideWhite, true},
        {0, Qt::Key_Home, Qt::NoModifier, 10, kGuideWhite, true}, // RealSize off
        {1, Qt::Key_A, Qt::NoModifier, -1, kGuideWhite, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.key << " auto " << c.autoSwitch);
        Settings.Auto = c.autoSwitch;
        const QLabel* label = view->guideLabel(std::max(c.label, 0));
        QTest::keyPress(view.data(), c.key, c.modifiers);
        settle();
        EXPECT_TRUE(c.label < 0 || colour(label) == kGuideGreen);
        QTest::keyRelease(view.data(), c.key, c.modifiers);
        EXPECT_TRUE(c.label < 0 || colour(label) == c.afterRelease);
        EXPECT_EQ(view->intervalTimer()->isActive(), c.runningAfter);
        EXPECT_EQ(colour(view->fileNameLabel()), c.runningAfter ? kGuideWhite : kGuideGreen);
    }
    const QLabel* autoLabel = view->guideLabel(GuideLayout::kAutoLabel); // Auto now on
    EXPECT_TRUE(autoLabel->autoFillBackground());
    EXPECT_EQ(autoLabel->palette().color(QPalette::Window), kGuideGreen);
    EXPECT_TRUE(view->fileNameLabel()->isVisible()); // Ctrl has switched the guide on
    EXPECT_EQ(realSizeChecks, (std::vector<std::int16_t>{1, 0}));
    EXPECT_EQ(guideChecks, std::vector<std::int16_t>{1});
}

TEST_F(FormViewTest, PansAtRealSizeWithinThePicture) {
    tree.write("1.bmp", encoded({2000, 1500}, "BMP", true));
    picture("2.bmp", {300, 200});
    Settings.RealSize = 1;
    open();
    EXPECT_TRUE(view->caption().endsWith(QStringLiteral("(Size 2000X1500 100%)")));
    const qint64 decoded = view->heldPicture()->image.cacheKey();
    pan(Qt::Key_Down, Qt::Key_Right, 12);
    EXPECT_EQ(view->state().offsetX, (2000 - 1024) * 15); // where the edges meet
    EXPECT_EQ(view->state().offsetY, (1500 - 768) * 15);
    EXPECT_EQ(view->pictureView()->frame().pixel(1023, 767), qRgb(255, 0, 0));
    const int frames = view->renderer().framesMade();
    pan(Qt::Key_Down, Qt::Key_Right, 1); // at the limit: the same view, no new frame
    EXPECT_EQ(view->renderer().framesMade(), frames);
    EXPECT_EQ(view->heldPicture()->image.cacheKey(), decoded);
    pan(Qt::Key_Up, Qt::Key_Left, 12);
    EXPECT_EQ(QPoint(view->state().offsetX, view->state().offsetY), QPoint(0, 0));
    click(Qt::Key_Right); // the next picture fits: it cannot be panned
    pan(Qt::Key_Down, Qt::Key_Right, 1);
    EXPECT_EQ(QPoint(view->state().offsetX, view->state().offsetY), QPoint(0, 0));
}

} // namespace
} // namespace orlix
