#include "platform/NativePath.h"

#include <gtest/gtest.h>

namespace orlix::platform {
namespace {

struct NameCase {
    const char* label;
    QByteArray bytes;
    bool validUtf8;
};

class NativePathRoundTrip : public ::testing::TestWithParam<NameCase> {};

TEST_P(NativePathRoundTrip, KeepsEveryByte) {
    const NameCase& c = GetParam();
    const QString text = fromNative(c.bytes);
    EXPECT_EQ(toNative(text), c.bytes);
    if (c.validUtf8) {
        EXPECT_EQ(text, QString::fromUtf8(c.bytes));
        EXPECT_EQ(forDisplay(text), text);
    } else {
        EXPECT_TRUE(forDisplay(text).contains(QChar(0xFFFD)));
        EXPECT_FALSE(forDisplay(text).contains(QChar(0xDC80 + 0x83)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, NativePathRoundTrip,
    ::testing::Values(NameCase{"ascii", "/pics/a.jpg", true},
                      NameCase{"japanese", "/写真/夏.jpg", true},
                      NameCase{"emoji", "/x/\xF0\x9F\x98\x80.gif", true},
                      // "写真" in Shift-JIS: not valid UTF-8
                      NameCase{"shiftJis", "/old/\x8E\xCA\x90\x5E.bmp", false},
                      NameCase{"overlong", "/a\xC0\xAF" "b", false},
                      NameCase{"encodedSurrogate", "/\xED\xA0\x80", false},
                      NameCase{"truncated", "/\xE3\x81", false},
                      NameCase{"latin1", "/caf\xE9.jpg", false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(NativePath, EscapedBytesAfterSurrogatePairStaySeparate) {
    // A valid four-byte character followed directly by a stray byte.
    const QByteArray bytes("\xF0\x9F\x98\x80\x83");
    EXPECT_EQ(toNative(fromNative(bytes)), bytes);
}

TEST(NativePath, LoneSurrogateNotFromAFileNameBecomesReplacement) {
    const QString text = QString(QChar(0xD800)) + "a";
    EXPECT_EQ(toNative(text), QByteArray("\xEF\xBF\xBD" "a"));
}

} // namespace
} // namespace orlix::platform
