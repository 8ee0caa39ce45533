#pragma once

#include "decode/codec/PictureDecoder.h"
#include "decode/process/DecoderProtocol.h"
#include "decode/process/PixelGiver.h"
#include "decode/process/PixelLender.h"
#include "platform/sandbox/DecoderProcess.h"

#include <cstddef>
#include <vector>

namespace orlix {

// The decoder processes of the program: the picture readers loaded beforehand, and room for
// the largest picture decoded. Give it to platform::startDecoderZygote first thing in main.
platform::DecoderProgram decoderProgram();

// Loads the picture readers Qt keeps in plugins, and the program's settings for them, while
// files can still be read.
void prepareDecoding();

// Answers decode requests on `channel` until it closes or carries something else: what the
// program's decoder processes run.
void serveDecodeRequests(platform::MessageChannel& channel);

// A decoder process's side of the protocol (DecoderProtocol.h): the program's own decoder
// (StandardPictureDecoder) answering each decode request, its pixels decoded into the memory
// they are lent from when small enough, straight into memory given to the program otherwise.
// A serving loop takes each message with receive() and has answer() answer it; a process that
// answers messages of its own besides runs that loop itself. Used from one thread.
class DecoderService {
public:
    // A message as it came, with the descriptors it carried.
    struct Message {
        std::vector<char> bytes = std::vector<char>(platform::MessageChannel::kMaxMessage);
        std::size_t size = 0;
        std::vector<platform::UniqueFd> descriptors;
    };

    // Serves on `channel`; faults in the memory a fitted photo's decode and hand-over use
    // before the first request comes.
    explicit DecoderService(platform::MessageChannel& channel);
    DecoderService(const DecoderService&) = delete;
    DecoderService& operator=(const DecoderService&) = delete;

    // Waits for the next message, faulting in memory for the next picture meanwhile; false
    // when the channel closed or failed.
    bool receive(Message& message);

    // Answers `message` when it is a request of the protocol; false when it is none: then the
    // program and this process no longer agree.
    bool answer(Message& message);

private:
    bool answerDecode(Message& message);
    bool takeScreen(const Message& message);
    void reply(std::uint32_t sequence, DecodeResult result);

    platform::MessageChannel& channel_;
    PixelLender lender_;
    PixelGiver giver_;
    PixelGiver::Use use_ = PixelGiver::Use::Fitted; // the request's
    StandardPictureDecoder decoder_;
};

} // namespace orlix
