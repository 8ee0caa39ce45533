// Where the viewer's pictures come from. The decoding thread: the order it works in, and
// closing without waiting on a stuck job. What the pictures are made of: a picture is only ever
// the decode of one content of its file, shown under its own size, and a decode that fails in
// any way is that picture's failure.

#include "viewer/sources/DecodeWorker.h"
#include "viewer/sources/PictureLoader.h"

#include "support/OtherUser.h"
#include "viewer/TreeScene.h"
#include "viewer/steps/ViewGeometry.h"

#include <QFile>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <new>
#include <thread>
#include <vector>

namespace orlix {
namespace {

// Jobs that record the order they run in and wait until released.
class Worker : public ::testing::Test {
protected:
    struct Delivered {
        QString name;
        bool cancelled;
    };
    DecodeWorker::JobId submit(const char* name, DecodeWorker::Priority priority) {
        const auto job = [this, name = QString::fromUtf8(name)](DecodeWorker::JobId,
                                                                const std::atomic<bool>& cancelled,
                                                                bool demanded) {
            std::unique_lock<std::mutex> lock(mutex);
            started << name + (demanded ? "!" : "");
            changed.notify_all();
            // Polled: a cancel comes as a flag, without a notification.
            while (released == 0 && !cancelled.load())
                changed.wait_for(lock, std::chrono::milliseconds(5));
            released -= cancelled.load() ? 0 : 1;
            delivered.push_back({name, cancelled.load()});
            changed.notify_all();
        };
        return worker->submit(job, priority);
    }
    // Waits until `list` (started or delivered, both in order) holds `count` items; a copy.
    template <typename List> List waitFor(const List& list, std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(10),
                         [&] { return std::size_t(list.size()) >= count; });
        return list;
    }
    std::mutex mutex;
    std::condition_variable changed;
    QStringList started;
    int released = 0;
    std::vector<Delivered> delivered;
    std::unique_ptr<DecodeWorker> worker = std::make_unique<DecodeWorker>();
};

TEST_F(Worker, RunsTheMostUrgentFirstAndADemandStopsWhatIsLessUrgent) {
    using P = DecodeWorker::Priority;
    submit("ahead", P::Ahead);
    ASSERT_EQ(waitFor(started, 1), QStringList({"ahead"}));
    submit("background", P::Background);
    const auto dropped = submit("dropped", P::Ahead);
    const auto promoted = submit("promoted", P::Background);
    submit("second ahead", P::Ahead);
    submit("demand", P::Demand);           // stops "ahead", which is running
    EXPECT_FALSE(worker->cancel(dropped)); // queued: it never runs
    worker->promote(promoted);
    {
        const std::lock_guard<std::mutex> lock(mutex);
        released = 4;
        changed.notify_all();
    }
    const auto done = waitFor(delivered, 5);
    ASSERT_EQ(done.size(), 5u);
    EXPECT_EQ(done[0].name, "ahead");
    EXPECT_EQ(waitFor(started, 5),
              QStringList({"ahead", "promoted!", "demand!", "second ahead", "background"}))
        << "\"!\": run as a Demand";
    for (std::size_t i = 0; i < done.size(); ++i)
        EXPECT_EQ(done[i].cancelled, i == 0) << done[i].name.toStdString();
}

TEST_F(Worker, ClosingNeverWaitsOnAJobStuckInTheSystem) {
    // A job that does not look at its flag, as one blocked in a read of a hung mount.
    auto finished = std::make_shared<std::atomic<bool>>(false);
    worker->submit(
        [finished](DecodeWorker::JobId, const std::atomic<bool>&, bool) {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            finished->store(true);
        },
        DecodeWorker::Priority::Demand);
    QTest::qWait(20);
    const auto start = std::chrono::steady_clock::now();
    worker.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_FALSE(finished->load());
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished->load(); }, 2000)); // and ends on its own
}

// a.bmp starts as a red 40 x 30 picture.
class PictureLoading : public ::testing::Test, public test::TempTree {
public:
    PictureLoading() { rewrite({40, 30}, qRgb(255, 0, 0)); }
    PicturePtr load(const PicturePtr& kept = nullptr) {
        return loader.load(QString::fromUtf8(path("a.bmp")), request, false, kept, notCancelled);
    }
    PicturePtr reload(const PicturePtr& shown, bool reopen, const SizeRequest& wanted) {
        return loader.reload(shown, wanted, true, reopen, notCancelled);
    }
    // Rewrites a.bmp in place (same inode) with a picture of `size` and `colour`.
    void rewrite(QSize size, QRgb colour) const { write("a.bmp", test::pictureFile(size, colour)); }
    static QRgb colourOf(const PicturePtr& picture) { return picture->image.pixel(1, 1); }
    int decodes() const { return int(decoder->log().size()); }

    std::shared_ptr<test::GatedDecoder> decoder = std::make_shared<test::GatedDecoder>(false);
    PictureLoader loader{decoder};
    const SizeRequest request = sizeRequestFor({1024 * 15, 768 * 15, 1.0, false, {}}, 0, 0);
    const std::atomic<bool> notCancelled{false};
};

TEST_F(PictureLoading, AKeptPictureServesOnlyWhileItsFileIsUnchanged) {
    const PicturePtr kept = load();
    ASSERT_TRUE(kept->ok());
    EXPECT_EQ(load(kept), kept);
    EXPECT_EQ(decodes(), 1);
    // Rewritten with as many bytes and the old modification time put back, as `cp -p` and
    // archive tools do. The kernel may stamp change times with a coarse clock: step past its
    // tick first.
    struct stat before {};
    ASSERT_EQ(::stat(path("a.bmp").constData(), &before), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    rewrite({40, 30}, qRgb(0, 0, 255));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path("a.bmp").constData(), times, 0), 0);
    const PicturePtr now = load(kept);
    ASSERT_TRUE(now->ok());
    EXPECT_EQ(decodes(), 2);
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
    ASSERT_EQ(::chmod(root().constData(), 0711) | ::chmod(path("a.bmp").constData(), 0), 0);
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

// Something done to the file during its decode: rewritten in place while it was being read, it
// is read again, so that size and pixels agree; what the decode throws is its failure.
TEST_F(PictureLoading, APictureIsNeverMadeOfTwoContentsNorOfAFailedDecode) {
    const struct {
        std::function<void()> meddle;
        LoadError error;
        QSize size;
    } cases[] = {
        {[this] {
             rewrite({60, 20}, qRgb(0, 255, 0));
         },
         LoadError::None,
         {60, 20}},
        {[] { throw std::bad_alloc(); }, LoadError::DecodeFailed, {}},
        {[] {
             throw std::system_error(
                 std::make_error_code(std::errc::resource_unavailable_try_again));
         },
         LoadError::DecodeFailed,
         {}},
    };
    for (const auto& c : cases) {
        decoder->meddle = c.meddle;
        const PicturePtr picture = load();
        EXPECT_EQ(picture->error, c.error);
        EXPECT_EQ(picture->ok() ? picture->pixelSize : QSize(), c.size);
        EXPECT_TRUE(!picture->ok() || colourOf(picture) == qRgb(0, 255, 0));
    }
    EXPECT_EQ(decodes(), 4);
}

TEST_F(PictureLoading, ADecodeAgainReadsTheShownContentOrIsANewPictureOfItsOwn) {
    const PicturePtr shown = load();
    // Unchanged: read through the file it came from.
    const PicturePtr again = reload(shown, true, request);
    EXPECT_EQ(again->file, shown->file);
    EXPECT_EQ(colourOf(again), qRgb(255, 0, 0));
    // Changed: a new picture with its own size, read as the file is now; or nothing at all
    // where the caller wants only what was shown.
    rewrite({70, 10}, qRgb(0, 0, 255));
    EXPECT_TRUE(reload(shown, false, request)->cancelled);
    const PicturePtr fresh = reload(shown, true, request);
    ASSERT_TRUE(fresh->ok());
    EXPECT_NE(fresh->file, shown->file);
    EXPECT_EQ(fresh->pixelSize, QSize(70, 10));
    EXPECT_EQ(colourOf(fresh), qRgb(0, 0, 255));
    // Gone: its own failure, not a blank.
    ASSERT_EQ(::unlink(path("a.bmp").constData()), 0);
    EXPECT_EQ(reload(fresh, true, request)->error, LoadError::FileNotFound);
}

// The full resolution of a photo shown reduced keeps the frame on screen for the same view (a
// whole photo scaled down again shows the same, at more than the cost of its decode), and
// makes its own for another view.
TEST_F(PictureLoading, TheFullResolutionKeepsTheFrameShownForTheSameView) {
    write("photo.jpg", test::pictureFile({2400, 1800}, qRgb(30, 140, 200), "JPEG"));
    const QString photo = QString::fromUtf8(path("photo.jpg"));
    const PicturePtr shown = loader.load(photo, request, false, nullptr, notCancelled);
    ASSERT_TRUE(shown->ok());
    ASSERT_LT(shown->eighths, 8);
    const PicturePtr full = reload(shown, false, request);
    ASSERT_TRUE(full->fullResolution());
    EXPECT_EQ(full->frame.cacheKey(), shown->frame.cacheKey());
    const PicturePtr other =
        reload(shown, false, sizeRequestFor({800 * 15, 600 * 15, 1.0, false, {}}, 0, 0));
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

} // namespace
} // namespace orlix
