#include "decode/process/DecoderService.h"

#include "decode/codec/PictureDecoder.h"
#include "decode/process/DecoderProtocol.h"
#include "decode/process/PixelGiver.h"
#include "decode/process/PixelLender.h"
#include "platform/ipc/SharedFlag.h"
#include "platform/sandbox/CurrentThread.h"
#include "platform/sandbox/MemoryReuse.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

#include <cstring>

namespace orlix {

namespace {

using platform::MessageChannel;
using platform::UniqueFd;

// Room for the largest picture decoded three times over (decoded, turned upright, shared),
// and for the decoder's own tables, threads and heap.
constexpr std::int64_t kMemoryAllowance =
    3 * StandardPictureDecoder::kMaxPixels * 4 + (std::int64_t(1) << 30);

// The largest picture decoded, at four bytes a pixel: the largest shared memory a decoder makes.
constexpr std::int64_t kLargestSharedMemory = StandardPictureDecoder::kMaxPixels * 4;
// Room above the slots for what a decoder holds at once: its spare and lent memory, the
// picture it gives, the cancel flag and the descriptors of a request on their way to the slots.
constexpr int kDescriptorLimit = 16;
static_assert(kPictureSlot < kDescriptorLimit && kProfileSlot < kDescriptorLimit);

// A one-pixel GIF: Qt has no GIF writer to make one.
constexpr unsigned char kTinyGif[] = {'G',  'I',  'F',  '8',  '9',  'a',  0x01, 0x00, 0x01,
                                      0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff,
                                      0xff, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01,
                                      0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};

// Decodes `bytes` as `format`, which loads that reader's plugin for good.
void readOnce(QByteArray bytes, const char* format) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    reader.read();
}

QByteArray written(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return bytes;
}

// Whether pixels of `bytes` decoded for `use` are lent. Everything a show of fitted pictures
// asks for is given, frames and pictures that fit alike: the program keeps them as they come,
// and no lent memory stays in the decoder beside the frames on screen.
bool lent(PixelGiver::Use use, std::int64_t bytes) {
    return use == PixelGiver::Use::Whole && bytes <= kLentBytesLimit;
}

// `image` in a format pixels are handed over in: Qt's readers give bitmaps and GIFs indexed,
// or at other depths.
QImage handedOver(QImage image) {
    if (isHandedOverFormat(image.format()))
        return image;
    const QImage::Format format =
        image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    return std::move(image).convertToFormat(format);
}

// The memory to hold ready for the first picture fitted into a screen of `screen` device
// pixels: its frame, at most the screen's rows at three bytes a pixel, cut down to the frame
// when it comes (SpareMemory::take).
std::size_t firstSpareFor(QSize screen) {
    constexpr int kLongestSide = 1 << 15;
    if (screen.isEmpty() || screen.width() > kLongestSide || screen.height() > kLongestSide)
        return 0;
    // QImage starts every row of a 24-bit frame on a 32-bit boundary.
    const std::int64_t rowBytes = (std::int64_t(screen.width()) * 3 + 3) / 4 * 4;
    return static_cast<std::size_t>(rowBytes * screen.height());
}

} // namespace

void prepareDecoding() {
    // A picture's own memory is the lent memory, reused from one to the next (kLentBytesLimit).
    platform::keepSmallBlocksForReuse();
    // Decoder processes, forked from here, inherit it: they give way to the program's windows,
    // and both bands of a decode run at one priority.
    platform::lowerCurrentThreadPriority();
    const StandardPictureDecoder settings; // sets Qt's allocation ceiling for the readers
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.fill(Qt::white);
    readOnce(written(pixel, "jpeg"), "jpeg");
    readOnce(written(pixel, "bmp"), "bmp");
    readOnce(QByteArray(reinterpret_cast<const char*>(kTinyGif), sizeof kTinyGif), "gif");
}

platform::DecoderProgram decoderProgram() {
    platform::DecoderProgram program;
    program.prepare = prepareDecoding;
    program.serve = [](MessageChannel& channel) { serveDecodeRequests(channel); };
    program.memoryAllowance = kMemoryAllowance;
    program.largestSharedMemory = kLargestSharedMemory;
    program.descriptorLimit = kDescriptorLimit;
    program.readSlot = kPictureSlot;
    program.mapSlot = kProfileSlot;
    return program;
}

void serveDecodeRequests(MessageChannel& channel) {
    DecoderService service(channel);
    DecoderService::Message message;
    while (service.receive(message) && service.answer(message)) {
    }
}

DecoderService::DecoderService(MessageChannel& channel)
    : channel_(channel), decoder_([this](QSize size, QImage::Format format) {
          return lent(use_, std::int64_t(size.width()) * size.height() * 4)
                     ? lender_.make(size, format)
                     : giver_.make(size, format, use_);
      }) {
    // Nothing is faulted in ahead: a process waits, holding no memory, until a show begins
    // (ScreenSizeMessage) or a picture is asked for.
}

bool DecoderService::receive(Message& message) {
    giver_.prepareSpare(); // while the program shows the last picture
    const MessageChannel::Status status = channel_.receive(
        message.bytes.data(), message.bytes.size(), message.size, message.descriptors);
    giver_.stopPreparing();
    return status == MessageChannel::Status::Received;
}

bool DecoderService::answer(Message& message) {
    MessageHead head{};
    if (message.size < sizeof head)
        return false;
    std::memcpy(&head, message.bytes.data(), sizeof head);
    if (head.tag == MessageTag::ScreenSize)
        return takeScreen(message);
    if (head.tag == MessageTag::DecodeRequest)
        return answerDecode(message);
    return false;
}

bool DecoderService::takeScreen(const Message& message) {
    ScreenSizeMessage screen;
    if (message.size != sizeof screen || !message.descriptors.empty())
        return false;
    std::memcpy(&screen, message.bytes.data(), sizeof screen);
    giver_.expectFirst(firstSpareFor(QSize(screen.width, screen.height)));
    return true;
}

bool DecoderService::answerDecode(Message& message) {
    std::vector<UniqueFd>& descriptors = message.descriptors;
    DecodeRequestMessage asked;
    if (message.size != sizeof asked)
        return false;
    std::memcpy(&asked, message.bytes.data(), sizeof asked);
    // The picture, the flag that stops its decode, and the display's profile when it has one.
    const std::size_t expected = asked.displayProfileBytes > 0 ? 3 : 2;
    if (descriptors.size() != expected)
        return false;
    UniqueFd picture = platform::placeReceivedDescriptor(std::move(descriptors[0]), kPictureSlot);
    const std::unique_ptr<platform::SharedFlag> stop =
        platform::SharedFlag::open(std::move(descriptors[1]));
    if (!picture || !stop)
        return false;
    DecodeRequest request;
    if (expected == 3) {
        const UniqueFd profile =
            platform::placeReceivedDescriptor(std::move(descriptors[2]), kProfileSlot);
        request.displayProfile = platform::sharedBytes(profile.get(), asked.displayProfileBytes);
        if (request.displayProfile.isNull())
            return false;
    }
    request.file = platform::PictureFile::adopt(picture.release(), asked.identity);
    request.fitInto = QSize(asked.fitWidth, asked.fitHeight);
    request.hurried = asked.hurried != 0;
    request.frameBox =
        FitBox{asked.frameScaleWidth, asked.frameViewHeight, asked.frameDevicePixelRatio};
    use_ = request.fitInto.isEmpty() ? PixelGiver::Use::Whole : PixelGiver::Use::Fitted;
    reply(asked.head.sequence, decoder_.decode(request, stop->flag()));
    return true;
}

void DecoderService::reply(std::uint32_t sequence, DecodeResult result) {
    DecodeReplyMessage message;
    message.head.sequence = sequence;
    if (result.cancelled) {
        message.kind = ReplyKind::Stopped;
        channel_.send(&message, sizeof message);
        return;
    }
    if (result.error != LoadError::None || result.image.isNull()) {
        message.error = static_cast<std::int32_t>(
            result.error != LoadError::None ? result.error : LoadError::DecodeFailed);
        channel_.send(&message, sizeof message);
        return;
    }
    QImage image = result.framed ? std::move(result.image) : handedOver(std::move(result.image));
    ReplyPicture& picture = message.picture;
    picture.framed = result.framed ? 1 : 0;
    picture.lent = lent(use_, image.sizeInBytes()) ? 1 : 0;
    UniqueFd given;
    int pixels = -1;
    if (picture.lent) {
        pixels = lender_.lend(image, picture.layout);
    } else {
        given = giver_.give(image, picture.layout);
        if (!given) // decoded elsewhere (turned upright, or not into the giver's memory): copied
            given = PixelGiver::giveCopy(image, picture.layout);
        pixels = given.get();
    }
    if (pixels < 0) { // no memory for them
        message.picture = ReplyPicture();
        message.error = static_cast<std::int32_t>(LoadError::DecodeFailed);
        channel_.send(&message, sizeof message);
        return;
    }
    message.kind = ReplyKind::Picture;
    picture.pixelWidth = result.pixelSize.width();
    picture.pixelHeight = result.pixelSize.height();
    picture.eighths = result.eighths;
    channel_.send(&message, sizeof message, {pixels});
}

} // namespace orlix
