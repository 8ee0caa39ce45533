#include "catalogue/FormWait.h"

#include "catalogue/ProgressDisplay.h"

#include <QImage>
#include <QLabel>
#include <gtest/gtest.h>

namespace orlix {
namespace {

// The window, with the fill's widths as the sort's progress routines give them.
struct FormWaitSeen : FormWait {
    void setProgressWidth(int twips) override {
        FormWait::setProgressWidth(twips);
        progressWidth = twips;
    }
    int progressWidth = 0;
};

TEST(FormWait, BusyPointerAndAProgressBarThatFillsWithThePasses) {
    FormWaitSeen window;
    const QLabel* percentage = window.findChild<QLabel*>("Lab_Prog");
    EXPECT_EQ(window.cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(percentage->text(), "0%");

    const QWidget* fill = window.findChild<QWidget*>("Shp_Prog");
    EXPECT_EQ(fill->geometry(), QRect(8, 108, 0, 17));
    window.show();
    window.counters().ProgressTotal = 1000;
    ShowProgress(window, 101);
    EXPECT_EQ(percentage->text(), "10%");
    EXPECT_EQ(window.progressWidth, 522);
    EXPECT_EQ(fill->width(), 35);
    // The bar starts at (16,116) in the window: fill, then track.
    const QImage image = window.grab().toImage();
    EXPECT_EQ(QColor(image.pixel(20, 131)), QColor(0x00, 0xFF, 0x00));
    EXPECT_EQ(QColor(image.pixel(60, 131)), QColor(0xC0, 0xC0, 0xC0));
    ShowProgress(window, 5000);
    EXPECT_EQ(percentage->text(), "100%");
    EXPECT_EQ(fill->width(), 345);
}

} // namespace
} // namespace orlix
