#pragma once

#include "decode/process/DecoderProtocol.h"
#include "decode/process/PixelReceiver.h"
#include "platform/ipc/UniqueFd.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace orlix {

// The program's check of a decoder's reply. A decoder process may have been taken over by a
// crafted picture, so a reply is taken only when it is, in every field and descriptor, one that
// the program's own decoder could have sent for the request: the scale it chooses for the fit
// box, hence the layout, the pixel format it hands over, lent or given as it decides, the
// request's sequence number. Anything else is no reply at all, and the decoder that sent it is
// not to be trusted with another request.

// A reply that passed the check, with the memory its pixels travelled in (a picture's only).
struct CheckedReply {
    DecodeReplyMessage message;
    platform::UniqueFd pixels;
};

// The reply of `size` bytes at `bytes`, with `descriptors` (taken over), checked as the answer
// to `request`; nothing when it is not one. `stopAsked`: the request's stop flag was set, so that
// the decode may answer that it stopped.
std::optional<CheckedReply> checkReply(const DecodeRequestMessage& request, bool stopAsked,
                                       const void* bytes, std::size_t size,
                                       std::vector<platform::UniqueFd>& descriptors);

// The result a checked reply stands for, its pixels copied or mapped by `receiver` (lent pixels
// borrowed rather than copied when `mayBorrow`); a failed decode when their memory does not
// hold them as the reply says (PixelReceiver).
DecodeResult resultOf(CheckedReply reply, PixelReceiver& receiver, bool mayBorrow = false);

} // namespace orlix
