#pragma once

#include "platform/sandbox/DecoderProcess.h"

#include <cstddef>
#include <vector>

namespace orlix {

// What runs in the decoder processes: the program's own decoder (StandardPictureDecoder)
// answering DecodeRequestMessages with DecodeReplyMessages. Give decoderProgram() to
// platform::startDecoderZygote first thing in main.

// The decoder processes of the program: the picture readers loaded beforehand, and room for
// the largest picture decoded.
platform::DecoderProgram decoderProgram();

// Loads the picture readers Qt keeps in plugins, and the program's settings for them, while
// files can still be read.
void prepareDecoding();

// A handler for requests of another kind (a test's), tried before each message is taken for a
// decode request: true when it answered the message.
using OtherRequests = bool (*)(platform::MessageChannel& channel, const void* message,
                               std::size_t size, std::vector<platform::UniqueFd>& descriptors);

// Answers decode requests on `channel` until it closes or carries something unreadable.
void serveDecodeRequests(platform::MessageChannel& channel);
void serveDecodeRequests(platform::MessageChannel& channel, OtherRequests others);

} // namespace orlix
