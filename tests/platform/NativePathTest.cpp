#include "platform/files/NativePath.h"

#include "catalogue/TestHelpers.h"

#include <gtest/gtest.h>

namespace orlix::platform {
namespace {

TEST(NativePath, KeepsEveryByteAndShowsKeptOnesAsReplacements) {
    // Bytes as named, and as shown.
    const std::pair<QByteArray, const char*> names[] = {
        {"/写真/夏.jpg", "/写真/夏.jpg"},
        {"/x/\xF0\x9F\x98\x80.gif", "/x/\xF0\x9F\x98\x80.gif"},
        {"/old/\x8E\xCA\x90\x5E.bmp", "/old/\uFFFD\u0290^.bmp"}, // Shift-JIS
        {"/a\xC0\xAFx", "/a\uFFFD\uFFFDx"},                      // overlong
        {"/\xED\xA0\x80", "/\uFFFD\uFFFD\uFFFD"},                // encoded surrogate
        {"/\xE3\x81", "/\uFFFD\uFFFD"},                          // truncated
        {"/\xF0\x9F\x98\x80\x83", "/\xF0\x9F\x98\x80\uFFFD"},    // stray byte after a pair
        {"/caf\xE9.jpg", "/caf\uFFFD.jpg"}};                     // Latin-1
    for (const auto& [bytes, shown] : names) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        const QString text = fromNative(bytes);
        EXPECT_EQ(toNative(text), bytes);
        EXPECT_EQ(forDisplay(text), QString::fromUtf8(shown));
        // A folder listing joins the folder's text and a name's bytes in one go.
        const QString folder = fromNative("/d\xFF/");
        EXPECT_EQ(fromNative(folder, bytes), folder + text);
    }
    // A lone surrogate that no file name gave.
    EXPECT_EQ(toNative("a" + QString(QChar(0xD800))), QByteArray("a\xEF\xBF\xBD"));
}

} // namespace
} // namespace orlix::platform
