#include "viewer/FormView.h"

#include "FormViewFixture.h"
#include "app/Settings.h"
#include "platform/NativePath.h"
#include "support/TempTree.h"
#include "viewer/PictureBox.h"

#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace orlix {
namespace {

using test::encodePicture;
using test::FormViewTest;

TEST_F(FormViewTest, LaysTheGuideOutInTwoRowsAlongTheBottom) {
    Settings.Guide = 1;
    picture("a.bmp");
    open();
    const int h = view->guideLabel(0)->height();
    for (int i = 0; i < GuideLayout::kLabelCount; ++i) {
        const QLabel* label = view->guideLabel(i);
        EXPECT_EQ(label->text(), GuideLayout::caption(i));
        EXPECT_TRUE(label->isVisible());
        EXPECT_EQ(label->y(), i < 6 ? 768 - 2 * h : 768 - h) << i;
        const int expectedX =
            (i == 0 || i == 6) ? 0 : view->guideLabel(i - 1)->geometry().right() + 1;
        EXPECT_EQ(label->x(), expectedX) << i;
    }
    const QLabel* name = view->fileNameLabel();
    EXPECT_EQ(name->x(), view->guideLabel(12)->geometry().right() + 1);
    EXPECT_EQ(name->geometry().right(), 1023);
    EXPECT_EQ(name->geometry().bottom(), 767);
    EXPECT_EQ(view->state().viewHeight, 11520 - 2 * h * 15 - 100);
    EXPECT_EQ(view->geometry(), QRect(0, 0, 1024, 768));
}

TEST_F(FormViewTest, HiddenGuideIsLaidOutAllTheSame) {
    picture("a.bmp");
    Settings.Guide = 1;
    open();
    std::vector<QRect> withGuide;
    for (int i = 0; i < GuideLayout::kLabelCount; ++i)
        withGuide.push_back(view->guideLabel(i)->geometry());
    delete view.data();

    Settings.Guide = 0;
    open();
    for (int i = 0; i < GuideLayout::kLabelCount; ++i) {
        EXPECT_FALSE(view->guideLabel(i)->isVisible());
        EXPECT_EQ(view->guideLabel(i)->geometry(), withGuide[i]) << i;
    }
    EXPECT_FALSE(view->fileNameLabel()->isVisible());
    EXPECT_EQ(view->state().viewHeight, 11520);
}

TEST_F(FormViewTest, ShowsTheWorkedExample) {
    picture("wide.bmp", QSize(2000, 1000));
    Settings.Guide = 1;
    open();
    Settings.Guide = 0;
    view->TimInterval_Timer(); // Right wraps to the same single file, guide now off
    const PicturePlacement& placed = view->pictureGeometry();
    EXPECT_EQ(placed.left, 0);
    EXPECT_EQ(placed.top, 1920);
    EXPECT_EQ(placed.width, 15360);
    EXPECT_EQ(placed.height, 7680);
    EXPECT_EQ(view->pictureView()->geometry(), QRect(0, 128, 1024, 512));
    EXPECT_TRUE(view->pictureView()->isVisible());
    const QString path = tree.rootText() + QStringLiteral("/wide.bmp");
    EXPECT_EQ(view->caption(), path + QStringLiteral("\r (Size 2000X1000 51%)"));
    EXPECT_EQ(view->fileNameLabel()->text(), path + QStringLiteral("\n (Size 2000X1000 51%)"));
    EXPECT_EQ(view->intervalTimer()->interval(), 60000);
    EXPECT_TRUE(messages.boxes.empty());
}

struct StepCase {
    const char* name;
    std::int16_t loop, autoNext;
    std::vector<const char*> shown; // after the first picture; "" = closed
};

class FormViewStepping : public FormViewTest, public ::testing::WithParamInterface<StepCase> {};

TEST_P(FormViewStepping, RunsThroughTheTree) {
    const StepCase& c = GetParam();
    Settings.SubFolder = 1;
    Settings.Loop = c.loop;
    Settings.Auto = c.autoNext;
    picture("top.bmp");    // not shown: it lies in the folder itself
    tree.mkdir("a-empty"); // passed over
    picture("b/1.bmp");
    picture("b/2.gif");
    tree.write("b/note.txt"); // not a picture extension
    picture("c/1.jpg");
    picture("c/deeper/x.bmp"); // two levels down: never shown
    open();
    ASSERT_TRUE(view);
    EXPECT_EQ(shown(), QStringLiteral("b/1.bmp"));
    for (const char* expected : c.shown) {
        view->TimInterval_Timer();
        if (*expected == '\0') {
            EXPECT_TRUE(closesSoon());
            return;
        }
        EXPECT_EQ(shown(), QString::fromUtf8(expected));
        EXPECT_FALSE(view->heldPicture().isNull());
    }
    EXPECT_TRUE(messages.boxes.empty());
}

const StepCase kSteps[] = {
    {"AutoOnLoopOffEnds", 0, 1, {"b/2.gif", "c/1.jpg", ""}},
    {"AutoOnLoopOnStartsAgain", 1, 1, {"b/2.gif", "c/1.jpg", "b/1.bmp"}},
    {"AutoOffStaysInTheFolder", 1, 0, {"b/2.gif", "b/1.bmp", "b/2.gif"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, FormViewStepping, ::testing::ValuesIn(kSteps),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FormViewTest, SingleFolderIsReadAgainOnEveryWrap) {
    Settings.Auto = 1;
    Settings.Loop = 1;
    picture("1.bmp");
    open();
    picture("0.bmp"); // sorts first: seen only if the folder is listed again
    view->TimInterval_Timer();
    EXPECT_EQ(shown(), QStringLiteral("0.bmp"));
}

TEST_F(FormViewTest, ATreeWithoutPicturesClosesAtOnceWithoutAWord) {
    Settings.SubFolder = 1;
    tree.mkdir("empty");
    tree.write("empty/readme.txt");
    view = new FormView({QRect(0, 0, 1024, 768), 1.0}, messages, nullptr);
    view->Form_Load();
    EXPECT_TRUE(view->unloadTimer()->isActive());
    EXPECT_FALSE(view->intervalTimer()->isActive());
    view->show();
    EXPECT_TRUE(closesSoon());
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(FormViewTest, PassesOverAnUndecodablePictureInSilence) {
    Settings.Guide = 1;
    tree.write("1.jpg", "not a picture");
    picture("2.bmp");
    open();
    EXPECT_TRUE(messages.boxes.empty());
    EXPECT_FALSE(view->pictureView()->isVisible());
    EXPECT_EQ(view->caption(), tree.rootText() + QStringLiteral("/1.jpg"));
    view->TimInterval_Timer();
    EXPECT_EQ(shown(), QStringLiteral("2.bmp"));
    EXPECT_TRUE(view->pictureView()->isVisible());
}

TEST_F(FormViewTest, ReportsAFileThatCannotBeReadOnceAndMovesOn) {
    tree.mkdir("1.jpg");
    ASSERT_EQ(::mkfifo(tree.path("2.gif").constData(), 0600), 0);
    picture("3.bmp");
    open();
    view->TimInterval_Timer(); // the FIFO: refused, not waited on
    ASSERT_EQ(messages.boxes.size(), 2u);
    for (const auto& box : messages.boxes) {
        EXPECT_EQ(box.title, QStringLiteral("Orlix"));
        EXPECT_EQ(box.text, QString::fromUtf8("75 パス名が無効です。"));
    }
    EXPECT_FALSE(view->pictureView()->isVisible());
    EXPECT_TRUE(view->heldPicture().isNull());
    view->TimInterval_Timer();
    EXPECT_EQ(shown(), QStringLiteral("3.bmp"));
}

TEST_F(FormViewTest, NothingStartsAgainWhileAFailureBoxIsOpen) {
    tree.mkdir("1.jpg");
    tree.mkdir("2.jpg");
    picture("3.bmp");
    int fileIndexInBox = -1;
    messages.onWarning = [&] {
        if (messages.boxes.size() > 1)
            return; // a box opened from inside the first: the guard has failed
        fileIndexInBox = view->state().fileIndex;
        view->TimInterval_Timer();
        QTimer::singleShot(0, view.data(), &FormView::TimInterval_Timer);
        QTest::qWait(5);
        EXPECT_EQ(view->state().fileIndex, fileIndexInBox);
    };
    open();
    EXPECT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(view->stepsRun(), 1);
    EXPECT_EQ(fileIndexInBox, 0);
}

TEST_F(FormViewTest, NothingStartsAgainWhileTheProgressWindowLetsEventsThrough) {
    Settings.SubFolder = 1;
    Settings.Auto = 1;
    Settings.Loop = 1;
    picture("a/1.bmp");
    picture("b/1.bmp");
    open();
    // Due while the next folder is read, inside the one round of pending events.
    QTimer::singleShot(0, view.data(), &FormView::TimInterval_Timer);
    view->TimInterval_Timer();
    EXPECT_EQ(shown(), QStringLiteral("b/1.bmp"));
    EXPECT_EQ(view->stepsRun(), 2);
    QTest::qWait(5);
    EXPECT_EQ(view->stepsRun(), 2);
}

TEST_F(FormViewTest, ShowsAPictureWhoseNameIsNotUtf8) {
    Settings.Guide = 1;
    picture("\x93\xfa\x96\x7b.bmp");
    open();
    EXPECT_FALSE(view->heldPicture().isNull());
    EXPECT_TRUE(view->pictureView()->isVisible());
    EXPECT_TRUE(view->fileNameLabel()->text().contains(QChar(0xFFFD)));
    EXPECT_EQ(platform::toNative(view->caption().section(QChar(u'\r'), 0, 0)),
              tree.path("\x93\xfa\x96\x7b.bmp"));
}

TEST_F(FormViewTest, DrawsAtDeviceResolutionOnADenseScreen) {
    picture("big.bmp", QSize(4000, 3000));
    picture("small.bmp", QSize(1000, 600));
    open({QRect(0, 0, 1024, 768), 2.0});
    // 4000 x 3000 device pixels are 2000 x 1500 logical ones: fitted to the whole screen.
    EXPECT_EQ(view->pictureView()->geometry(), QRect(0, 0, 1024, 768));
    EXPECT_EQ(view->pictureView()->frame().size(), QSize(2048, 1536));
    EXPECT_TRUE(view->caption().endsWith(QStringLiteral("(Size 4000X3000 51%)")));
    view->TimInterval_Timer();
    // Fits: one picture pixel per device pixel, not resampled.
    EXPECT_EQ(view->pictureView()->geometry(), QRect(262, 234, 500, 300));
    EXPECT_EQ(view->pictureView()->frame().size(), QSize(1000, 600));
    EXPECT_TRUE(view->caption().endsWith(QStringLiteral("(Size 1000X600 100%)")));
}

} // namespace
} // namespace orlix
