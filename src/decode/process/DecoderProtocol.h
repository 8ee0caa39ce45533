#pragma once

#include "decode/codec/PictureDecoder.h"
#include "platform/files/PictureFile.h"
#include "platform/ipc/SealedMemory.h"

#include <QImage>

#include <cstdint>

namespace orlix {

// The protocol between the program and a decoder process. Messages are plain data, copied
// byte for byte over the process's channel; descriptors travel beside them. Every message
// starts with its tag. The program sends requests; the decoder answers each decode request
// with one reply. Nothing a decoder sends is trusted: the program checks every reply whole.

enum class MessageTag : std::uint32_t {
    DecodeRequest = 0x6f726431, // "ord1"
    ScreenSize = 0x6f726432,
    DecodeReply = 0x6f726433,
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
};

// Pixels are handed over in one of two ways:
// - lent: from memory the decoder fills again for its next picture (PixelLender); the program
//   copies them out at once (PixelReceiver). The memory can neither grow nor shrink, so the
//   program's mapping never loses a page.
// - given: in new memory the decoder freezes before handing it over (PixelGiver); the program
//   shows the pixels from there without a copy.
constexpr int kLentSeals = platform::kFixedSizeSeals;
constexpr int kGivenSeals = platform::kFrozenSeals;

// A picture to decode; the file travels with it as a descriptor, then the flag that stops its
// decode, then the display's colour profile in frozen memory when there is one.
struct DecodeRequestMessage {
    MessageTag tag = MessageTag::DecodeRequest;
    platform::FileIdentity identity; // the file as the program opened it
    std::int32_t fitWidth = 0;       // DecodeRequest::fitInto
    std::int32_t fitHeight = 0;
    std::int64_t displayProfileBytes = 0; // DecodeRequest::displayProfile's size; 0: none
};

// Sent to a process started ahead of the first picture: the screen that pictures will be fitted
// into, so that the process can hold memory ready for the first one.
struct ScreenSizeMessage {
    MessageTag tag = MessageTag::ScreenSize;
    std::int32_t width = 0; // device pixels
    std::int32_t height = 0;
};

// The answer; the pixels, when there are any, travel with it as lent or given memory.
struct DecodeReplyMessage {
    static constexpr int kMaxColours = 256;
    MessageTag tag = MessageTag::DecodeReply;
    std::int32_t error = 0; // a LoadError
    std::int32_t pixelWidth = 0;
    std::int32_t pixelHeight = 0;
    std::int32_t eighths = DecodeResult::kWhole; // the scale decoded at
    PixelLayout layout;                          // empty without pixels
    // The pixels are lent: copy them before the next request, which may reuse their memory.
    // Otherwise they are given for good.
    std::int32_t lent = 0;
    // The colour table of an indexed picture.
    std::int32_t colourCount = 0;
    std::uint32_t colours[kMaxColours] = {};
};

} // namespace orlix
