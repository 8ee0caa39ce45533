#include "catalogue/FormWait.h"

#include "catalogue/ProgressDisplay.h"
#include "catalogue/ScanFolder.h"
#include "platform/ScreenMetrics.h"
#include "support/TempTree.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <gtest/gtest.h>

#include <algorithm>

namespace orlix {
namespace {

QWidget* part(const FormWait& window, const char* name) {
    return window.findChild<QWidget*>(QLatin1String(name));
}

struct PartCase {
    const char* name;
    const char* parent;
    QRect pixels; // twips / 15
};

class FormWaitLayout : public ::testing::TestWithParam<PartCase> {};

TEST_P(FormWaitLayout, PlacesEachPartFromItsTwips) {
    const FormWait window;
    const PartCase& c = GetParam();
    const QWidget* widget = part(window, c.name);
    ASSERT_NE(widget, nullptr) << c.name;
    EXPECT_EQ(widget->parentWidget()->objectName(), QLatin1String(c.parent));
    EXPECT_EQ(widget->geometry(), c.pixels) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Parts, FormWaitLayout,
                         ::testing::Values(PartCase{"Frame1", "FormWait", {8, 8, 361, 145}},
                                           PartCase{"Label1", "Frame1", {8, 64, 345, 29}},
                                           PartCase{"Shp_Frame", "Frame1", {8, 108, 345, 17}},
                                           PartCase{"Shp_Prog", "Frame1", {8, 108, 0, 17}},
                                           PartCase{"Lab_Prog", "Frame1", {8, 108, 345, 13}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FormWait, LoadsAsAFramelessToolWindowCentredWithWaitPointer) {
    const FormWait window;
    EXPECT_EQ(window.size(), QSize(378, 161));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(window.windowType(), Qt::Tool); // no taskbar button
    const QPoint centre = platform::primaryScreen().geometry.center();
    EXPECT_LE((window.geometry().center() - centre).manhattanLength(), 2);
    EXPECT_EQ(window.cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(window.progressText(), "0%");
    EXPECT_EQ(window.progressWidth(), 0);
    EXPECT_EQ(window.frameWidth(), 5175);
}

// The fills are checked on the painted window below.
TEST(FormWait, TextsAndTheirLook) {
    const FormWait window;
    const auto* caption = window.findChild<QLabel*>("Label1");
    const auto* percent = window.findChild<QLabel*>("Lab_Prog");
    ASSERT_TRUE(caption && percent);
    EXPECT_EQ(caption->text(), "Please Wait ... Sorting Now");
    EXPECT_EQ(caption->alignment(), Qt::AlignCenter);
    EXPECT_EQ(percent->alignment(), Qt::AlignCenter);
    EXPECT_EQ(caption->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(percent->palette().color(QPalette::WindowText), QColor(Qt::black));
    EXPECT_EQ(caption->font().pointSize(), 12);
    EXPECT_EQ(caption->font().weight(), QFont::Normal);
}

TEST(FormWait, CaptionUsesAJapaneseFontWhereOneIsInstalled) {
    const FormWait window;
    // Family names come localised ("IPA Pゴシック" under a Japanese locale).
    const QStringList families = QFontDatabase::families();
    if (std::none_of(families.begin(), families.end(),
                     [](const QString& family) { return family.startsWith("IPA"); }))
        GTEST_SKIP() << "no IPA Gothic font is installed";
    const QString used = QFontInfo(window.findChild<QLabel*>("Label1")->font()).family();
    EXPECT_TRUE(used.startsWith("IPA")) << used.toStdString();
}

struct ShownCase {
    std::int32_t total;
    std::int32_t value;
    const char* text;
    int twips;
    int pixels;
};

class FormWaitShows : public ::testing::TestWithParam<ShownCase> {};

TEST_P(FormWaitShows, PercentageAndFill) {
    const ShownCase& c = GetParam();
    FormWait window;
    window.show();
    window.counters().ProgressTotal = c.total;
    ShowProgress(window, c.value);
    EXPECT_EQ(window.progressText(), c.text);
    EXPECT_EQ(window.progressWidth(), c.twips);
    EXPECT_EQ(part(window, "Shp_Prog")->width(), c.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FormWaitShows,
    ::testing::Values(ShownCase{1000, 101, "10%", 522, 35}, ShownCase{1000, 901, "90%", 4662, 311},
                      ShownCase{10, 5, "50%", 2587, 172}, ShownCase{3, 1, "33%", 1725, 115},
                      ShownCase{1000, 5000, "100%", 5175, 345}),
    [](const auto& info) {
        return std::to_string(info.param.value) + "of" + std::to_string(info.param.total);
    });

bool isDark(QRgb pixel) {
    return qRed(pixel) < 80 && qGreen(pixel) < 80 && qBlue(pixel) < 80;
}

int darkPixelsIn(const QImage& image, const QRect& area) {
    int dark = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            dark += isDark(image.pixel(x, y));
    return dark;
}

TEST(FormWait, PaintsBarAndLegiblePercentage) {
    FormWait window;
    window.show();
    window.counters().ProgressTotal = 1000;
    ShowProgress(window, 101);
    QImage image = window.grab().toImage();
    // Panel at (8,8); the bar at (16,116), 345 x 17; the percentage over its top 13 rows.
    EXPECT_EQ(QColor(image.pixel(12, 12)), QColor(Qt::black));
    EXPECT_EQ(QColor(image.pixel(20, 131)), QColor(0x00, 0xFF, 0x00));
    EXPECT_EQ(QColor(image.pixel(60, 131)), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(QColor(image.pixel(355, 131)), QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(QColor(image.pixel(2, 2)), window.palette().color(QPalette::Window));

    int whiteInCaption = 0;
    for (int y = 72; y < 101; ++y)
        for (int x = 16; x < 361; ++x)
            whiteInCaption += image.pixel(x, y) == qRgb(255, 255, 255);
    EXPECT_GT(whiteInCaption, 50) << "the caption was not drawn";

    const QRect percentArea(150, 116, 80, 13);
    EXPECT_GT(darkPixelsIn(image, percentArea), 10) << "percentage unreadable over the track";
    ShowProgress(window, 1000);
    image = window.grab().toImage();
    EXPECT_EQ(QColor(image.pixel(355, 131)), QColor(0x00, 0xFF, 0x00));
    EXPECT_GT(darkPixelsIn(image, percentArea), 10) << "percentage unreadable over the fill";
}

TEST(FormWait, FollowsASortedScanToTheEnd) {
    test::TempTree tree;
    for (const char* name : {"c.jpg", "A.jpg", "b.jpg"})
        tree.write(name);
    FormWait window;
    window.show();
    QApplication::processEvents();
    EntryList entries;
    ASSERT_TRUE(ScanFolder(FileEntry{tree.rootText(), kDirectoryBit}, entries, 1, kAnyEntryMask,
                           "jpg", &window));
    EXPECT_EQ(window.progressText(), "100%");
    EXPECT_EQ(window.progressWidth(), 5175);
    EXPECT_EQ(part(window, "Shp_Prog")->width(), 345);
    EXPECT_EQ(entries.front().Path, tree.rootText() + "/A.jpg");
}

} // namespace
} // namespace orlix
