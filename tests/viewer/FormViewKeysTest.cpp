#include "FormViewFixture.h"
#include "viewer/GuideColours.h"
#include "viewer/PictureBox.h"

#include <QBuffer>
#include <QLabel>
#include <QTimer>

namespace orlix {
namespace {

using test::encodePicture;

class FormViewKeys : public test::FormViewTest {
protected:
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyPress(view.data(), key, modifiers);
    }
    void release(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyRelease(view.data(), key, modifiers);
    }
    void click(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        press(key, modifiers);
        if (view)
            release(key, modifiers);
    }
    QColor text(int label) const {
        return view->guideLabel(label)->palette().color(QPalette::WindowText);
    }
    QColor fileNameColour() const {
        return view->fileNameLabel()->palette().color(QPalette::WindowText);
    }
    bool running() const { return view->intervalTimer()->isActive(); }
};

struct StateCase {
    const char* name;
    bool pausedBefore;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    std::int16_t autoSwitch;
    bool runningAfter;
};

class FormViewStates : public FormViewKeys, public ::testing::WithParamInterface<StateCase> {};

TEST_P(FormViewStates, KeysMoveTheShowBetweenRunningAndPaused) {
    const StateCase& c = GetParam();
    Settings.Auto = c.autoSwitch;
    picture("1.bmp");
    picture("2.bmp");
    open();
    ASSERT_TRUE(running());
    if (c.pausedBefore)
        click(Qt::Key_Return);
    ASSERT_EQ(running(), !c.pausedBefore);
    click(c.key, c.modifiers);
    EXPECT_EQ(running(), c.runningAfter);
    EXPECT_EQ(fileNameColour(), c.runningAfter ? kGuideWhite : kGuideGreen);
    EXPECT_EQ(view->intervalTimer()->interval(), 60000);
}

const StateCase kStates[] = {
    {"EnterPauses", false, Qt::Key_Return, Qt::NoModifier, 0, false},
    {"EnterResumes", true, Qt::Key_Enter, Qt::KeypadModifier, 0, true},
    {"StepResumesWithAutoOff", true, Qt::Key_Right, Qt::NoModifier, 0, true},
    {"StepPausesWithAutoOn", false, Qt::Key_Left, Qt::NoModifier, 1, false},
    {"PanPauses", false, Qt::Key_Down, Qt::ShiftModifier, 0, false},
    {"HomeLeavesRunning", false, Qt::Key_Home, Qt::NoModifier, 0, true},
    {"CtrlLeavesPaused", true, Qt::Key_Control, Qt::NoModifier, 0, false},
    {"OtherKeyLeavesRunning", false, Qt::Key_A, Qt::NoModifier, 1, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, FormViewStates, ::testing::ValuesIn(kStates),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FormViewKeys, ArrowsStepAndSetTheDirectionOfTheShow) {
    Settings.SubFolder = 1;
    Settings.Loop = 0;
    picture("a/1.bmp");
    picture("a/2.bmp");
    picture("b/1.bmp");
    open();
    const struct {
        Qt::Key key;
        const char* shown;
    } steps[] = {{Qt::Key_Right, "a/2.bmp"}, {Qt::Key_Left, "a/1.bmp"}, {Qt::Key_Left, "a/2.bmp"},
                 {Qt::Key_Down, "b/1.bmp"},  {Qt::Key_Up, "a/1.bmp"},   {Qt::Key_Up, "b/1.bmp"}};
    for (const auto& step : steps) {
        click(step.key);
        EXPECT_EQ(shown(), QString::fromUtf8(step.shown));
    }
    click(Qt::Key_Left);
    view->TimInterval_Timer(); // the show now runs backwards through the folder
    EXPECT_EQ(view->state().lastKey, 37);
    EXPECT_EQ(shown(), QStringLiteral("b/1.bmp"));
    click(Qt::Key_Down); // past the last folder with Loop off
    EXPECT_TRUE(view->isClosed());
    EXPECT_FALSE(view->intervalTimer()->isActive());
    EXPECT_TRUE(closesSoon());
}

TEST_F(FormViewKeys, MarksThePressedKeyAndRepaintsOnRelease) {
    picture("1.bmp");
    open();
    const struct {
        std::int16_t autoSwitch;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int label;
        QColor afterRelease;
    } cases[] = {
        {0, Qt::Key_Left, Qt::NoModifier, 4, kGuideGreen}, // the direction stays marked
        {1, Qt::Key_Up, Qt::NoModifier, 2, kGuideWhite},
        {0, Qt::Key_Up, Qt::ShiftModifier, 6, kGuideWhite},
        {0, Qt::Key_Right, Qt::ShiftModifier, 9, kGuideWhite},
        {0, Qt::Key_Return, Qt::NoModifier, 1, kGuideWhite},
        {0, Qt::Key_Home, Qt::NoModifier, 10, kGuideGreen}, // RealSize now on
        {0, Qt::Key_Home, Qt::NoModifier, 10, kGuideWhite}, // and off again
        {0, Qt::Key_Control, Qt::NoModifier, 11, kGuideGreen},
    };
    for (const auto& c : cases) {
        Settings.Auto = c.autoSwitch;
        press(c.key, c.modifiers);
        EXPECT_EQ(text(c.label), kGuideGreen) << c.label;
        release(c.key, c.modifiers);
        EXPECT_EQ(text(c.label), c.afterRelease) << c.label;
    }
    EXPECT_EQ(text(4), kGuideWhite); // Up took the direction over
    const QLabel* autoLabel = view->guideLabel(12);
    EXPECT_FALSE(autoLabel->autoFillBackground()); // Auto off: invisible
    Settings.Auto = 1;
    click(Qt::Key_A);
    EXPECT_TRUE(autoLabel->autoFillBackground());
    EXPECT_EQ(autoLabel->palette().color(QPalette::Window), kGuideGreen);
    EXPECT_EQ(autoLabel->palette().color(QPalette::WindowText), kGuideBlack);
}

TEST_F(FormViewKeys, PansWithinThePictureAtRealSize) {
    // 2000 x 1500 pixels, fitted to the whole screen: the view is 15360 x 11520 twips.
    QImage pattern(2000, 1500, QImage::Format_RGB32);
    for (int y = 0; y < pattern.height(); ++y)
        for (int x = 0; x < pattern.width(); ++x)
            pattern.setPixel(x, y, qRgb(x & 0xff, y & 0xff, (x >> 8) * 16 + (y >> 8)));
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    pattern.save(&buffer, "BMP");
    tree.write("big.bmp", bmp);
    Settings.RealSize = 1;
    open();
    for (int i = 0; i < 12; ++i)
        click(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(view->state().offsetY, 22500 - 11520);
    for (int i = 0; i < 3; ++i)
        click(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(view->state().offsetX, 3 * 1536);
    const QImage& frame = view->pictureView()->frame();
    EXPECT_EQ(frame.pixel(0, 0), pattern.pixel(3 * 1536 / 15, 10980 / 15));
    EXPECT_EQ(frame.pixel(100, 50), pattern.pixel(3 * 1536 / 15 + 100, 10980 / 15 + 50));

    // Home and Ctrl keep the position; without real size it is kept but not shown.
    click(Qt::Key_Home);
    EXPECT_EQ(view->state().offsetX, 3 * 1536);
    click(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(view->state().offsetY, 10980 - 1152);
    for (int i = 0; i < 12; ++i)
        click(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(view->state().offsetX, 0);
    click(Qt::Key_Home);
    EXPECT_EQ(view->pictureView()->frame().pixel(0, 0),
              pattern.pixel(0, qRound((10980 - 1152) / 15.0)));
    click(Qt::Key_Right); // a move starts the next picture at the top-left corner
    EXPECT_EQ(view->state().offsetX, 0);
    EXPECT_EQ(view->state().offsetY, 0);
}

TEST_F(FormViewKeys, APictureThatFitsCannotBePanned) {
    picture("small.bmp", QSize(300, 200));
    Settings.RealSize = 1;
    open();
    click(Qt::Key_Down, Qt::ShiftModifier);
    click(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(view->state().offsetX, 0);
    EXPECT_EQ(view->state().offsetY, 0);
}

TEST_F(FormViewKeys, HomeAndCtrlSwitchAndTellTheSettingsWindow) {
    picture("wide.bmp", QSize(2000, 1000));
    Settings.Guide = 1;
    open();
    const qint64 decoded = view->heldPicture().cacheKey();
    const int framesBefore = view->renderer().framesMade();
    click(Qt::Key_Home);
    EXPECT_EQ(Settings.RealSize, 1);
    EXPECT_TRUE(view->caption().endsWith(QStringLiteral(" 100%)")));
    click(Qt::Key_Home);
    click(Qt::Key_Control);
    EXPECT_EQ(Settings.Guide, 0);
    EXPECT_FALSE(view->fileNameLabel()->isVisible());
    EXPECT_FALSE(view->guideLabel(0)->isVisible());
    EXPECT_EQ(view->state().viewHeight, 11520);
    click(Qt::Key_Control);
    EXPECT_TRUE(view->guideLabel(11)->isVisible());
    EXPECT_EQ(link.realSize, (std::vector<std::int16_t>{1, 0}));
    EXPECT_EQ(link.guide, (std::vector<std::int16_t>{0, 1}));
    // Redraws work from the held picture: nothing decoded again, and a redraw with nothing
    // changed makes no new frame.
    EXPECT_EQ(view->heldPicture().cacheKey(), decoded);
    const int framesMade = view->renderer().framesMade();
    EXPECT_GT(framesMade, framesBefore);
    click(Qt::Key_Down, Qt::ShiftModifier); // a pan without real size changes nothing shown
    EXPECT_EQ(view->renderer().framesMade(), framesMade);
}

TEST_F(FormViewKeys, EscLeavesNothingRunning) {
    picture("1.bmp");
    open();
    QTimer* interval = view->intervalTimer();
    click(Qt::Key_Escape);
    EXPECT_FALSE(interval->isActive());
    EXPECT_TRUE(closesSoon());
}

TEST_F(FormViewKeys, AKeyInsideAnUnfinishedStepIsDropped) {
    tree.mkdir("1.jpg");
    picture("2.bmp");
    messages.onWarning = [&] {
        QTest::keyClick(view.data(), Qt::Key_Right);
        QTest::keyClick(view.data(), Qt::Key_Home);
        QTest::keyClick(view.data(), Qt::Key_Escape);
    };
    open();
    EXPECT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(view->state().fileIndex, 0);
    EXPECT_EQ(Settings.RealSize, 0);
    EXPECT_FALSE(view->isClosed());
}

} // namespace
} // namespace orlix
