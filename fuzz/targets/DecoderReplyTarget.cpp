// A decoder process's reply as a taken-over decoder could send it: any bytes, with no
// descriptor, memory of any size and seals, that memory twice, or something that is no memory,
// checked as the answer to a decode request and taken as the program takes it. Whatever is
// taken is a picture the program's decoder could have made for the request, in memory that
// holds it, and costs the program no more memory than its pixels.
// Input: the request's fit box (two bytes each, little-endian; 0 x 0 is "the whole picture"),
// its frame box in logical pixels (two bytes each; 0 x 0: none), flags (bit 0: the request was
// told to stop; bits 1-2: what travels with the reply, Carried; bits 3-4: the screen's pixel
// ratio, kDevicePixelRatios), the memory's seals (F_SEAL_* bits), its size (four bytes,
// little-endian, at most kLargestMemory), then the reply's bytes.

#include "decode/codec/JpegReader.h"
#include "decode/process/ReplyCheck.h"
#include "support/Check.h"
#include "support/FrameBoxInput.h"
#include "support/FuzzInput.h"
#include "support/SharedResidentMemory.h"

#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace orlix;

namespace {

enum class Carried { Nothing, Memory, MemoryTwice, NotMemory };

// Large enough for a picture given rather than lent (over kLentBytesLimit), small enough that
// every run stays quick.
constexpr std::uint32_t kLargestMemory = 48u << 20;
constexpr std::uint32_t kSequence = 7;
constexpr int kUnmapPatienceMs = 5000;

std::vector<platform::UniqueFd> descriptors(Carried carried, int seals, std::uint32_t size) {
    std::vector<platform::UniqueFd> carriedFds;
    if (carried == Carried::NotMemory) {
        int ends[2] = {-1, -1};
        if (::pipe2(ends, O_CLOEXEC) == 0) {
            carriedFds.emplace_back(ends[0]);
            ::close(ends[1]);
        }
        return carriedFds;
    }
    if (carried == Carried::Nothing)
        return carriedFds;
    platform::UniqueFd memory(::memfd_create("reply", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!memory || ::ftruncate(memory.get(), size) != 0)
        return carriedFds;
    ::fcntl(memory.get(), F_ADD_SEALS, seals);
    if (carried == Carried::MemoryTwice)
        carriedFds.emplace_back(::fcntl(memory.get(), F_DUPFD_CLOEXEC, 0));
    carriedFds.push_back(std::move(memory));
    return carriedFds;
}

// The properties of a picture taken from a reply to `request`, in memory `lent` or given,
// which made this process's resident shared memory grow by `residentGrowthKb`.
void checkPicture(const DecodeResult& result, const DecodeRequestMessage& request, bool lent,
                  std::int64_t residentGrowthKb) {
    const QImage& image = result.image;
    FUZZ_CHECK(StandardPictureDecoder::withinPixelLimit(result.pixelSize));
    const QSize fitInto(request.fitWidth, request.fitHeight);
    FUZZ_CHECK(result.eighths == JpegReader::kWhole ||
               result.eighths == StandardPictureDecoder::jpegEighthsFor(result.pixelSize, fitInto));
    const FitBox frameBox{request.frameScaleWidth, request.frameViewHeight,
                          request.frameDevicePixelRatio};
    const QSize frame = StandardPictureDecoder::frameFor(result.pixelSize, frameBox);
    FUZZ_CHECK(result.framed == !frame.isEmpty());
    if (result.framed) {
        FUZZ_CHECK(image.size() == frame && image.format() == kFrameFormat && !lent);
    } else {
        FUZZ_CHECK(image.size() == JpegReader::scaledSize(result.pixelSize, result.eighths));
        const QSize needed = StandardPictureDecoder::neededFor(result.pixelSize, fitInto);
        FUZZ_CHECK(image.width() >= needed.width() && image.height() >= needed.height());
        FUZZ_CHECK(isHandedOverFormat(image.format()));
    }
    FUZZ_CHECK(image.colorCount() == 0);
    // The memory taken in is the pixels' pages, whatever size the memory has.
    const std::int64_t page = ::sysconf(_SC_PAGESIZE);
    const std::int64_t pixelPages = (image.sizeInBytes() + page - 1) / page * page;
    FUZZ_CHECK(residentGrowthKb <= pixelPages / 1024);
    // The image is whole to read, and to scale smoothly, which is what an indexed picture
    // without its colour table crashed.
    volatile uchar last = image.constScanLine(image.height() - 1)[image.bytesPerLine() - 1];
    (void)last;
    FUZZ_CHECK(image.scaled(2, 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).size() ==
               QSize(2, 2));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    DecodeRequestMessage request;
    request.head.sequence = kSequence;
    request.fitWidth = input.word();
    request.fitHeight = input.word();
    const std::uint16_t frameWidth = input.word();
    const std::uint16_t frameHeight = input.word();
    const std::uint8_t flags = input.byte();
    const bool stopAsked = flags & 1;
    const auto carried = static_cast<Carried>((flags >> 1) & 3);
    const FitBox frameBox = fuzz::frameBoxInput(frameWidth, frameHeight, flags >> 3);
    request.frameScaleWidth = frameBox.scaleWidth;
    request.frameViewHeight = frameBox.viewHeight;
    request.frameDevicePixelRatio = frameBox.devicePixelRatio;
    const int seals = input.byte() & (F_SEAL_SEAL | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE);
    const std::uint32_t memorySize = input.word() | (std::uint32_t(input.word()) << 16);
    if (memorySize > kLargestMemory)
        return -1; // not worth keeping in the corpus
    const QByteArray reply = input.rest();

    std::vector<platform::UniqueFd> fds = descriptors(carried, seals, memorySize);
    std::optional<CheckedReply> checked =
        checkReply(request, stopAsked, reply.constData(), std::size_t(reply.size()), fds);
    if (!checked)
        return 0;
    const DecodeReplyMessage message = checked->message;
    // One for all runs, as the program keeps one: its mapping of lent memory outlives a reply.
    static PixelReceiver receiver;
    const std::int64_t residentBefore = test::sharedResidentKb();
    {
        const DecodeResult result = resultOf(std::move(*checked), receiver);
        FUZZ_CHECK(message.head.sequence == kSequence);
        if (message.kind == ReplyKind::Stopped) {
            FUZZ_CHECK(stopAsked && result.cancelled && result.image.isNull());
            return 0;
        }
        FUZZ_CHECK(!result.cancelled);
        if (!result.ok()) {
            FUZZ_CHECK(result.error != LoadError::None && result.image.isNull());
            return 0;
        }
        FUZZ_CHECK(message.kind == ReplyKind::Picture && carried == Carried::Memory);
        checkPicture(result, request, message.picture.lent != 0,
                     test::sharedResidentKb() - residentBefore);
    }
    // Given pixels are unmapped on a thread that runs only when the cores have nothing else to
    // do (BackgroundUnmapper), which the fuzzers never leave them: waiting for it keeps given
    // pictures from piling up until the fuzzer runs out of memory.
    for (int waited = 0; message.picture.lent == 0 && waited < kUnmapPatienceMs &&
                         test::sharedResidentKb() > residentBefore;
         ++waited)
        ::usleep(1000);
    return 0;
}
