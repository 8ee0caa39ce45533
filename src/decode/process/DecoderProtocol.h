#pragma once

#include "decode/codec/PictureDecoder.h"
#include "platform/files/PictureFile.h"
#include "platform/ipc/SealedMemory.h"

#include <QImage>

#include <cstdint>

namespace orlix {

// The protocol between the program and a decoder process. Messages are plain data, copied
// byte for byte over the process's channel; descriptors travel beside them. Every message
// starts with its head: a tag, and the sequence number of the request it is or answers. The
// program numbers its requests one after another; the decoder answers each decode request with
// exactly one reply carrying the request's number, and sends nothing else. Nothing a decoder
// sends is trusted: the program checks every reply whole (ReplyCheck.h), and a reply it did
// not ask for ends that decoder process.

enum class MessageTag : std::uint32_t {
    DecodeRequest = 0x6f726431, // "ord1"
    ScreenSize = 0x6f726432,
    DecodeReply = 0x6f726433,
};

struct MessageHead {
    MessageTag tag;
    // Wraps after 2^32 requests, which is harmless: a reply is only ever matched against the
    // one or two requests still unanswered.
    std::uint32_t sequence = 0;
};

// The descriptor numbers a decoder process holds what a request hands it at: its filter allows
// reads on the picture's alone, and asking for the size of these two.
inline constexpr int kPictureSlot = 10;
inline constexpr int kProfileSlot = 11;

// How an image's pixels lie in memory: enough to rebuild the image around them.
struct PixelLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int64_t bytesPerLine = 0;
    std::int32_t format = QImage::Format_Invalid;

    std::int64_t bytes() const { return bytesPerLine * height; }
    // Whether an image of this layout can stand over `available` bytes.
    bool fits(std::int64_t available) const;
    bool operator==(const PixelLayout& other) const {
        return width == other.width && height == other.height &&
               bytesPerLine == other.bytesPerLine && format == other.format;
    }
};

// Pixels travel at 32 bits each, in one of these formats (ARGB32 for pictures with
// transparency); the decoder converts whatever else its readers give before replying, so that
// no image reaches the program with a colour table it would have to trust.
bool isHandedOverFormat(std::int32_t format);
// A picture's frame travels at 24 bits a pixel, in this format, and always given.
inline constexpr QImage::Format kFrameFormat = QImage::Format_RGB888;

// Pixels are handed over in one of two ways:
// - lent: from memory the decoder fills again for its next picture (PixelLender); the program
//   copies them out at once (PixelReceiver). The memory can neither grow nor shrink, so the
//   program's mapping never loses a page.
// - given: in new memory the decoder freezes before handing it over (PixelGiver), holding
//   exactly the pixels; the program shows them from there without a copy.
constexpr int kLentSeals = platform::kFixedSizeSeals;
constexpr int kGivenSeals = platform::kFrozenSeals;

// Whole pictures (decoded for real size) of up to this many bytes are lent, larger ones given;
// no memory lent is larger. A show of fitted pictures is given every picture and frame.
inline constexpr std::int64_t kLentBytesLimit = std::int64_t(40) << 20;

// A picture to decode; the file travels with it as a descriptor, then the flag that stops its
// decode, then the display's colour profile in frozen memory when there is one.
struct DecodeRequestMessage {
    MessageHead head{MessageTag::DecodeRequest};
    platform::FileIdentity identity; // the file as the program opened it
    std::int32_t fitWidth = 0;       // DecodeRequest::fitInto
    std::int32_t fitHeight = 0;
    std::int64_t displayProfileBytes = 0; // DecodeRequest::displayProfile's size; 0: none
    std::int32_t hurried = 0;             // DecodeRequest::hurried
    std::int32_t frameScaleWidth = 0;     // DecodeRequest::frameBox
    std::int32_t frameViewHeight = 0;
    std::int32_t unused = 0; // keeps the next field's alignment from leaving bytes unset
    double frameDevicePixelRatio = 1.0;
};

// Sent to a process started ahead of the first picture: the screen that pictures will be fitted
// into, so that the process can hold memory ready for the first one. Not answered.
struct ScreenSizeMessage {
    MessageHead head{MessageTag::ScreenSize};
    std::int32_t width = 0; // device pixels
    std::int32_t height = 0;
};

// What a reply says of a picture decoded.
struct ReplyPicture {
    std::int32_t pixelWidth = 0; // the whole picture, upright: DecodeResult::pixelSize
    std::int32_t pixelHeight = 0;
    std::int32_t eighths = DecodeResult::kWhole; // the scale decoded at
    PixelLayout layout;
    // 1: lent (to be copied before the next request, which may reuse the memory); 0: given.
    std::int32_t lent = 0;
    // 1: the picture's frame (DecodeResult::framed), in kFrameFormat and given.
    std::int32_t framed = 0;

    bool operator==(const ReplyPicture& other) const {
        return pixelWidth == other.pixelWidth && pixelHeight == other.pixelHeight &&
               eighths == other.eighths && layout == other.layout && lent == other.lent &&
               framed == other.framed;
    }
};

enum class ReplyKind : std::uint32_t {
    Picture = 1, // the pixels travel with it as lent or given memory
    Failure = 2, // `error` says why; nothing travels with it
    Stopped = 3, // the request's stop flag was set; nothing travels with it
};

// The answer to a decode request. Only a picture fills `picture`.
struct DecodeReplyMessage {
    MessageHead head{MessageTag::DecodeReply};
    ReplyKind kind = ReplyKind::Failure;
    std::int32_t error = 0; // a LoadError; None unless a failure
    ReplyPicture picture;
};

} // namespace orlix
