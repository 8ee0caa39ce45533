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

// Pictures up to this size are lent from the decoder's reused memory and copied by the program
// into memory it keeps for reuse too: the program's heap holds blocks up to 32 MiB
// (platform::keepFreedMemoryForReuse), which covers a photo fitted into a 4K screen. Larger
// ones are given in new memory and shown from it without a copy.
constexpr std::int64_t kLentBytesLimit = std::int64_t(32) << 20;

// Where this process puts its pictures' pixels: decoded into the memory they are lent from when
// small enough, straight into memory given to the program otherwise.
struct PixelMemory {
    PixelLender lender;
    PixelGiver giver;
    PixelGiver::Use use = PixelGiver::Use::Fitted; // the request's
};

bool lendable(std::int64_t bytes) {
    return bytes <= kLentBytesLimit;
}

void reply(MessageChannel& channel, PixelMemory& memory, DecodeResult result) {
    DecodeReplyMessage message;
    message.error = static_cast<std::int32_t>(result.error);
    message.pixelWidth = result.pixelSize.width();
    message.pixelHeight = result.pixelSize.height();
    message.eighths = result.eighths;
    const QVector<QRgb> colours = result.image.colorTable();
    if (colours.size() > DecodeReplyMessage::kMaxColours) {
        message.error = static_cast<std::int32_t>(LoadError::InvalidPicture);
        channel.send(&message, sizeof message);
        return;
    }
    message.colourCount = static_cast<std::int32_t>(colours.size());
    std::copy(colours.begin(), colours.end(), message.colours);
    UniqueFd given;
    int pixels = -1;
    if (!result.image.isNull()) {
        message.lent = lendable(result.image.sizeInBytes());
        if (message.lent) {
            pixels = memory.lender.lend(result.image, message.layout);
        } else {
            given = memory.giver.give(result.image, message.layout);
            if (!given) // decoded elsewhere (turned upright, or not a JPEG): copied
                given = PixelGiver::giveCopy(result.image, message.layout);
            pixels = given.get();
        }
        if (pixels < 0)
            message.error = static_cast<std::int32_t>(LoadError::DecodeFailed); // no memory
    }
    if (pixels >= 0)
        channel.send(&message, sizeof message, {pixels});
    else
        channel.send(&message, sizeof message);
}

// Answers one decode request; false when the message is none.
bool answer(MessageChannel& channel, const PictureDecoder& decoder, PixelMemory& memory,
            const void* data, std::size_t size, std::vector<UniqueFd>& descriptors) {
    DecodeRequestMessage message;
    if (size != sizeof message)
        return false;
    std::memcpy(&message, data, sizeof message);
    // The picture, the flag that stops its decode, and the display's profile when it has one.
    const std::size_t expected = message.displayProfileBytes > 0 ? 3 : 2;
    if (message.tag != MessageTag::DecodeRequest || descriptors.size() != expected)
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
        request.displayProfile = platform::sharedBytes(profile.get(), message.displayProfileBytes);
        if (request.displayProfile.isNull())
            return false;
    }
    request.file = platform::PictureFile::adopt(picture.release(), message.identity);
    request.fitInto = QSize(message.fitWidth, message.fitHeight);
    memory.use = request.fitInto.isEmpty() ? PixelGiver::Use::Whole : PixelGiver::Use::Fitted;
    reply(channel, memory, decoder.decode(request, stop->flag()));
    return true;
}

// The memory to hold ready for the first picture fitted into a screen of `screen` device
// pixels, when it is more than is lent. A photo is decoded at the smallest scale that
// covers the screen; for the 3:2 and 4:3 photos of cameras and phones from 12 to 45 megapixels
// that is between once and one and a half times the screen's pixels. The spare is cut down to
// the picture when it comes (SpareMemory::take).
std::size_t firstSpareFor(QSize screen) {
    constexpr int kLongestSide = 1 << 15;
    if (screen.isEmpty() || screen.width() > kLongestSide || screen.height() > kLongestSide)
        return 0;
    const std::int64_t bytes = std::int64_t(screen.width()) * screen.height() * 4 * 3 / 2;
    return lendable(bytes) ? 0 : static_cast<std::size_t>(bytes);
}

// Takes a message naming the screen; false for any other message.
bool expectScreen(PixelMemory& memory, const void* data, std::size_t size,
                  const std::vector<UniqueFd>& descriptors) {
    ScreenSizeMessage message;
    if (size != sizeof message || !descriptors.empty())
        return false;
    std::memcpy(&message, data, sizeof message);
    if (message.tag != MessageTag::ScreenSize)
        return false;
    memory.giver.expectFirst(firstSpareFor(QSize(message.width, message.height)));
    return true;
}

} // namespace

void prepareDecoding() {
    // Every picture's memory comes back warm for the next: see kLentBytesLimit.
    platform::keepFreedMemoryForReuse();
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
    program.readSlot = kPictureSlot;
    program.mapSlot = kProfileSlot;
    return program;
}

void serveDecodeRequests(MessageChannel& channel) {
    serveDecodeRequests(channel, nullptr);
}

void serveDecodeRequests(MessageChannel& channel, OtherRequests others) {
    // Nothing is faulted in ahead: a process waits, holding no memory, until a show begins
    // (ScreenSizeMessage) or a picture is asked for.
    PixelMemory memory;
    const StandardPictureDecoder decoder([&memory](QSize size, QImage::Format format) {
        return lendable(std::int64_t(size.width()) * size.height() * 4)
                   ? memory.lender.make(size, format)
                   : memory.giver.make(size, format, memory.use);
    });
    std::vector<char> buffer(MessageChannel::kMaxMessage);
    for (;;) {
        std::size_t size = 0;
        std::vector<UniqueFd> descriptors;
        memory.giver.prepareSpare(); // while the program shows the last picture
        const MessageChannel::Status status =
            channel.receive(buffer.data(), buffer.size(), size, descriptors);
        memory.giver.stopPreparing();
        if (status != MessageChannel::Status::Received)
            return;
        if (expectScreen(memory, buffer.data(), size, descriptors) ||
            (others && others(channel, buffer.data(), size, descriptors)))
            continue;
        // Anything else means the program and this process no longer agree: end.
        if (!answer(channel, decoder, memory, buffer.data(), size, descriptors))
            return;
    }
}

} // namespace orlix
