#include "decode/process/DecoderProtocol.h"
#include "decode/process/PixelGiver.h"
#include "decode/process/PixelLender.h"
#include "decode/process/PixelReceiver.h"
#include "platform/sandbox/DecoderProcess.h"
#include "platform/sandbox/SanitizerBuild.h"
#include "support/DecoderProbe.h"
#include "support/LoopbackListener.h"
#include "support/MisbehavingPictures.h"
#include "support/TempTree.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orlix::test {
namespace {

using platform::DecoderProcess;
using platform::UniqueFd;

ProbeRequest request(ProbeAction action, std::int64_t number = 0, const QByteArray& path = {}) {
    ProbeRequest made;
    made.action = action;
    made.number = number;
    std::strncpy(made.path, path.constData(), sizeof made.path - 1);
    return made;
}

TEST(DecoderSandbox, RefusesWhatDecodingNeverNeedsAndAllowsWhatItDoes) {
    TempTree tree;
    tree.write("picture.jpg", "not really a picture");
    const LoopbackListener listener;
    ASSERT_NE(listener.port, 0);
    const UniqueFd picture(::open(tree.path("picture.jpg").constData(), O_RDONLY | O_CLOEXEC));
    struct Case {
        const char* what;
        ProbeRequest request;
        bool allowed;
        bool onlyWithCeiling = false; // sanitizer builds have no address-space ceiling
    };
    const Case cases[] = {
        {"open a file", request(ProbeAction::OpenFile, 0, tree.path("picture.jpg")), false},
        {"create a file", request(ProbeAction::CreateFile, 0, tree.path("made")), false},
        {"connect over TCP", request(ProbeAction::ConnectTcp, listener.port), false},
        {"make a socket", request(ProbeAction::NewLocalSocket), false},
        {"write to the display", request(ProbeAction::WriteDescriptor, kDisplayStandIn), false},
        {"start a process", request(ProbeAction::Fork), false},
        {"start a program", request(ProbeAction::Exec, 0, "/bin/true"), false},
        {"signal the program", request(ProbeAction::Signal, ::getpid()), false},
        {"reserve beyond its ceiling", request(ProbeAction::Reserve, kBeyondCeiling), false, true},
        {"start a thread", request(ProbeAction::StartThread), true},
        {"read the picture handed over", request(ProbeAction::ReadPicture), true},
        {"reserve within its ceiling", request(ProbeAction::Reserve, std::int64_t(512) << 20),
         true},
    };
    const auto process = DecoderProcess::start();
    ASSERT_TRUE(process);
    for (const Case& tried : cases) {
        if (tried.onlyWithCeiling && platform::kSanitizerBuild)
            continue;
        const bool handsPicture = tried.request.action == ProbeAction::ReadPicture;
        const auto error = probe(*process, tried.request, handsPicture ? picture.get() : -1);
        // Refused, not ended: the same process answers every case.
        ASSERT_TRUE(error) << tried.what << ": no answer";
        EXPECT_EQ(*error == 0, tried.allowed) << tried.what << ": " << std::strerror(*error);
    }
    EXPECT_FALSE(QFile::exists(QString::fromLocal8Bit(tree.path("made"))));
    EXPECT_FALSE(listener.connectionWaiting());
    char byte = 0;
    EXPECT_EQ(::read(displayStandInReader, &byte, 1), -1) << "something reached the display";
}

// Shown from shared memory, pixels must be sealed for good; copied out at once, sealed against
// shrinking and growing. Anything else, or memory smaller than its layout, is refused.
TEST(DecoderSandbox, HandedOverPixelsAreRefusedUnlessSealedAndLargeEnough) {
    const PixelLayout layout{64, 64, 256, QImage::Format_ARGB32};
    struct Case {
        const char* what;
        std::int64_t bytes;
        int seals;
        PixelLayout layout;
        bool shown;
        bool copied;
    };
    constexpr int kAll = kGivenSeals;
    constexpr int kLent = kLentSeals;
    PixelLayout narrowRows = layout;
    narrowRows.bytesPerLine = 200;
    PixelLayout noFormat = layout;
    noFormat.format = QImage::Format_Invalid;
    const Case cases[] = {
        {"sealed, the right size", layout.bytes(), kAll, layout, true, false},
        {"lent, the right size", layout.bytes(), kLent, layout, false, true},
        {"not sealed", layout.bytes(), 0, layout, false, false},
        {"may shrink", layout.bytes(), kAll & ~F_SEAL_SHRINK, layout, false, false},
        {"lent, may shrink", layout.bytes(), kLent & ~F_SEAL_SHRINK, layout, false, false},
        {"may be written", layout.bytes(), kAll & ~F_SEAL_WRITE, layout, false, true},
        {"smaller than its layout", layout.bytes() - 1, kAll, layout, false, false},
        {"lent, smaller than its layout", layout.bytes() - 1, kLent, layout, false, false},
        {"rows shorter than the width", layout.bytes(), kAll, narrowRows, false, false},
        {"lent, no pixel format", layout.bytes(), kLent, noFormat, false, false},
    };
    PixelReceiver lent; // one for all: a mapping it keeps never serves other memory
    for (const Case& tried : cases) {
        UniqueFd memory(::memfd_create("test", MFD_CLOEXEC | MFD_ALLOW_SEALING));
        ASSERT_EQ(::ftruncate(memory.get(), tried.bytes), 0);
        if (tried.seals != 0) {
            ASSERT_EQ(::fcntl(memory.get(), F_ADD_SEALS, tried.seals), 0) << tried.what;
        }
        const QImage copied = lent.copyLent(memory.get(), tried.layout);
        EXPECT_EQ(!copied.isNull(), tried.copied) << tried.what;
        const QImage image = PixelReceiver::mapGiven(std::move(memory), tried.layout);
        EXPECT_EQ(!image.isNull(), tried.shown) << tried.what;
    }
}

// A decoder process fills one arena again and again, and decodes large pictures straight into
// memory it then gives away sealed: the program always gets the pixels of the picture asked.
TEST(DecoderSandbox, ArenasAreReusedAndGivenMemoryIsSealed) {
    const auto filled = [](QSize size, QRgb colour) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        return image;
    };
    const auto inode = [](int memory) {
        struct stat info {};
        return ::fstat(memory, &info) == 0 ? info.st_ino : 0;
    };
    PixelLender arena;
    PixelLayout layout;
    PixelReceiver lent;
    const int first = arena.lend(filled({100, 100}, qRgb(1, 2, 3)), layout);
    ASSERT_GE(first, 0);
    const ino_t firstInode = inode(first);
    const QImage firstCopy = lent.copyLent(first, layout);
    const int second = arena.lend(filled({90, 80}, qRgb(4, 5, 6)), layout);
    EXPECT_EQ(inode(second), firstInode) << "a smaller picture gets the same memory";
    EXPECT_EQ(lent.copyLent(second, layout), filled({90, 80}, qRgb(4, 5, 6)));
    EXPECT_EQ(firstCopy, filled({100, 100}, qRgb(1, 2, 3))) << "a copy stays what it was";
    const int larger = arena.lend(filled({2000, 1000}, qRgb(7, 8, 9)), layout);
    EXPECT_NE(inode(larger), firstInode) << "a larger picture gets larger memory";
    EXPECT_EQ(lent.copyLent(larger, layout), filled({2000, 1000}, qRgb(7, 8, 9)));

    PixelGiver shared;
    QImage made = shared.make({300, 200}, QImage::Format_RGB32, PixelGiver::Use::Whole);
    ASSERT_FALSE(made.isNull());
    made.fill(qRgb(10, 20, 30));
    QImage copy = made;
    EXPECT_FALSE(shared.give(made, layout)) << "not while another copy holds the pixels";
    copy = QImage();
    QImage foreign = filled({300, 200}, qRgb(10, 20, 30));
    EXPECT_FALSE(shared.give(foreign, layout)) << "not an image it made";
    UniqueFd given = shared.give(made, layout);
    ASSERT_TRUE(given);
    EXPECT_TRUE(made.isNull());
    EXPECT_EQ(::fcntl(given.get(), F_GET_SEALS), kGivenSeals);
    EXPECT_EQ(PixelReceiver::mapGiven(std::move(given), layout), foreign);

    // The memory faulted in ahead is for the next step: a whole picture, decoded only when the
    // user asks for one, neither takes its place nor has a spare of its own held for it.
    using Use = PixelGiver::Use;
    PixelGiver sized;
    constexpr std::size_t kScreenGuess = std::size_t(50) << 20;
    sized.expectFirst(kScreenGuess);
    EXPECT_EQ(sized.spareLength(), kScreenGuess) << "the screen's guess until a picture is made";
    const auto madeBytes = [&sized](QSize size, Use use) {
        return std::size_t(sized.make(size, QImage::Format_RGB32, use).sizeInBytes());
    };
    madeBytes({400, 300}, Use::Whole);
    EXPECT_EQ(sized.spareLength(), kScreenGuess);
    const std::size_t fitted = madeBytes({250, 180}, Use::Fitted);
    EXPECT_EQ(sized.spareLength(), fitted);
    madeBytes({400, 300}, Use::Whole);
    EXPECT_EQ(sized.spareLength(), fitted);
}

} // namespace
} // namespace orlix::test
