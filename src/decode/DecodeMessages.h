#pragma once

#include "decode/PictureDecoder.h"
#include "platform/PictureFile.h"
#include "platform/SharedPixels.h"

#include <cstdint>

namespace orlix {

// The messages between the program and a decoder process: plain data, copied byte for byte.

// A picture to decode; the file travels with it as a descriptor, and so does the display's colour
// profile, in sealed shared memory, when there is one.
struct DecodeRequestMessage {
    // Marks the message as a decode request, whatever else a channel might carry.
    static constexpr std::uint64_t kMagic = 0x6f726c6978646563ULL;
    std::uint64_t magic = kMagic;
    platform::FileIdentity identity; // the file as the program opened it
    std::int32_t fitWidth = 0;       // DecodeRequest::fitInto
    std::int32_t fitHeight = 0;
    std::int64_t displayProfileBytes = 0; // DecodeRequest::displayProfile's size; 0: none
};

// Sent to a process started ahead of the first picture: the screen that pictures will be fitted
// into, so that the process can hold memory ready for the first one.
struct ScreenSizeMessage {
    static constexpr std::uint64_t kMagic = 0x6f726c6978736372ULL;
    std::uint64_t magic = kMagic;
    std::int32_t width = 0; // device pixels
    std::int32_t height = 0;
};

// The answer; the pixels, when there are any, travel with it as shared memory.
struct DecodeReplyMessage {
    static constexpr int kMaxColours = 256;
    std::int32_t error = 0; // a LoadError
    std::int32_t pixelWidth = 0;
    std::int32_t pixelHeight = 0;
    std::int32_t eighths = DecodeResult::kWhole; // the scale decoded at
    platform::PixelLayout layout;                // empty without pixels
    // The pixels are lent (PixelArena.h): copy them before the next request, which may reuse
    // their memory. Otherwise they are sealed shared memory given for good.
    std::int32_t lent = 0;
    // The colour table of an indexed picture.
    std::int32_t colourCount = 0;
    std::uint32_t colours[kMaxColours] = {};
};

} // namespace orlix
