// The decoding unit on its own: how far a JPEG is reduced, what a decode gives for each kind
// of picture and view, how a decode is abandoned, and the order the decoding thread works in.

#include "viewer/PictureDecoder.h"
#include "viewer/DecodeWorker.h"
#include "viewer/JpegReader.h"

#include "support/TempTree.h"

#include <QBuffer>
#include <QImageReader>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>
#include <unistd.h>

namespace orlix {
namespace {

using test::encodedPicture;

// One-pixel black and white columns: any reduction that drops pixels instead of averaging
// them leaves black or white, never grey.
QImage stripes(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    return image;
}

ViewParams fitted(int widthPx, int heightPx) {
    return ViewParams{widthPx * 15, heightPx * 15, 1.0, false};
}

TEST(JpegReduction, TheLargestThatStillCoversTheFrame) {
    const struct {
        QSize stored;
        bool quarterTurn;
        QSize needed;
        int reduction;
    } cases[] = {
        {{6000, 4000}, false, {1570, 1047}, 2}, // a 48 MP photo on a 1920 x 1080 screen
        {{6000, 4000}, false, {1500, 1000}, 4}, // exactly a quarter
        {{6000, 4000}, false, {1501, 1000}, 2}, {{6000, 4000}, false, {750, 500}, 8},
        {{6000, 4000}, false, {3001, 2000}, 1}, // more than half: nothing to gain
        {{6001, 4001}, false, {751, 501}, 8},   // the decoder rounds reduced sizes up
        {{4000, 6000}, true, {1500, 1000}, 4},  // stored on its side, shown upright
        {{4000, 6000}, false, {1500, 1000}, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JpegReader::reductionFor(c.stored, c.quarterTurn, c.needed), c.reduction)
            << c.stored.width() << "x" << c.stored.height() << " for " << c.needed.width() << "x"
            << c.needed.height();
    }
}

class Decoding : public ::testing::Test {
protected:
    DecodedPicture decode(const char* name, const QByteArray& bytes, ViewParams view,
                          bool full = false) {
        tree.write(name, bytes);
        const std::atomic<bool> cancelled{false};
        return decoder.decode(
            DecodeRequest{QString::fromUtf8(tree.path(name)), nullptr, view, full}, cancelled);
    }
    test::TempTree tree;
    StandardPictureDecoder decoder;
};

TEST_F(Decoding, ReducesOnlyJpegsShownFittedAndAlwaysGivesTheWholeSize) {
    const QImage photo = stripes({1600, 1200});
    const QByteArray jpeg = encodedPicture(photo, "JPEG"), bmp = encodedPicture(photo, "BMP");
    const QByteArray grey =
        encodedPicture(photo.convertToFormat(QImage::Format_Grayscale8), "JPEG");
    const QByteArray sideways = test::quarterTurnedJpeg(photo);
    // clang-format off
    const struct {
        const char* name;
        QByteArray bytes;
        ViewParams view;
        bool full;
        int reduction;
        QSize pixels; // the caption's size
        QSize image;
        QSize frame;
    } cases[] = {
        // name                 bytes        view               full  red.  caption      image        frame
        {"fitted.jpg",          jpeg,        fitted(400, 300),  false, 4, {1600, 1200}, {400, 300},   {400, 300}},
        {"larger-view.jpg",     jpeg,        fitted(500, 375),  false, 2, {1600, 1200}, {800, 600},   {500, 375}},
        {"full-asked.jpg",      jpeg,        fitted(400, 300),  true,  1, {1600, 1200}, {1600, 1200}, {400, 300}},
        {"real-size.jpg",       jpeg,        {6000, 4500, 1.0, true}, false, 1, {1600, 1200}, {1600, 1200}, {400, 300}},
        {"fits.jpg",            jpeg,        fitted(2000, 1500), false, 1, {1600, 1200}, {1600, 1200}, {1600, 1200}},
        {"bitmap.bmp",          bmp,         fitted(400, 300),  false, 1, {1600, 1200}, {1600, 1200}, {400, 300}},
        {"progressive.jpg",     encodedPicture(photo, "JPEG", true), fitted(400, 300), false, 4, {1600, 1200}, {400, 300}, {400, 300}},
        {"grey.jpg",            grey,        fitted(400, 300),  false, 4, {1600, 1200}, {400, 300},   {400, 300}},
        {"turned.jpg",          sideways,    fitted(300, 400),  false, 4, {1200, 1600}, {300, 400},   {300, 400}},
        {"turned-hidpi.jpg",    sideways,    {4500, 6000, 2.0, false}, false, 2, {1200, 1600}, {600, 800}, {600, 800}},
        {"cut-short.jpg",       jpeg.left(jpeg.size() * 2 / 3), fitted(400, 300), false, 4, {1600, 1200}, {400, 300}, {400, 300}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedPicture picture = decode(c.name, c.bytes, c.view, c.full);
        ASSERT_TRUE(picture.ok());
        EXPECT_EQ(picture.reduction, c.reduction);
        EXPECT_EQ(picture.pixelSize, c.pixels);
        EXPECT_EQ(picture.image.size(), c.image);
        EXPECT_EQ(picture.frame.size(), c.frame);
        EXPECT_EQ(picture.fullResolution(), c.reduction == 1);
        EXPECT_TRUE(picture.serves(c.view));
        // A reduced picture will not do at real size; a full one does anywhere.
        EXPECT_EQ(picture.serves(ViewParams{c.view.scaleWidth, c.view.viewHeight, 1.0, true}),
                  c.reduction == 1);
    }
}

TEST_F(Decoding, AReducedFrameLooksLikeOneMadeFromTheWholePicture) {
    // A photo-like gradient with fine detail, and the stripes that punish dropped pixels.
    QImage detail(1600, 1200, QImage::Format_RGB32);
    for (int y = 0; y < 1200; ++y)
        for (int x = 0; x < 1600; ++x)
            detail.setPixel(x, y, qRgb((x * 7 + y) & 0xff, (y / 5) & 0xff, ((x ^ y) & 1) * 255));
    for (const QImage& source : {detail, stripes({1600, 1200})}) {
        const QByteArray bytes = encodedPicture(source, "JPEG");
        const DecodedPicture reduced = decode("r.jpg", bytes, fitted(400, 300));
        const DecodedPicture whole = decode("w.jpg", bytes, fitted(400, 300), true);
        ASSERT_EQ(reduced.reduction, 4);
        ASSERT_EQ(reduced.frame.size(), whole.frame.size());
        double difference = 0;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x) {
                const QRgb a = reduced.frame.pixel(x, y), b = whole.frame.pixel(x, y);
                difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                              std::abs(qBlue(a) - qBlue(b));
            }
        EXPECT_LT(difference / (400 * 300 * 3), 4.0); // mean difference per channel, of 255
    }
    const DecodedPicture grey =
        decode("s.jpg", encodedPicture(stripes({1600, 1200}), "JPEG"), fitted(400, 300));
    for (int x = 1; x < 399; x += 37)
        EXPECT_NEAR(qGray(grey.frame.pixel(x, 150)), 128, 24) << "column " << x;
}

TEST_F(Decoding, TurnsPicturesAsQtsOwnReaderDoes) {
    QImage marked(64, 32, QImage::Format_RGB32);
    marked.fill(Qt::white);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            marked.setPixel(x, y, qRgb(255, 0, 0)); // a red corner, top left as stored
    const QByteArray bytes = test::quarterTurnedJpeg(marked);
    const DecodedPicture picture = decode("t.jpg", bytes, fitted(1000, 1000), true);
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader qt(&buffer);
    qt.setAutoTransform(true);
    const QImage expected = qt.read().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(picture.image.size(), expected.size());
    EXPECT_EQ(picture.image.size(), QSize(32, 64));
    EXPECT_GT(qRed(picture.image.pixel(28, 3)), 200); // now at the top right
    EXPECT_LT(qGreen(picture.image.pixel(28, 3)), 60);
    EXPECT_EQ(picture.image, expected);
}

TEST_F(Decoding, AJpegPaddedAfterItsDataIsReadNoFurtherThanItsLastRow) {
    // A photo cut off and padded to 2 GiB with zeros: its rows come from the zeros, and the
    // gigabytes after them are never read.
    QByteArray head = encodedPicture(stripes({1600, 1200}), "JPEG");
    head.truncate(head.size() / 2);
    tree.write("padded.jpg", head);
    ASSERT_EQ(::truncate(tree.path("padded.jpg").constData(), qint64(2) << 30), 0);
    std::atomic<bool> cancelled{false};
    DecodedPicture picture;
    std::thread decoding([&] {
        picture = decoder.decode(DecodeRequest{QString::fromUtf8(tree.path("padded.jpg")), nullptr,
                                               fitted(1600, 1200), false},
                                 cancelled);
    });
    // Reading the padding would take seconds; a cancel after a generous wait shows whether it
    // was being read.
    QTest::qWait(1000);
    cancelled = true;
    decoding.join();
    EXPECT_FALSE(picture.cancelled);
    EXPECT_TRUE(picture.ok());
    EXPECT_EQ(picture.pixelSize, QSize(1600, 1200));
}

TEST_F(Decoding, AnAbandonedDecodeStopsAtItsNextRead) {
    // Cut off and padded to 2 GiB with zeros (sparse). A progressive JPEG is read to its end
    // before its first row comes out, which takes seconds here.
    QByteArray head = encodedPicture(stripes({1600, 1200}), "JPEG", true);
    head.truncate(head.size() / 2);
    for (const char* name : {"padded.jpg", "padded.gif"}) {
        SCOPED_TRACE(name);
        tree.write(name, QByteArray(name).endsWith("gif")
                             ? QByteArray::fromHex("474946383961400030008000")
                             : head);
        ASSERT_EQ(::truncate(tree.path(name).constData(), qint64(2) << 30), 0);
        std::atomic<bool> cancelled{false};
        DecodedPicture picture;
        std::thread decoding([&] {
            picture = decoder.decode(
                DecodeRequest{QString::fromUtf8(tree.path(name)), nullptr, fitted(400, 300), false},
                cancelled);
        });
        QTest::qWait(30);
        cancelled = true;
        decoding.join();
        EXPECT_TRUE(picture.cancelled);
        EXPECT_TRUE(picture.image.isNull());
    }
}

// A decoder that records the order of its work and holds each decode until released.
class SteppedDecoder : public PictureDecoder {
public:
    DecodedPicture decode(const DecodeRequest& request,
                          const std::atomic<bool>& cancelled) const override {
        std::unique_lock<std::mutex> lock(mutex_);
        started_.push_back(request.path);
        changed_.notify_all();
        // Polled: a cancel comes as a flag, without a notification.
        while (released_ == 0 && !cancelled.load())
            changed_.wait_for(lock, std::chrono::milliseconds(5));
        DecodedPicture picture;
        picture.path = request.path;
        picture.cancelled = cancelled.load();
        if (!picture.cancelled)
            --released_;
        return picture;
    }
    void release(int count) {
        const std::lock_guard<std::mutex> lock(mutex_);
        released_ += count;
        changed_.notify_all();
    }
    // Waits until `count` decodes have started; their paths in order.
    QStringList started(int count) const {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(10), [&] { return started_.size() >= count; });
        return started_;
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable QStringList started_;
    mutable int released_ = 0;
};

class Worker : public ::testing::Test {
protected:
    struct Delivered {
        DecodeWorker::JobId job;
        QString path;
        bool cancelled;
    };
    // Results as the thread delivers them.
    std::vector<Delivered> results(std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        arrived.wait_for(lock, std::chrono::seconds(10), [&] { return delivered.size() >= count; });
        return delivered;
    }
    std::shared_ptr<SteppedDecoder> decoder = std::make_shared<SteppedDecoder>();
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Delivered> delivered;
    std::unique_ptr<DecodeWorker> worker = std::make_unique<DecodeWorker>(
        decoder, [this](DecodeWorker::JobId job, PicturePtr picture) {
            const std::lock_guard<std::mutex> lock(mutex);
            delivered.push_back({job, picture->path, picture->cancelled});
            arrived.notify_all();
        });
    static DecodeRequest request(const char* path) {
        return DecodeRequest{path, nullptr, {}, false};
    }
};

TEST_F(Worker, RunsTheMostUrgentFirstAndADemandStopsWhatIsLessUrgent) {
    using P = DecodeWorker::Priority;
    worker->submit(request("ahead"), P::Ahead);
    ASSERT_EQ(decoder->started(1), QStringList({"ahead"}));
    worker->submit(request("background"), P::Background);
    const auto dropped = worker->submit(request("dropped"), P::Ahead);
    const auto promoted = worker->submit(request("promoted"), P::Background);
    worker->submit(request("second ahead"), P::Ahead);
    worker->submit(request("demand"), P::Demand); // stops "ahead", which is running
    EXPECT_FALSE(worker->cancel(dropped));        // queued: no result will come
    worker->promote(promoted);
    decoder->release(4);
    const auto done = results(5);
    ASSERT_EQ(done.size(), 5u);
    EXPECT_EQ(done[0].path, "ahead");
    EXPECT_TRUE(done[0].cancelled);
    EXPECT_EQ(decoder->started(5),
              QStringList({"ahead", "promoted", "demand", "second ahead", "background"}));
    for (std::size_t i = 1; i < done.size(); ++i)
        EXPECT_FALSE(done[i].cancelled) << i;
    EXPECT_TRUE(QTest::qWaitFor([&] { return worker->idle(); }, 2000));
}

} // namespace
} // namespace orlix
