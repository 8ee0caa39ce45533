// The program's decoder in processes of its own: it gives what the decoder gives in the
// program, and a decoder process that fails costs one picture and nothing more.
#include "decode/process/ProcessDecoder.h"

#include "GifWriter.h"
#include "PictureFileTest.h"
#include "decode/process/DecoderProtocol.h"
#include "platform/sandbox/SanitizerBuild.h"
#include "support/MisbehavingPictures.h"
#include "viewer/sources/PictureLoader.h"
#include "viewer/steps/ViewGeometry.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <thread>
#include <unistd.h>

namespace orlix {
namespace {

using namespace std::chrono_literals;
using test::detailed;
using test::encodedPicture;

class ProcessDecoding : public test::PictureFileTest {
protected:
    DecodeRequest request(const char* name, const QByteArray& bytes, QSize fitInto = {},
                          const QByteArray& displayProfile = {}) {
        return DecodeRequest{put(name, bytes), fitInto, displayProfile};
    }

    // The id of the process that serves `decoder`'s next picture, as the process tells it in a
    // picture; 0 when that picture fails.
    pid_t servingProcess(ProcessDecoder& decoder) {
        const DecodeResult told =
            decoder.decode(request("process.jpg", test::kProcessPicture), notCancelled);
        return told.ok() ? static_cast<pid_t>(told.image.pixel(0, 0) & 0xffffff) : 0;
    }
};

// The decoder processes running now: the children of the forking process, this one's child.
QList<pid_t> decoderProcesses() {
    const auto childrenOf = [](qint64 process) {
        QList<pid_t> children;
        const QString tasks = QStringLiteral("/proc/%1/task").arg(process);
        for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile list(tasks + QStringLiteral("/%1/children").arg(task));
            if (list.open(QIODevice::ReadOnly)) {
                for (const QByteArray& child : list.readAll().split(' ')) {
                    if (const pid_t id = child.toInt())
                        children += id;
                }
            }
        }
        return children;
    };
    QList<pid_t> decoders;
    for (const pid_t forking : childrenOf(::getpid()))
        decoders += childrenOf(forking);
    return decoders;
}

TEST_F(ProcessDecoding, GivesWhatTheDecoderGivesInTheProgram) {
    const QImage photo = detailed({1600, 1200});
    // Over 40 MiB decoded: given in memory of its own rather than lent from the reused one.
    const QImage large = detailed({3400, 3400});
    const QByteArray adobe = test::profileFile("colord/AdobeRGB1998.icc");
    QImage tagged = detailed({200, 150});
    tagged.setColorSpace(QColorSpace::AdobeRgb); // written into the JPEG as its ICC profile
    const struct {
        const char* name;
        QByteArray bytes;
        QSize fitInto;
        QByteArray displayProfile = {};
    } pictures[] = {
        {"photo.jpg", encodedPicture(photo, "JPEG"), {}},
        {"reduced.jpg", encodedPicture(photo, "JPEG"), {400, 300}},
        {"progressive.jpg", encodedPicture(photo, "JPEG", true), {800, 600}},
        {"turned.jpg", test::quarterTurnedJpeg(detailed({300, 200})), {}},
        {"true-colour.bmp", encodedPicture(detailed({97, 31}), "BMP"), {}},
        {"palette.bmp",
         encodedPicture(detailed({64, 48}).convertToFormat(QImage::Format_Indexed8), "BMP"),
         {}},
        {"picture.gif", demo::encodeGif(detailed({120, 80})), {}},
        {"text.jpg", "This is a note, not a picture.\n", {}},
        {"cut.bmp", encodedPicture(detailed({64, 64}), "BMP").left(500), {}},
        {"huge-screen.gif", test::kHugeGifScreen, {}},
        {"on-a-wide-display.jpg", encodedPicture(photo, "JPEG"), {800, 600}, adobe},
        {"with-a-profile.jpg", encodedPicture(tagged, "JPEG"), {}},
        {"with-a-profile-on-a-wide-display.jpg", encodedPicture(tagged, "JPEG"), {}, adobe},
        {"large.jpg", encodedPicture(large, "JPEG"), {}},
        {"large-turned.jpg", test::quarterTurnedJpeg(large), {}},
        {"large.bmp", encodedPicture(large, "BMP"), {}},
        {"small-after-large.jpg", encodedPicture(photo, "JPEG"), {800, 600}},
    };
    StandardPictureDecoder inProgram;
    ProcessDecoder inProcess;
    // Told of a 5K screen, as the program tells it: the process holds memory for a large first
    // picture, which the large ones then take and cut down to their size.
    inProcess.prepare(QSize(5120, 2880));
    const pid_t served = servingProcess(inProcess);
    // Compared once all are decoded: a picture whose memory the decoder reused for a later one
    // would have changed by then.
    std::vector<std::pair<DecodeResult, DecodeResult>> results;
    for (const auto& picture : pictures) {
        const DecodeRequest asked =
            request(picture.name, picture.bytes, picture.fitInto, picture.displayProfile);
        results.emplace_back(inProgram.decode(asked, notCancelled),
                             inProcess.decode(asked, notCancelled));
    }
    EXPECT_EQ(servingProcess(inProcess), served) << "one process served every picture";
    for (std::size_t i = 0; i < results.size(); ++i) {
        SCOPED_TRACE(pictures[i].name);
        const auto& [expected, got] = results[i];
        EXPECT_EQ(got.error, expected.error);
        EXPECT_FALSE(got.cancelled);
        EXPECT_EQ(got.pixelSize, expected.pixelSize);
        EXPECT_EQ(got.eighths, expected.eighths);
        if (expected.image.isNull()) {
            EXPECT_TRUE(got.image.isNull());
            continue;
        }
        // Handed over at 32 bits a pixel, whatever the reader gave.
        EXPECT_TRUE(isHandedOverFormat(got.image.format()));
        EXPECT_EQ(got.image.hasAlphaChannel(), expected.image.hasAlphaChannel());
        EXPECT_TRUE(got.image == expected.image.convertToFormat(got.image.format()));
    }
}

// A reply the program's decoder would not have sent (the decoder taken over by a crafted
// picture) fails its picture and ends its process; the next picture gets a new one.
TEST_F(ProcessDecoding, AReplyItDidNotAskForFailsThePictureAndEndsTheProcess) {
    ProcessDecoder decoder;
    for (int told = 0; told < test::kLies; ++told) {
        const auto lie = static_cast<test::Lie>(told);
        SCOPED_TRACE(testing::Message() << "lie " << told);
        const pid_t lying = servingProcess(decoder);
        ASSERT_NE(lying, 0);
        const QByteArray content = test::kLyingPicture + QByteArray::number(told);
        DecodeRequest asked = request("lie.jpg", content);
        if (test::isFrameLie(lie)) {
            asked.frameBox = FitBox{test::kLyingFrameBox * 15, test::kLyingFrameBox * 15, 1.0};
            asked.fitInto = asked.frameBox.deviceBox();
        }
        const DecodeResult result = decoder.decode(asked, notCancelled);
        if (lie == test::Lie::None) {
            ASSERT_TRUE(result.ok());
            EXPECT_EQ(result.image.pixel(3, 3), qRgb(255, 0, 0));
            EXPECT_EQ(servingProcess(decoder), lying) << "a true answer keeps its process";
            continue;
        }
        if (lie == test::Lie::TwoAnswers) {
            EXPECT_TRUE(result.ok()) << "the first answer is true";
            EXPECT_EQ(servingProcess(decoder), 0) << "the second is taken for the next picture";
        } else {
            EXPECT_EQ(result.error, LoadError::DecodeFailed);
            EXPECT_TRUE(result.image.isNull());
        }
        const pid_t next = servingProcess(decoder);
        EXPECT_NE(next, 0);
        EXPECT_NE(next, lying);
    }
}

// The viewer's loader reads lent pixels where they lie and copies what it keeps: each picture
// it loaded is as it was once the decoder has filled the same memory with the later ones. The
// rows: whole and smaller than the screen, whole and as large (a frame that is the decode),
// reduced to the screen's size exactly, and reduced and then shrunk.
TEST_F(ProcessDecoding, TheLoaderKeepsNoPixelsTheDecoderFillsAgain) {
    const PictureLoader loader{std::make_shared<ProcessDecoder>()};
    const SizeRequest screen = sizeRequestFor({1024 * 15, 768 * 15, 1.0, false, {}}, 0, 0);
    const struct {
        const char* name;
        QSize size;
        bool kept; // the decode kept beside its frame
    } rows[] = {{"small.jpg", {640, 480}, true},
                {"fits.jpg", {1024, 768}, true},
                {"halved.jpg", {2048, 1536}, false},
                {"shrunk.jpg", {3000, 2000}, false}};
    std::vector<std::pair<PicturePtr, QImage>> loaded; // and its frame as it came
    for (const auto& row : rows) {
        put(row.name, encodedPicture(detailed(row.size), "JPEG"));
        const PicturePtr picture = loader.load(QString::fromUtf8(tree.path(row.name)), screen,
                                               false, nullptr, notCancelled);
        ASSERT_TRUE(picture && picture->ok()) << row.name;
        EXPECT_EQ(picture->image.isNull(), !row.kept) << row.name;
        loaded.emplace_back(picture, picture->frame.copy());
    }
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        const auto& [picture, frame] = loaded[i];
        EXPECT_TRUE(picture->frame == frame) << rows[i].name;
        if (rows[i].kept) {
            EXPECT_TRUE(picture->image == frame) << rows[i].name << ": shown at its own size";
        }
    }
}

// A show that ended gives back the memory its pictures took: the process that decoded them ends
// with all it holds, and a fresh one, started at once, serves the next show.
TEST_F(ProcessDecoding, ReleasedTheServingProcessEndsAndAFreshOneServesTheNextPicture) {
    ProcessDecoder decoder;
    decoder.prepare(QSize(3840, 2160));
    const DecodeRequest photo =
        request("photo.jpg", encodedPicture(detailed({1600, 1200}), "JPEG"), {800, 600});
    const DecodeResult first = decoder.decode(photo, notCancelled);
    ASSERT_TRUE(first.ok());
    const pid_t served = servingProcess(decoder);
    decoder.release();
    EXPECT_TRUE(QTest::qWaitFor([served] { return ::kill(served, 0) != 0; }, 5000))
        << "the process that served still runs";
    const QList<pid_t> waiting = decoderProcesses();
    EXPECT_EQ(waiting.size(), 1) << "a process waits for the next show";
    const DecodeResult next = decoder.decode(photo, notCancelled);
    EXPECT_TRUE(next.image == first.image);
    EXPECT_TRUE(waiting.contains(servingProcess(decoder)));
}

// A decoder process that fails costs one picture, and the next gets a new process. A cancelled
// decode ends at once; its process stops it and serves the next picture, unless it cannot
// stop (it hangs) or its answer is false, and then the next picture gets a new process.
TEST_F(ProcessDecoding, AFailingProcessCostsOnePictureAndTheNextGetsANewOne) {
    struct Failure {
        const char* how;
        QByteArray content;
        bool cancel;  // the program stops waiting
        bool killed;  // ended from outside
        bool ceiling; // needs the memory ceiling, which sanitizer builds do without
        bool kept;    // the process serves the next picture
    };
    // Seconds of decoding: a progressive JPEG cut off and padded to 2 GiB with zeros, which the
    // decoder reads through before its first row.
    QByteArray slow = encodedPicture(detailed({400, 300}), "JPEG", true);
    slow.truncate(slow.size() / 2);
    constexpr qint64 kPadded = qint64(2) << 30;
    const Failure failures[] = {
        {"crash", test::kCrashingPicture, false, false, false, false},
        {"no answer", test::kHangingPicture, false, false, false, false},
        {"killed from outside", test::kHangingPicture, false, true, false, false},
        {"memory ceiling", test::kGreedyPicture, false, false, true, false},
        {"cancelled, and it hangs", test::kHangingPicture, true, false, false, false},
        {"cancelled, and it stops", slow, true, false, false, true},
        {"cancelled, and it answers falsely", test::kFalseWhenStoppedPicture, true, false, false,
         false},
    };
    const QByteArray good = encodedPicture(detailed({64, 48}), "JPEG");
    // Patience long enough to tell a cancel, which ends at once, from a wait that runs out.
    ProcessDecoder decoder(4000ms);
    // Started ahead of the first picture, which it then serves.
    decoder.prepare();
    const QList<pid_t> prepared = decoderProcesses();
    ASSERT_TRUE(decoder.decode(request("first.jpg", good), notCancelled).ok());
    EXPECT_TRUE(prepared.contains(servingProcess(decoder)));
    const auto gone = [](pid_t process) {
        return QTest::qWaitFor([process] { return ::kill(process, 0) != 0; }, 5000);
    };
    for (const Failure& failure : failures) {
        if (failure.ceiling && platform::kSanitizerBuild)
            continue;
        SCOPED_TRACE(failure.how);
        // A process that already served a picture is the one that fails.
        ASSERT_TRUE(decoder.decode(request("before.jpg", good), notCancelled).ok());
        const pid_t failing = servingProcess(decoder);
        const DecodeRequest bad{
            put("bad.jpg", failure.content, failure.content == slow ? kPadded : 0), {}};
        std::atomic<bool> cancelled{false};
        std::thread meddler([&] {
            std::this_thread::sleep_for(50ms);
            if (failure.killed)
                ::kill(failing, SIGKILL);
            cancelled = failure.cancel;
        });
        const auto started = std::chrono::steady_clock::now();
        const DecodeResult failed = decoder.decode(bad, cancelled);
        const auto took = std::chrono::steady_clock::now() - started;
        meddler.join();
        EXPECT_EQ(failed.cancelled, failure.cancel);
        EXPECT_EQ(failed.error, failure.cancel ? LoadError::None : LoadError::DecodeFailed);
        // Generous for a loaded machine running sanitizers, yet well short of the patience.
        EXPECT_LT(took, failure.cancel || failure.killed ? 2000ms : 8s);
        EXPECT_TRUE(failure.cancel || gone(failing)) << "the failed process runs";

        EXPECT_TRUE(decoder.decode(request("next.jpg", good), notCancelled).ok());
        EXPECT_EQ(servingProcess(decoder) == failing, failure.kept);
        EXPECT_TRUE(failure.kept || gone(failing)) << "the failed process runs";
    }

    // A process that ends while it waits for a picture (killed from outside) costs none: the
    // next picture gets a new process.
    const pid_t idle = servingProcess(decoder);
    ::kill(idle, SIGKILL);
    ASSERT_TRUE(gone(idle));
    EXPECT_TRUE(decoder.decode(request("after-idle.jpg", good), notCancelled).ok());
}

} // namespace
} // namespace orlix
