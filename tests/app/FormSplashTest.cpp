#include "app/FormSplash.h"
#include "app/AppIcon.h"
#include "app/AppInfo.h"
#include "app/LinkCursor.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <vector>

namespace orlix {
namespace {

const QColor kBlue(0, 0, 255);
const QColor kBlack(0, 0, 0);

SplashTexts sampleTexts() {
    SplashTexts texts{QStringLiteral("Orlix"), 1, 4, 2, {}, {}};
    texts.legalCopyright = QStringLiteral("Copyright (C) 2003 Sample");
    texts.comments = QStringLiteral("https://orlix.example.org/");
    return texts;
}

// A screen on which the window lies inside the offscreen platform's 800 x 600 desktop, so that
// pointer moves to it reach it: the window goes to (451, 345).
const platform::ScreenMetrics kScreen{QRect(100, 40, 1000, 700), 1.0};

QColor linkColour(const FormSplash& splash) {
    return splash.labUrl()->palette().color(QPalette::WindowText);
}

bool waitFor(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, 3000);
}

// A splash whose desktop functions only record what they were asked to do.
struct RecordedSplash {
    explicit RecordedSplash(SplashTexts texts = sampleTexts(),
                            platform::ScreenMetrics screen = kScreen, bool pointerMovable = true)
        : splash(std::move(texts), screen) {
        splash.setPointerMover([this, pointerMovable](const QPoint& point) {
            pointerTargets.push_back(point);
            return pointerMovable;
        });
        splash.setAddressOpener([this](const QString& address) { opened.push_back(address); });
    }

    bool showAndWait() {
        splash.show();
        return QTest::qWaitForWindowExposed(&splash) &&
               waitFor([this] { return !pointerTargets.empty(); });
    }

    // A point of the window, in window coordinates, given in the coordinates of `child`.
    QPoint inWindow(const QWidget* child, QPoint local = QPoint(-1, -1)) const {
        if (local == QPoint(-1, -1))
            local = child->rect().center();
        return child->mapTo(&splash, local);
    }

    void moveTo(const QPoint& windowPoint) { QTest::mouseMove(splash.windowHandle(), windowPoint); }

    std::vector<QPoint> pointerTargets;
    std::vector<QString> opened;
    FormSplash splash;
};

TEST(FormSplash, LabelsShowTheVersionRecordIndentedByTwoSpaces) {
    const QString indent = QStringLiteral("  ");
    const struct {
        SplashTexts texts;
        QString version;
        QString copyright;
        QString url;
    } cases[] = {
        {SplashTexts::fromBuild(), QStringLiteral("  Orlix  Version 1.4.2"),
         indent + QString::fromUtf8(app::kLegalCopyright),
         indent + QString::fromUtf8(app::kComments)},
        {{"Orlix", 10, 0, 123, {}, {}},
         QStringLiteral("  Orlix  Version 10.0.123"),
         indent,
         indent},
        // Shown as they stand: never as markup, Japanese kept.
        {{"Orlix", 1, 4, 2, "<b>A & B</b>", QStringLiteral("写真.jp")},
         QStringLiteral("  Orlix  Version 1.4.2"),
         QStringLiteral("  <b>A & B</b>"),
         QStringLiteral("  写真.jp")},
    };
    for (const auto& c : cases) {
        FormSplash splash(c.texts, kScreen);
        EXPECT_EQ(splash.labAppVersion()->text(), c.version);
        EXPECT_EQ(splash.labCopyright()->text(), c.copyright);
        EXPECT_EQ(splash.labUrl()->text(), c.url);
        EXPECT_EQ(splash.labCopyright()->textFormat(), Qt::PlainText);
    }
}

TEST(FormSplash, IsAFramelessFixedWhiteWindowLaidOutFromTwips) {
    FormSplash splash(sampleTexts(), kScreen);
    EXPECT_TRUE(splash.isWindow());
    EXPECT_TRUE(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(splash.size(), QSize(298, 89));
    EXPECT_EQ(splash.minimumSize(), QSize(298, 89));
    EXPECT_EQ(splash.maximumSize(), QSize(298, 89));

    const struct {
        const QWidget* control;
        QRect pixels;
    } layout[] = {
        {splash.imgIcon(), QRect(24, 24, 32, 32)},
        {splash.labAppVersion(), QRect(80, 16, 209, 17)},
        {splash.labCopyright(), QRect(80, 40, 209, 17)},
        {splash.labUrl(), QRect(80, 56, 209, 25)},
    };
    for (const auto& item : layout)
        EXPECT_EQ(item.control->geometry(), item.pixels)
            << item.control->objectName().toStdString();

    // White where nothing is drawn: check the rendered window, not only the palette.
    const QImage image = splash.grab().toImage();
    for (const QPoint background : {QPoint(2, 2), QPoint(295, 86), QPoint(70, 5), QPoint(10, 80)})
        EXPECT_EQ(image.pixelColor(background), QColor(Qt::white))
            << background.x() << "," << background.y();
}

TEST(FormSplash, IsCentredOnItsScreen) {
    const struct {
        QRect screen;
        QPoint topLeft;
    } cases[] = {
        {QRect(0, 0, 800, 600), QPoint(251, 255)},
        {QRect(100, 40, 1000, 700), QPoint(451, 345)},
        {QRect(1920, 0, 1920, 1080), QPoint(2731, 495)},
        {QRect(-1280, -200, 1280, 1024), QPoint(-789, 267)},
    };
    for (const auto& c : cases) {
        FormSplash splash(sampleTexts(), {c.screen, 1.0});
        EXPECT_EQ(splash.geometry().topLeft(), c.topLeft);
    }
}

TEST(FormSplash, LabelsUseAJapaneseCapableGothicFace) {
    FormSplash splash(sampleTexts(), kScreen);
    const QStringList japaneseFaces{"MS UI Gothic",     "IPAPGothic", "IPAGothic",
                                    "Noto Sans CJK JP", "VL PGothic", "TakaoPGothic"};
    const struct {
        const QLabel* label;
        double points;
    } cases[] = {
        {splash.labAppVersion(), 11.25}, {splash.labCopyright(), 9.0}, {splash.labUrl(), 9.0}};
    for (const auto& c : cases) {
        const QFont font = c.label->font();
        EXPECT_DOUBLE_EQ(font.pointSizeF(), c.points);
        EXPECT_EQ(font.weight(), QFont::Normal);
        const QString family = QFontInfo(font).family();
        EXPECT_TRUE(japaneseFaces.contains(family)) << family.toStdString();
        EXPECT_TRUE(QFontMetrics(font).inFontUcs4(0x5199)) << "no glyph for 写";
    }
}

TEST(FormSplash, NothingInTheWindowTakesKeyboardFocus) {
    RecordedSplash recorded;
    ASSERT_TRUE(recorded.showAndWait());
    EXPECT_EQ(recorded.splash.focusPolicy(), Qt::NoFocus);
    for (const QWidget* child : recorded.splash.findChildren<QWidget*>())
        EXPECT_EQ(child->focusPolicy(), Qt::NoFocus) << child->objectName().toStdString();
    const QWidget* focus = QApplication::focusWidget();
    EXPECT_TRUE(focus == nullptr || focus == &recorded.splash);
}

TEST(FormSplash, ShowsTheApplicationIcon) {
    FormSplash splash(sampleTexts(), kScreen);
    const QPixmap shown = splash.imgIcon()->pixmap();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.deviceIndependentSize().toSize(), QSize(32, 32));
    EXPECT_EQ(shown.toImage(), appIconPixmap().toImage());

    // And it is really drawn: the icon's square on screen is not plain white.
    const QImage image = splash.grab(splash.imgIcon()->geometry()).toImage();
    int coloured = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            coloured += image.pixelColor(x, y) != QColor(Qt::white);
    EXPECT_GT(coloured, 100);
}

TEST(FormSplash, LinkHasTheBlueArrowPointerAndNothingElseDoes) {
    FormSplash splash(sampleTexts(), kScreen);
    const QCursor cursor = splash.labUrl()->cursor();
    EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
    EXPECT_EQ(cursor.pixmap().size(), QSize(32, 32));
    EXPECT_EQ(cursor.hotSpot(), kLinkPointerHotSpot);
    for (const QWidget* other :
         {static_cast<const QWidget*>(&splash), static_cast<const QWidget*>(splash.imgIcon()),
          static_cast<const QWidget*>(splash.labAppVersion()),
          static_cast<const QWidget*>(splash.labCopyright())})
        EXPECT_EQ(other->cursor().shape(), Qt::ArrowCursor) << other->objectName().toStdString();
}

TEST(FormSplash, PointerIsPlacedOnTheLinkWhenTheWindowFirstBecomesActive) {
    RecordedSplash recorded;
    ASSERT_TRUE(recorded.showAndWait());
    // Window at (451, 345): link at (80, 56) 209 x 25 -> 451 + 80 + 125.4, 345 + 56 + 10.
    ASSERT_EQ(recorded.pointerTargets.size(), 1u);
    EXPECT_EQ(recorded.pointerTargets.front(), QPoint(656, 411));

    // Later activations leave the pointer where the user put it.
    recorded.splash.hide();
    recorded.splash.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&recorded.splash));
    recorded.splash.activateWindow();
    QTest::qWait(400);
    EXPECT_EQ(recorded.pointerTargets.size(), 1u);
}

TEST(FormSplash, PlacedPointerTurnsTheLinkBlueOnARealWindow) {
    FormSplash splash(sampleTexts(), kScreen); // the platform's own pointer mover
    splash.setAddressOpener([](const QString&) {});
    QCursor::setPos(5, 5);
    const QColor before = linkColour(splash);
    EXPECT_NE(before, kBlue);
    splash.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&splash));
    ASSERT_TRUE(waitFor([&] { return linkColour(splash) == kBlue; }));
    EXPECT_EQ(QCursor::pos(), QPoint(656, 411));
}

TEST(FormSplash, WherePointerCannotBeMovedTheLinkKeepsItsColourAndNothingIsShown) {
    RecordedSplash recorded(sampleTexts(), kScreen, /*pointerMovable=*/false);
    const QColor before = linkColour(recorded.splash);
    ASSERT_TRUE(recorded.showAndWait());
    QTest::qWait(50);
    EXPECT_EQ(linkColour(recorded.splash), before);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(QApplication::topLevelWidgets().count(), 1);
}

TEST(FormSplash, LinkColourFollowsThePointer) {
    RecordedSplash recorded;
    ASSERT_TRUE(recorded.showAndWait());
    FormSplash& splash = recorded.splash;
    const QPoint link = recorded.inWindow(splash.labUrl());
    const QPoint linkEdge = recorded.inWindow(splash.labUrl(), QPoint(0, 0));
    const QPoint version = recorded.inWindow(splash.labAppVersion());
    const QPoint copyright = recorded.inWindow(splash.labCopyright());
    const QPoint icon = recorded.inWindow(splash.imgIcon());
    const QPoint background(5, 5);
    const QPoint backgroundBelow(150, 86);

    const struct {
        const char* where;
        QPoint point;
        QColor expected;
    } steps[] = {
        {"link", link, kBlue},
        {"background", background, kBlack},
        {"link corner", linkEdge, kBlue},
        {"version", version, kBlack},
        {"link", link, kBlue},
        {"copyright", copyright, kBlack},
        {"link", link, kBlue},
        {"icon keeps blue", icon, kBlue},
        {"background below the link", backgroundBelow, kBlack},
        {"icon keeps black", icon, kBlack},
        {"link again", link + QPoint(3, 1), kBlue},
        {"link once more", link + QPoint(-3, 2), kBlue},
    };
    for (const auto& step : steps) {
        recorded.moveTo(step.point);
        EXPECT_EQ(linkColour(splash), step.expected) << step.where;
    }
}

TEST(FormSplash, ClickingTheLinkOpensTheAddressEachTime) {
    RecordedSplash recorded;
    ASSERT_TRUE(recorded.showAndWait());
    FormSplash& splash = recorded.splash;
    QWindow* window = splash.windowHandle();
    const QPoint link = recorded.inWindow(splash.labUrl());

    QTest::mouseClick(window, Qt::LeftButton, {}, link);
    QTest::mouseClick(window, Qt::LeftButton, {}, link);
    // The address, not the label's indented text.
    EXPECT_EQ(recorded.opened,
              std::vector<QString>(2, QStringLiteral("https://orlix.example.org/")));

    // Not clicks on the link: other buttons, a click elsewhere, a press dragged off the link.
    QTest::mouseClick(window, Qt::RightButton, {}, link);
    QTest::mouseClick(window, Qt::MiddleButton, {}, link);
    QTest::mouseClick(window, Qt::LeftButton, {}, recorded.inWindow(splash.labCopyright()));
    QTest::mousePress(window, Qt::LeftButton, {}, link);
    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(recorded.opened.size(), 2u);

    // A double click is a click and a double click: one more.
    QTest::mouseDClick(window, Qt::LeftButton, {}, link);
    EXPECT_EQ(recorded.opened.size(), 3u);

    // The splash stays, its timer runs on.
    EXPECT_TRUE(splash.isVisible());
    EXPECT_TRUE(splash.timWait().isActive());
}

TEST(FormSplash, ClickingAnEmptyLinkAsksForTheEmptyAddress) {
    RecordedSplash recorded({QStringLiteral("Orlix"), 1, 4, 2, {}, {}});
    ASSERT_TRUE(recorded.showAndWait());
    QTest::mouseClick(recorded.splash.windowHandle(), Qt::LeftButton, {},
                      recorded.inWindow(recorded.splash.labUrl()));
    EXPECT_EQ(recorded.opened, std::vector<QString>{QString()});
}

TEST(FormSplash, TimerRunsFromLoadingForFiveSecondsOnce) {
    FormSplash splash(sampleTexts(), kScreen);
    const QTimer& timer = splash.timWait();
    EXPECT_TRUE(timer.isActive()); // started when the window loads, before it is shown
    EXPECT_EQ(timer.interval(), 5000);
    EXPECT_TRUE(timer.isSingleShot());
    EXPECT_GT(timer.remainingTime(), 4000);
    EXPECT_FALSE(splash.isUnloaded());
}

TEST(FormSplash, TimerClosesTheWindowAndEndsTheModalWait) {
    RecordedSplash recorded;
    FormSplash& splash = recorded.splash;
    QSignalSpy unloaded(&splash, &FormSplash::unloaded);
    bool visibleWhileWaiting = false;
    bool modalWhileWaiting = false;
    QTimer::singleShot(100, &splash, [&] {
        visibleWhileWaiting = splash.isVisible();
        modalWhileWaiting = QApplication::activeModalWidget() == &splash;
        splash.timWait().start(1); // the tick, without waiting five seconds for it
    });
    EXPECT_EQ(splash.showModal(), 0);

    EXPECT_TRUE(visibleWhileWaiting);
    EXPECT_TRUE(modalWhileWaiting);
    EXPECT_TRUE(splash.isUnloaded());
    EXPECT_FALSE(splash.isVisible());
    EXPECT_FALSE(splash.timWait().isActive());
    EXPECT_EQ(unloaded.count(), 1);

    // Never shown again: a second modal call returns at once.
    EXPECT_EQ(splash.showModal(), 0);
    EXPECT_FALSE(splash.isVisible());
    QTest::qWait(50);
    EXPECT_EQ(unloaded.count(), 1);
}

TEST(FormSplash, TimerThatFiredBeforeShowingLeavesNothingToWaitFor) {
    FormSplash splash(sampleTexts(), kScreen);
    splash.setPointerMover([](const QPoint&) { return true; });
    splash.timWait().start(0);
    ASSERT_TRUE(waitFor([&] { return splash.isUnloaded(); }));
    EXPECT_EQ(splash.showModal(), 0);
    EXPECT_FALSE(splash.isVisible());
}

TEST(FormSplash, CloseRequestsDoNotCloseItBeforeItsTimer) {
    RecordedSplash recorded;
    ASSERT_TRUE(recorded.showAndWait());
    FormSplash& splash = recorded.splash;

    QTest::keyClick(&splash, Qt::Key_Escape);
    QTest::keyClick(&splash, Qt::Key_F4, Qt::AltModifier);
    QTest::keyClick(&splash, Qt::Key_Return);
    QTest::keyClick(&splash, Qt::Key_Space);
    EXPECT_FALSE(splash.close());
    QCloseEvent fromWindowManager;
    QApplication::sendEvent(&splash, &fromWindowManager);
    EXPECT_FALSE(fromWindowManager.isAccepted());
    // The window system's own close request (the frame's close button, Alt+F4 in a manager).
    EXPECT_FALSE(splash.windowHandle()->close());
    QApplication::processEvents();

    EXPECT_TRUE(splash.isVisible());
    EXPECT_FALSE(splash.isUnloaded());
    EXPECT_TRUE(splash.timWait().isActive());
}

} // namespace
} // namespace orlix
