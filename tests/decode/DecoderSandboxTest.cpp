#include "decode/process/DecoderProtocol.h"
#include "decode/process/DecoderService.h"
#include "decode/process/PixelGiver.h"
#include "decode/process/PixelLender.h"
#include "decode/process/PixelReceiver.h"
#include "platform/sandbox/DecoderProcess.h"
#include "platform/sandbox/SanitizerBuild.h"
#include "support/DecoderProbe.h"
#include "support/LoopbackListener.h"
#include "support/MisbehavingPictures.h"
#include "support/SharedResidentMemory.h"
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

// Every refusal is the filter's own (EPERM): Landlock, which refuses files with EACCES, must not
// be what stops them. The table runs once more with the forking process started without
// Landlock (ORLIX_TEST_LANDLOCK_CAP=0, a test of its own in CTest), where Landlock refuses
// nothing, signals included.
TEST(DecoderSandbox, RefusesWhatDecodingNeverNeedsAndAllowsWhatItDoes) {
    TempTree tree;
    tree.write("picture.jpg", "not really a picture");
    const LoopbackListener listener;
    ASSERT_NE(listener.port, 0);
    const UniqueFd picture(::open(tree.path("picture.jpg").constData(), O_RDONLY | O_CLOEXEC));
    const std::int64_t largest = decoderProgram().largestSharedMemory;
    ASSERT_GT(largest, 0);
    struct Case {
        const char* what;
        ProbeRequest request;
        int error;                    // 0: allowed
        bool onlyWithCeiling = false; // sanitizer builds have no address-space ceiling
    };
    // Sanitizer builds let decoders write, for their reports: there the stand-in is closed.
    const int writeError = platform::kSanitizerBuild ? EBADF : EPERM;
    const Case cases[] = {
        {"open a file", request(ProbeAction::OpenFile, 0, tree.path("picture.jpg")), EPERM},
        {"create a file", request(ProbeAction::CreateFile, 0, tree.path("made")), EPERM},
        {"connect over TCP", request(ProbeAction::ConnectTcp, listener.port), EPERM},
        {"make a socket", request(ProbeAction::NewLocalSocket), EPERM},
        {"write to the display", request(ProbeAction::WriteDescriptor, kDisplayStandIn),
         writeError},
        {"start a process", request(ProbeAction::Fork), EPERM},
        {"start a program", request(ProbeAction::Exec, 0, "/bin/true"), EPERM},
        {"signal the program", request(ProbeAction::Signal, ::getpid()), EPERM},
        {"renice the program", request(ProbeAction::Renice, ::getpid()), EPERM},
        {"raise its priority (no capability, also as root)", request(ProbeAction::RaisePriority),
         EACCES},
        {"size shared memory beyond the largest picture",
         request(ProbeAction::SizeMemory, largest + 1), EPERM},
        {"allocate shared memory", request(ProbeAction::FillMemory, 4096), EPERM},
        {"hold many memfds", request(ProbeAction::HoldMemories, 64), EMFILE},
        {"reserve beyond its ceiling", request(ProbeAction::Reserve, kBeyondCeiling), ENOMEM, true},
        {"start a thread", request(ProbeAction::StartThread), 0},
        {"read the picture handed over", request(ProbeAction::ReadPicture), 0},
        {"reserve within its ceiling", request(ProbeAction::Reserve, std::int64_t(512) << 20), 0},
        {"size shared memory for the largest picture", request(ProbeAction::SizeMemory, largest),
         0},
        {"hold the memfds a decode needs", request(ProbeAction::HoldMemories, 4), 0},
        {"renice itself", request(ProbeAction::Renice, 0), 0},
        {"find the session's environment", request(ProbeAction::ReadEnvironment), 0},
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
        EXPECT_EQ(*error, tried.error) << tried.what << ": " << std::strerror(*error);
    }
    EXPECT_FALSE(QFile::exists(QString::fromLocal8Bit(tree.path("made"))));
    EXPECT_FALSE(listener.connectionWaiting());
    char byte = 0;
    EXPECT_EQ(::read(displayStandInReader, &byte, 1), -1) << "something reached the display";
    // Seen from outside: no capability in any set, and two filters (the forking process's own,
    // and the decoder's beneath it).
    const auto id = probe(*process, request(ProbeAction::Identify));
    ASSERT_TRUE(id);
    QFile status(QStringLiteral("/proc/%1/status").arg(*id));
    ASSERT_TRUE(status.open(QIODevice::ReadOnly));
    const QByteArray fields = status.readAll();
    for (const char* set : {"CapInh", "CapPrm", "CapEff", "CapAmb"})
        EXPECT_TRUE(fields.contains(QByteArray(set) + ":\t0000000000000000")) << set;
    if (::getuid() == 0) { // a user's bounding set stays full: only root may empty it
        EXPECT_TRUE(fields.contains("CapBnd:\t0000000000000000")) << fields.toStdString();
    }
    EXPECT_TRUE(fields.contains("Seccomp_filters:\t2")) << fields.toStdString();
    // The first process the kernel ends when memory runs out.
    QFile score(QStringLiteral("/proc/%1/oom_score_adj").arg(*id));
    ASSERT_TRUE(score.open(QIODevice::ReadOnly));
    EXPECT_EQ(score.readAll().trimmed(), "1000");
}

// Shown from shared memory, pixels must be sealed for good and fill it exactly; copied out at
// once, sealed against shrinking and growing and no larger than anything lent. Anything else,
// or memory smaller than its layout, is refused.
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
        {"larger than its layout", layout.bytes() + 4096, kAll, layout, false, false},
        {"lent, larger than anything lent", kLentBytesLimit + 4096, kLent, layout, false, false},
    };
    PixelReceiver lent; // one for all: a mapping it keeps never serves other memory
    for (const Case& tried : cases) {
        UniqueFd memory = sealedMemory(tried.bytes, tried.seals);
        ASSERT_TRUE(memory) << tried.what;
        const QImage copied = lent.copyLent(memory.get(), tried.layout);
        EXPECT_EQ(!copied.isNull(), tried.copied) << tried.what;
        const QImage image = PixelReceiver::mapGiven(std::move(memory), tried.layout);
        EXPECT_EQ(!image.isNull(), tried.shown) << tried.what;
    }

    // Only the pixels' pages are read in: a 4 x 4 picture lent from the largest memory ever
    // lent, none of it written, costs this process a page, not the whole memory.
    const UniqueFd sparse = sealedMemory(kLentBytesLimit, kLentSeals);
    ASSERT_TRUE(sparse);
    const PixelLayout small{4, 4, 16, QImage::Format_RGB32};
    const std::int64_t before = test::sharedResidentKb();
    ASSERT_GE(before, 0);
    EXPECT_FALSE(lent.copyLent(sparse.get(), small).isNull());
    EXPECT_LT(test::sharedResidentKb() - before, 1024);
}

// A decoder process fills one arena again and again, and decodes large pictures straight into
// memory it then gives away sealed: the program always gets the pixels of the picture asked.
TEST(DecoderSandbox, ArenasAreReusedAndGivenMemoryIsSealed) {
    const auto inode = [](int memory) {
        struct stat info {};
        return ::fstat(memory, &info) == 0 ? info.st_ino : 0;
    };
    PixelLender arena;
    PixelLayout layout;
    PixelReceiver lent;
    const int first = arena.lend(filledImage({100, 100}, qRgb(1, 2, 3)), layout);
    ASSERT_GE(first, 0);
    const ino_t firstInode = inode(first);
    const QImage firstCopy = lent.copyLent(first, layout);
    const int second = arena.lend(filledImage({90, 80}, qRgb(4, 5, 6)), layout);
    EXPECT_EQ(inode(second), firstInode) << "a smaller picture gets the same memory";
    EXPECT_EQ(lent.copyLent(second, layout), filledImage({90, 80}, qRgb(4, 5, 6)));
    EXPECT_EQ(firstCopy, filledImage({100, 100}, qRgb(1, 2, 3))) << "a copy stays what it was";
    const int larger = arena.lend(filledImage({2000, 1000}, qRgb(7, 8, 9)), layout);
    EXPECT_NE(inode(larger), firstInode) << "a larger picture gets larger memory";
    EXPECT_EQ(lent.copyLent(larger, layout), filledImage({2000, 1000}, qRgb(7, 8, 9)));

    PixelGiver shared;
    QImage made = shared.make({300, 200}, QImage::Format_RGB32, PixelGiver::Use::Whole);
    ASSERT_FALSE(made.isNull());
    made.fill(qRgb(10, 20, 30));
    QImage copy = made;
    EXPECT_FALSE(shared.give(made, layout)) << "not while another copy holds the pixels";
    copy = QImage();
    QImage foreign = filledImage({300, 200}, qRgb(10, 20, 30));
    EXPECT_FALSE(shared.give(foreign, layout)) << "not an image it made";
    UniqueFd given = shared.give(made, layout);
    ASSERT_TRUE(given);
    EXPECT_TRUE(made.isNull());
    EXPECT_EQ(::fcntl(given.get(), F_GET_SEALS), kGivenSeals);
    EXPECT_EQ(PixelReceiver::mapGiven(std::move(given), layout), foreign);

    // Memory is faulted in ahead for the first fitted picture only: a whole picture, decoded
    // only when the user asks for one, neither takes its place nor has a spare of its own.
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
    madeBytes({250, 180}, Use::Fitted);
    EXPECT_EQ(sized.spareLength(), 0u) << "none held beside the frames of a running show";
    madeBytes({400, 300}, Use::Whole);
    EXPECT_EQ(sized.spareLength(), 0u);
}

} // namespace
} // namespace orlix::test
