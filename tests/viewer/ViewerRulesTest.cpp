#include "decode/LoadError.h"
#include "viewer/FrameRenderer.h"
#include "viewer/HeldEvents.h"
#include "viewer/KeyMapping.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace orlix {
namespace {

TEST(KeyMapping, KeypadKeysActLikeTheMainOnes) {
    // Enter and the arrows and Home with Num Lock off, the digits beside them with it on.
    const std::pair<int, std::int16_t> keypad[] = {
        {Qt::Key_Enter, 13}, {Qt::Key_Left, 37}, {Qt::Key_Home, 36}, {Qt::Key_8, 38},
        {Qt::Key_2, 40},     {Qt::Key_4, 37},    {Qt::Key_6, 39},    {Qt::Key_7, 36}};
    for (const auto& [key, code] : keypad)
        EXPECT_EQ(mapKey(key, Qt::KeypadModifier).code, code) << std::hex << key;
    EXPECT_EQ(mapKey(Qt::Key_8, Qt::NoModifier).code, 0); // the digit row is not the keypad
    const ViewerKey shifted = mapKey(Qt::Key_6, Qt::KeypadModifier | Qt::ShiftModifier);
    EXPECT_EQ(shifted.code, 39);
    EXPECT_EQ(shifted.shift, 1);
}

TEST(LoadErrorTable, NumbersTextsAndFileErrors) {
    using platform::FileError;
    const struct {
        LoadError error;
        FileError fileError; // the file error that stands for it; None for none
        const char* message;
    } cases[] = {
        {LoadError::TooLarge, FileError::TooLarge, "7 画像が大きすぎるため表示できません。"},
        {LoadError::FileNotFound, FileError::NotFound, "53 ファイルが見つかりません。"},
        {LoadError::DeviceIO, FileError::ReadFailed, "57 デバイス I/O エラーです。"},
        {LoadError::PermissionDenied, FileError::AccessDenied, "70 アクセスが拒否されました。"},
        {LoadError::PathInvalid, FileError::NotAFile, "75 パス名が無効です。"},
        {LoadError::InvalidPicture, FileError::None, "481 ピクチャが不正です。"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(failureMessage(c.error), QString::fromUtf8(c.message));
        EXPECT_EQ(isReported(c.error), c.error != LoadError::InvalidPicture) << c.message;
        EXPECT_TRUE(c.fileError == FileError::None || loadErrorFrom(c.fileError) == c.error)
            << c.message;
    }
}

TEST(FrameRenderer, PaintsBlackBeyondThePictureAtRealSize) {
    QImage picture(100, 50, QImage::Format_RGB32);
    picture.fill(Qt::red);
    FrameRenderer renderer;
    const QImage& frame = renderer.realSize(picture, QPoint(80, 40), QSize(40, 20));
    ASSERT_EQ(frame.size(), QSize(40, 20));
    EXPECT_EQ(frame.pixelColor(19, 9), QColor(Qt::red));
    EXPECT_EQ(frame.pixelColor(20, 5), QColor(Qt::black));
    EXPECT_EQ(frame.pixelColor(5, 10), QColor(Qt::black));
}

TEST(FrameRenderer, AveragesWhenShrinking) {
    // One-pixel black and white columns: dropping lines would leave pure black or white.
    QImage stripes(400, 10, QImage::Format_RGB32);
    for (int x = 0; x < stripes.width(); ++x)
        for (int y = 0; y < stripes.height(); ++y)
            stripes.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    FrameRenderer renderer;
    const QImage& frame = renderer.fitted(stripes, QSize(100, 5));
    ASSERT_EQ(frame.size(), QSize(100, 5));
    for (int x = 1; x < 99; ++x)
        EXPECT_NEAR(qGray(frame.pixel(x, 2)), 128, 24) << "column " << x;
}

TEST(HeldEvents, KeysKeepTheirOrderAndTicksCollapseToTheFirst) {
    using Kind = HeldEvent::Kind;
    const HeldEvent tick{Kind::Tick};
    const HeldEvent right{Kind::KeyDown, 39, 0};
    const HeldEvent rightUp{Kind::KeyUp, 39, 0};
    const HeldEvent shiftLeft{Kind::KeyDown, 37, 1};
    const struct {
        const char* what;
        std::vector<HeldEvent> held;
        std::vector<HeldEvent> run;
    } cases[] = {
        {"nothing", {}, {}},
        {"ticks alone", {tick, tick, tick}, {tick}},
        {"a tick among keys stays where the first came",
         {right, tick, rightUp, tick, shiftLeft},
         {right, tick, rightUp, shiftLeft}},
        {"repeated keys all run", {right, right, rightUp}, {right, right, rightUp}},
    };
    for (const auto& c : cases) {
        HeldEvents events;
        for (const HeldEvent& event : c.held)
            events.hold(event);
        std::vector<HeldEvent> run;
        while (const std::optional<HeldEvent> next = events.takeNext())
            run.push_back(*next);
        EXPECT_EQ(run, c.run) << c.what;
        EXPECT_TRUE(events.empty()) << c.what;
    }
}

} // namespace
} // namespace orlix
