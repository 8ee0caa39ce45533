#include "viewer/PictureLoader.h"

#include "ViewerTestKit.h"
#include "platform/NativePath.h"
#include "support/TempTree.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace orlix {
namespace {

using test::encodePicture;
using test::TempTree;

TEST(LoadErrorTable, NumbersAndTextsAreStable) {
    const struct {
        LoadError error;
        const char* message;
        bool reported;
    } cases[] = {
        {LoadError::TooLarge, "7 画像が大きすぎるため表示できません。", true},
        {LoadError::FileNotFound, "53 ファイルが見つかりません。", true},
        {LoadError::DeviceIO, "57 デバイス I/O エラーです。", true},
        {LoadError::PermissionDenied, "70 アクセスが拒否されました。", true},
        {LoadError::PathInvalid, "75 パス名が無効です。", true},
        {LoadError::InvalidPicture, "481 ピクチャが不正です。", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(failureMessage(c.error), QString::fromUtf8(c.message));
        EXPECT_EQ(isReported(c.error), c.reported) << c.message;
    }
    EXPECT_FALSE(isReported(LoadError::None));
}

TEST(LoadErrorTable, MapsSystemErrors) {
    const struct {
        int error;
        LoadError expected;
    } cases[] = {{ENOENT, LoadError::FileNotFound},      {EACCES, LoadError::PermissionDenied},
                 {EPERM, LoadError::PermissionDenied},   {EISDIR, LoadError::PathInvalid},
                 {ENAMETOOLONG, LoadError::PathInvalid}, {EIO, LoadError::DeviceIO},
                 {ENOMEM, LoadError::TooLarge}};
    for (const auto& c : cases)
        EXPECT_EQ(loadErrorFromErrno(c.error), c.expected) << c.error;
}

TEST(PixelLimit, AdmitsLargePhotosAndRefusesAbsurdHeaders) {
    EXPECT_TRUE(PictureLoader::withinPixelLimit(QSize(8000, 6000)));
    EXPECT_TRUE(PictureLoader::withinPixelLimit(QSize(20000, 10000)));
    EXPECT_TRUE(PictureLoader::withinPixelLimit(QSize(16384, 16384)));
    EXPECT_FALSE(PictureLoader::withinPixelLimit(QSize(16385, 16384)));
    EXPECT_FALSE(PictureLoader::withinPixelLimit(QSize(65535, 65535)));
}

class PictureLoaderFiles : public ::testing::Test {
protected:
    PictureLoader::Result load(const QByteArray& relative) const {
        return PictureLoader().load(platform::fromNative(tree.path(relative)));
    }
    TempTree tree;
};

TEST_F(PictureLoaderFiles, DecodesEachPictureFormat) {
    for (const char* format : {"BMP", "JPEG", "GIF"}) {
        const QByteArray name = QByteArray("p.") + format;
        tree.write(name, encodePicture(QSize(37, 21), format));
        const PictureLoader::Result result = load(name);
        EXPECT_EQ(result.error, LoadError::None) << format;
        EXPECT_EQ(result.image.size(), QSize(37, 21)) << format;
    }
}

TEST_F(PictureLoaderFiles, MapsEachFailure) {
    tree.write("garbage.jpg", "not a picture at all");
    tree.write("empty.gif", QByteArray());
    tree.mkdir("folder.jpg");
    ASSERT_EQ(::mkfifo(tree.path("pipe.jpg").constData(), 0600), 0);
    const struct {
        const char* name;
        LoadError error;
    } cases[] = {{"garbage.jpg", LoadError::InvalidPicture},
                 {"empty.gif", LoadError::InvalidPicture},
                 {"missing.jpg", LoadError::FileNotFound},
                 {"folder.jpg", LoadError::PathInvalid},
                 {"pipe.jpg", LoadError::PathInvalid}};
    for (const auto& c : cases) {
        const PictureLoader::Result result = load(c.name);
        EXPECT_EQ(result.error, c.error) << c.name;
        EXPECT_TRUE(result.image.isNull()) << c.name;
    }
}

TEST_F(PictureLoaderFiles, ReportsAFileItMayNotRead) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    tree.write("locked.bmp", encodePicture(QSize(4, 4), "BMP"));
    ASSERT_EQ(::chmod(tree.path("locked.bmp").constData(), 0), 0);
    EXPECT_EQ(load("locked.bmp").error, LoadError::PermissionDenied);
}

TEST_F(PictureLoaderFiles, OpensANameThatIsNotUtf8) {
    const QByteArray name("\x93\xfa\x96\x7b.jpg"); // Shift-JIS
    tree.write(name, encodePicture(QSize(8, 6), "JPEG"));
    EXPECT_EQ(load(name).image.size(), QSize(8, 6));
}

TEST_F(PictureLoaderFiles, StandsAPhotoUpright) {
    for (int orientation : {1, 3, 6, 8}) {
        tree.write("turned.jpg", test::jpegWithOrientation(QSize(40, 20), orientation));
        const bool quarterTurn = orientation >= 5;
        EXPECT_EQ(load("turned.jpg").image.size(), quarterTurn ? QSize(20, 40) : QSize(40, 20))
            << orientation;
    }
}

TEST_F(PictureLoaderFiles, RefusesAnAbsurdHeaderBeforeDecoding) {
    // A GIF whose screen and image claim 65535 x 65535 pixels, with hardly any data.
    const QByteArray gif = QByteArray::fromHex("474946383961ffffffff000000"
                                               "2c00000000ffffffff00"
                                               "02024401003b");
    tree.write("huge.gif", gif);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(load("huge.gif").error, LoadError::TooLarge);
    EXPECT_LT(clock.elapsed(), 2000);
}

TEST_F(PictureLoaderFiles, DecodesA48MegapixelPhoto) {
    // 8000 x 6000 at 4 bytes a pixel is above the decoder's default 128 MB ceiling.
    tree.write("big.jpg", encodePicture(QSize(8000, 6000), "JPEG"));
    const PictureLoader::Result result = load("big.jpg");
    EXPECT_EQ(result.error, LoadError::None);
    EXPECT_EQ(result.image.size(), QSize(8000, 6000));
}

} // namespace
} // namespace orlix
