#include "app/FormSplash.h"

#include "app/SplashPointer.h"

#include <QBitmap>
#include <QLabel>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

namespace orlix {
namespace {

const QString kAddress = QStringLiteral("https://orlix.example.org/");

SplashTexts sampleTexts() {
    return {QStringLiteral("Orlix"), 1, 4, 2, QStringLiteral("(C) 2003 Sample"), kAddress};
}

// Inside the offscreen platform's 800 x 600 desktop, so that pointer moves reach the window,
// which goes to (451, 346): a half pixel left over is rounded up.
const platform::ScreenMetrics kScreen{QRect(100, 40, 1000, 700), 1.0};

QLabel* label(const FormSplash& splash, const char* name) {
    return splash.findChild<QLabel*>(QString::fromLatin1(name));
}

QStringList labelTexts(const FormSplash& splash) {
    return {label(splash, "LabAppVersion")->text(), label(splash, "LabCopyright")->text(),
            label(splash, "LabUrl")->text()};
}

TEST(FormSplash, LabelsShowTheTextsAfterTwoSpaces) {
    const QString indent = QStringLiteral("  ");
    EXPECT_EQ(labelTexts(FormSplash(sampleTexts(), kScreen)),
              QStringList({QStringLiteral("  Orlix  Version 1.4.2"),
                           QStringLiteral("  (C) 2003 Sample"), indent + kAddress}));
    EXPECT_EQ(labelTexts(FormSplash({QStringLiteral("Orlix"), 10, 0, 123, {}, {}}, kScreen)),
              QStringList({QStringLiteral("  Orlix  Version 10.0.123"), indent, indent}));
    // The build's own texts: the project's version, as the package is numbered.
    EXPECT_EQ(label(FormSplash(), "LabAppVersion")->text(),
              QStringLiteral("  Orlix  Version 1.4.2"));
}

// Where on the screen it goes is the placement's business (WindowPlacementTest), and that it
// really lands there the X server's (X11WindowTest).
TEST(FormSplash, IsAFramelessWhiteWindowCentredOnItsScreen) {
    FormSplash splash(sampleTexts(), {QRect(0, 0, 800, 600), 1.0});
    EXPECT_EQ(splash.geometry(), QRect(251, 256, 298, 89));
    EXPECT_TRUE(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(splash.grab().toImage().pixelColor(295, 86), QColor(Qt::white));
}

TEST(FormSplash, LinkHasAnArrowPointerWithItsHotSpotAtTheTip) {
    FormSplash splash(sampleTexts(), kScreen);
    const QCursor cursor = label(splash, "LabUrl")->cursor();
    ASSERT_EQ(cursor.shape(), Qt::BitmapCursor);
    ASSERT_EQ(cursor.pixmap().size(), QSize(32, 32));
    // The arrow points up and to the left (its shadow lies below and to the right).
    EXPECT_EQ(cursor.hotSpot(), QRegion(cursor.pixmap().mask()).boundingRect().topLeft());
    const QColor tip = cursor.pixmap().toImage().pixelColor(cursor.hotSpot());
    EXPECT_TRUE(tip.alpha() == 255 && tip.blue() >= 128 && tip.red() == 0 && tip.green() == 0)
        << tip.name().toStdString();
}

// Shown, with desktop functions that only record what they were asked to do.
TEST(FormSplash, ShownItPutsThePointerOnTheLinkWhichTurnsBlueUnderItAndOpensOnLeftClicks) {
    std::vector<QPoint> pointerTargets;
    std::vector<QString> opened;
    const SplashDesktop desktop{[&pointerTargets](const QPoint& point) {
                                    pointerTargets.push_back(point);
                                    return true;
                                },
                                [&opened](const QString& address) { opened.push_back(address); }};
    FormSplash splash{sampleTexts(), kScreen, desktop};
    splash.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&splash));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !pointerTargets.empty(); }, 3000));
    // On the first activation only. Link at (80, 56) 209 x 25 in the window: 451 + 80 + 125.4,
    // 346 + 56 + 10.
    EXPECT_EQ(pointerTargets, std::vector<QPoint>{QPoint(656, 412)});

    const auto centreOf = [&splash](const QWidget* child) {
        return child->mapTo(&splash, child->rect().center());
    };
    const QColor blue(0, 0, 255), black(0, 0, 0);
    QLabel* url = label(splash, "LabUrl");
    const QPoint link = centreOf(url), icon = centreOf(label(splash, "ImgIcon"));
    // Each step moves the pointer: a move to where it already is would not be delivered.
    const std::tuple<const char*, QPoint, QColor> steps[] = {
        {"background", QPoint(5, 5), black},
        {"link", link, blue},
        {"icon keeps blue", icon, blue},
        {"background", QPoint(5, 5), black},
        {"icon keeps black", icon, black},
        {"link", link, blue},
        {"version", centreOf(label(splash, "LabAppVersion")), black},
        {"link", link, blue},
        {"copyright", centreOf(label(splash, "LabCopyright")), black}};
    for (const auto& [where, point, expected] : steps) {
        QTest::mouseMove(splash.windowHandle(), point);
        EXPECT_EQ(url->palette().color(QPalette::WindowText), expected) << where;
    }

    QWindow* window = splash.windowHandle();
    QTest::mouseClick(window, Qt::RightButton, {}, link);
    QTest::mouseClick(window, Qt::LeftButton, {}, centreOf(label(splash, "LabCopyright")));
    QTest::mouseClick(window, Qt::LeftButton, {}, link);
    QTest::mouseClick(window, Qt::LeftButton, {}, link);
    // The address, not the label's indented text.
    EXPECT_EQ(opened, std::vector<QString>(2, kAddress));
}

TEST(FormSplash, OnlyItsFiveSecondTimerClosesItAndEndsTheModalWait) {
    FormSplash splash(sampleTexts(), kScreen);
    QTimer* timWait = splash.findChild<QTimer*>("TimWait");
    ASSERT_NE(timWait, nullptr);
    EXPECT_TRUE(timWait->isActive());
    EXPECT_EQ(timWait->interval(), 5000);
    bool stayedOpen = false;
    QTimer::singleShot(100, &splash, [&] {
        QTest::keyClick(&splash, Qt::Key_Escape);
        stayedOpen = !splash.close() && splash.isVisible();
        timWait->start(1); // the tick, without waiting five seconds for it
    });
    EXPECT_EQ(splash.showModal(), 0);
    EXPECT_TRUE(stayedOpen);
    EXPECT_FALSE(splash.isVisible());
}

TEST(SplashPointer, SixtyPercentAcrossFortyPercentDownTheLinkRoundedHalfToEven) {
    // The splash's link in twips: 60 % across is 1881, 40 % down is 150.
    const QRectF link(1200, 840, 3135, 375);
    // Window corner in twips, twips per pixel across and down, expected pixel. The sums fall on
    // halves: 3082.5 / 15 = 205.5, 3067.5 / 15 = 204.5, -22552.5 / 15 = -1503.5, 997.5 / 15 =
    // 66.5, 1012.5 / 15 = 67.5; with unequal factors 4581 / 15 = 305.4, 2490 / 12 = 207.5.
    const std::tuple<QPointF, double, double, QPoint> cases[] = {
        {{0, 0}, 15, 15, {205, 66}},       {{1.5, 0}, 15, 15, {206, 66}},
        {{-13.5, 0}, 15, 15, {204, 66}},   {{-25633.5, 0}, 15, 15, {-1504, 66}},
        {{0, 7.5}, 15, 15, {205, 66}},     {{0, 22.5}, 15, 15, {205, 68}},
        {{1500, 1500}, 15, 12, {305, 208}}};
    for (const auto& [window, perPixelX, perPixelY, expected] : cases)
        EXPECT_EQ(splashPointerPixel(window, link, perPixelX, perPixelY), expected)
            << window.x() << ", " << window.y();
}

} // namespace
} // namespace orlix
