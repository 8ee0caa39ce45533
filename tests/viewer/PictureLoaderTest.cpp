// What the viewer's pictures are made of: a picture is only ever the decode of one content of
// its file, shown under its own size, and a decode that fails in any way is that picture's
// failure.

#include "viewer/sources/PictureLoader.h"
#include "viewer/steps/ViewGeometry.h"

#include "support/OtherUser.h"
#include "support/TempTree.h"

#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <new>
#include <thread>
#include <utility>

namespace orlix {
namespace {

using test::pictureFile;

// The program's decoder, with something done to the file in the middle of the next decode (once
// the real decode has read it): it may also throw.
class MeddlingDecoder : public PictureDecoder {
public:
    DecodeResult decode(const DecodeRequest& request, const std::atomic<bool>& cancelled) override {
        ++decodes;
        DecodeResult result = real_.decode(request, cancelled);
        if (meddle)
            std::exchange(meddle, nullptr)();
        return result;
    }
    int decodes = 0;
    std::function<void()> meddle;

private:
    StandardPictureDecoder real_;
};

// a.bmp starts as a red 40 x 30 picture.
class PictureLoading : public ::testing::Test {
public:
    PictureLoading() { rewrite({40, 30}, qRgb(255, 0, 0)); }
    PicturePtr load(const PicturePtr& kept = nullptr) {
        return loader.load(QString::fromUtf8(tree.path("a.bmp")), request, false, kept,
                           notCancelled);
    }
    // Rewrites a.bmp in place (same inode) with a picture of `size` and `colour`.
    void rewrite(QSize size, QRgb colour) const { tree.write("a.bmp", pictureFile(size, colour)); }
    static QRgb colourOf(const PicturePtr& picture) { return picture->image.pixel(1, 1); }

    test::TempTree tree;
    std::shared_ptr<MeddlingDecoder> decoder = std::make_shared<MeddlingDecoder>();
    PictureLoader loader{decoder};
    const SizeRequest request = sizeRequestFor({1024 * 15, 768 * 15, 1.0, false, {}}, 0, 0);
    const std::atomic<bool> notCancelled{false};
};

TEST_F(PictureLoading, AKeptPictureServesOnlyWhileItsFileIsUnchanged) {
    const PicturePtr kept = load();
    ASSERT_TRUE(kept->ok());
    EXPECT_EQ(load(kept), kept);
    EXPECT_EQ(decoder->decodes, 1);
    // Rewritten with as many bytes and the old modification time put back, as `cp -p` and
    // archive tools do. The kernel may stamp change times with a coarse clock: step past its
    // tick first.
    struct stat before {};
    ASSERT_EQ(::stat(tree.path("a.bmp").constData(), &before), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    rewrite({40, 30}, qRgb(0, 0, 255));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, tree.path("a.bmp").constData(), times, 0), 0);
    const PicturePtr now = load(kept);
    ASSERT_TRUE(now->ok());
    EXPECT_EQ(decoder->decodes, 2);
    // Its pixels and its size are those of one and the same content.
    EXPECT_EQ(colourOf(now), qRgb(0, 0, 255));
    EXPECT_EQ(now->pixelSize, now->image.size());
    EXPECT_EQ(now->frame.size(), now->pixelSize); // small: shown one pixel per pixel
}

// A file made unreadable since its picture was kept fails as unreadable. Root reads every file,
// so as root the check runs as another user.
TEST_F(PictureLoading, AKeptPictureOfAFileNowUnreadableIsThatFilesFailure) {
    const PicturePtr kept = load();
    ASSERT_TRUE(kept->ok());
    ASSERT_EQ(::chmod(tree.root().constData(), 0711) | ::chmod(tree.path("a.bmp").constData(), 0),
              0);
    const auto check = [&] {
        const LoadError error = load(kept)->error;
        return error == LoadError::PermissionDenied
                   ? QByteArray()
                   : "error " + QByteArray::number(static_cast<int>(error));
    };
    const auto faults = ::geteuid() == 0 ? test::asNobody(check) : check();
    if (!faults)
        GTEST_SKIP() << "cannot become user nobody (65534): run as root";
    EXPECT_EQ(*faults, "");
}

TEST_F(PictureLoading, APictureIsNeverMadeOfTwoContents) {
    // Rewritten in place while it was being read: read again, so that size and pixels agree.
    decoder->meddle = [this] { rewrite({60, 20}, qRgb(0, 255, 0)); };
    const PicturePtr picture = load();
    ASSERT_TRUE(picture->ok());
    EXPECT_EQ(decoder->decodes, 2);
    EXPECT_EQ(picture->pixelSize, QSize(60, 20));
    EXPECT_EQ(colourOf(picture), qRgb(0, 255, 0));
}

TEST_F(PictureLoading, ADecodeAgainReadsTheShownContentOrIsANewPictureOfItsOwn) {
    const PicturePtr shown = load();
    // Unchanged: read through the file it came from.
    const PicturePtr again = loader.reload(shown, request, true, true, notCancelled);
    EXPECT_EQ(again->file, shown->file);
    EXPECT_EQ(colourOf(again), qRgb(255, 0, 0));
    // Changed: a new picture with its own size, read as the file is now; or nothing at all
    // where the caller wants only what was shown.
    rewrite({70, 10}, qRgb(0, 0, 255));
    EXPECT_TRUE(loader.reload(shown, request, true, false, notCancelled)->cancelled);
    const PicturePtr fresh = loader.reload(shown, request, true, true, notCancelled);
    ASSERT_TRUE(fresh->ok());
    EXPECT_NE(fresh->file, shown->file);
    EXPECT_EQ(fresh->pixelSize, QSize(70, 10));
    EXPECT_EQ(colourOf(fresh), qRgb(0, 0, 255));
    // Gone: its own failure, not a blank.
    ASSERT_EQ(::unlink(tree.path("a.bmp").constData()), 0);
    EXPECT_EQ(loader.reload(fresh, request, true, true, notCancelled)->error,
              LoadError::FileNotFound);
}

// The full resolution of a photo shown reduced keeps the frame on screen for the same view (a
// whole photo scaled down again shows the same, at more than the cost of its decode), and
// makes its own for another view.
TEST_F(PictureLoading, TheFullResolutionKeepsTheFrameShownForTheSameView) {
    tree.write("photo.jpg", pictureFile({2400, 1800}, qRgb(30, 140, 200), "JPEG"));
    const QString photo = QString::fromUtf8(tree.path("photo.jpg"));
    const PicturePtr shown = loader.load(photo, request, false, nullptr, notCancelled);
    ASSERT_TRUE(shown->ok());
    ASSERT_LT(shown->eighths, 8);
    const PicturePtr full = loader.reload(shown, request, true, false, notCancelled);
    ASSERT_TRUE(full->fullResolution());
    EXPECT_EQ(full->frame.cacheKey(), shown->frame.cacheKey());
    const SizeRequest smaller = sizeRequestFor({800 * 15, 600 * 15, 1.0, false, {}}, 0, 0);
    const PicturePtr other = loader.reload(shown, smaller, true, false, notCancelled);
    EXPECT_EQ(other->frame.size(), QSize(800, 600));
    EXPECT_NE(other->frame.cacheKey(), shown->frame.cacheKey());
}

TEST_F(PictureLoading, APictureIsInTheColoursOfTheDisplayItWasDecodedFor) {
    QFile wideGamut(QStringLiteral("/usr/share/color/icc/colord/WideGamutRGB.icc"));
    ASSERT_TRUE(wideGamut.open(QIODevice::ReadOnly)) << "colord-data";
    SizeRequest wide = request;
    wide.displayProfile = wideGamut.readAll();
    const PicturePtr plain = load();
    ASSERT_TRUE(plain->ok());
    EXPECT_EQ(colourOf(plain), qRgb(255, 0, 0));
    // A redraw for a display with another profile cannot use it: decoded again, sRGB's red is
    // less than the wide display's full red.
    EXPECT_TRUE(plain->serves(request));
    EXPECT_FALSE(plain->serves(wide));
    const PicturePtr converted = loader.reload(plain, wide, false, true, notCancelled);
    ASSERT_TRUE(converted->ok());
    EXPECT_LT(qRed(colourOf(converted)), 250);
    EXPECT_GT(qRed(colourOf(converted)), 2 * qGreen(colourOf(converted)));
    EXPECT_TRUE(converted->serves(wide));
    EXPECT_FALSE(converted->serves(request));
}

TEST_F(PictureLoading, WhatADecodeThrowsIsThatPicturesFailure) {
    const std::function<void()> throws[] = {
        [] { throw std::bad_alloc(); },
        [] {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        },
    };
    for (const auto& thrower : throws) {
        decoder->meddle = thrower;
        EXPECT_EQ(load()->error, LoadError::DecodeFailed);
    }
}

} // namespace
} // namespace orlix
