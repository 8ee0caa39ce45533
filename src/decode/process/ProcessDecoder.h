#pragma once

#include "decode/codec/PictureDecoder.h"
#include "decode/process/DecoderProtocol.h"
#include "decode/process/PixelReceiver.h"
#include "platform/ipc/UniqueFd.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

namespace orlix {

namespace platform {
class DecoderProcess;
class SharedFlag;
} // namespace platform

// The program's decoder: hands each picture file to a decoder process (DecoderProcess.h), which
// decodes it with the program's own decoder, and takes the pixels back without copying them.
// A decoder process that dies (a crash, its memory ceiling, a kill from outside), does not
// answer in time, or answers with anything but a reply its request allows (ReplyCheck.h) fails
// its picture with LoadError::DecodeFailed and is ended; the next picture gets a new process.
// A cancelled decode ends at once here; its process is told to stop through a shared flag and
// keeps serving (its memory stays in place), unless it has not answered by the time the next
// picture is asked for: then it is ended and replaced.
class ProcessDecoder : public PictureDecoder {
public:
    // Long enough for the largest picture on a slow machine; a decoder still silent by then is
    // taken for stuck.
    static constexpr std::chrono::milliseconds kDefaultPatience{60000};
    // How long the next picture waits for a cancelled decode to stop before its process is
    // ended: decoders stop within a few rows or one scan.
    static constexpr std::chrono::milliseconds kStopPatience{250};

    explicit ProcessDecoder(std::chrono::milliseconds patience = kDefaultPatience);
    ~ProcessDecoder() override;

    // Starts a decoder process now, unless one serves, so that one is ready by the time the
    // first picture is wanted: started for that picture, it would add its start to the wait.
    // Given the size of the screen a show is about to cover, in device pixels, the process
    // begins to fault in memory for a first picture fitted into it while it waits for it.
    void prepare(QSize screenPixels = QSize());

    // Gives back the memory decoding took: the serving process ends, with everything it holds,
    // and a fresh one, which holds nothing yet, is started for the next picture. Waits for a
    // decode under way to end first.
    void release();

    // One decode at a time: concurrent calls wait for each other.
    DecodeResult decode(const DecodeRequest& request, const std::atomic<bool>& cancelled) override;

private:
    DecodeResult exchange(const DecodeRequest& request, const std::atomic<bool>& cancelled);
    // Makes sure a process serves, with nothing left over from earlier requests on its
    // channel; false when none can be had.
    bool startProcess();
    void endProcess();
    // Waits for the answer to the cancelled request and drops it; false when none came in
    // time, or anything else came.
    bool drainCancelled();
    // The shared copy of `profile`, made once for as long as the display's profile stays.
    int sharedProfile(const QByteArray& profile);

    const std::chrono::milliseconds patience_;
    std::mutex mutex_;
    std::unique_ptr<platform::DecoderProcess> process_;
    std::unique_ptr<platform::SharedFlag> stop_; // the serving process's
    std::uint32_t sequence_ = 0;                 // of the last request sent
    // The request cancelled while its process decoded it, whose answer is still to come.
    std::optional<DecodeRequestMessage> cancelledRequest_;
    QByteArray profile_;
    platform::UniqueFd profileMemory_;
    PixelReceiver receiver_; // maps the serving process's lent memory
};

} // namespace orlix
