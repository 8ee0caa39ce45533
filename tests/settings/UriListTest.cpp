#include "settings/UriList.h"
#include "platform/NativePath.h"

#include <QMimeData>
#include <gtest/gtest.h>

namespace orlix {
namespace {

struct UriCase {
    const char* name;
    QByteArray list;
    QList<QByteArray> expectedNative;
};

TEST(LocalPathsFromUriList, DecodesLocalFileUrisInOrder) {
    const UriCase cases[] = {
        {"one folder", "file:///home/user/Pictures\r\n", {"/home/user/Pictures"}},
        {"three, order kept", "file:///b\r\nfile:///a\r\nfile:///c\r\n", {"/b", "/a", "/c"}},
        {"no final line end", "file:///x/y", {"/x/y"}},
        {"bare LF line ends", "file:///p\nfile:///q\n", {"/p", "/q"}},
        {"percent-encoded space and UTF-8",
         "file:///home/u/My%20Photos/%E5%86%99%E7%9C%9F\r\n",
         {"/home/u/My Photos/\xE5\x86\x99\xE7\x9C\x9F"}},
        {"Shift-JIS bytes stay bytes", "file:///data/%8Ec%90%5E\r\n", {"/data/\x8E\x63\x90\x5E"}},
        {"encoded reserved characters", "file:///a/%23b%3Fc%25d\r\n", {"/a/#b?c%d"}},
        {"localhost host", "file://localhost/srv/pics\r\n", {"/srv/pics"}},
        {"single-slash form", "file:/tmp/x\r\n", {"/tmp/x"}},
        {"upper-case scheme", "FILE:///tmp/x\r\n", {"/tmp/x"}},
        {"comments and blank lines", "# dragged\r\n\r\nfile:///keep\r\n", {"/keep"}},
        {"other schemes skipped",
         "https://example.org/a.jpg\r\nsftp://host/x\r\nfile:///local\r\n",
         {"/local"}},
        {"remote host skipped", "file://fileserver/share/x\r\nfile:///mine\r\n", {"/mine"}},
        {"stray percent kept", "file:///100%/x%4\r\n", {"/100%/x%4"}},
        {"encoded NUL rejected", "file:///a%00b\r\nfile:///ok\r\n", {"/ok"}},
        {"nothing local", "https://example.org/\r\n", {}},
        {"empty", "", {}},
    };
    for (const UriCase& c : cases) {
        const QStringList paths = LocalPathsFromUriList(c.list);
        QList<QByteArray> native;
        for (const QString& path : paths)
            native.append(platform::toNative(path));
        EXPECT_EQ(native, c.expectedNative) << c.name;
    }
}

TEST(FirstDroppedPath, TakesTheFirstLocalPathOfAFileListOnly) {
    QMimeData files;
    files.setData(kUriListMimeType, "file:///first\r\nfile:///second\r\n");
    EXPECT_EQ(FirstDroppedPath(files), "/first");

    QMimeData text;
    text.setText("/home/user/Pictures");
    EXPECT_TRUE(FirstDroppedPath(text).isEmpty());

    QMimeData web;
    web.setData(kUriListMimeType, "https://example.org/a.jpg\r\n");
    EXPECT_TRUE(FirstDroppedPath(web).isEmpty());
}

} // namespace
} // namespace orlix
