#pragma once

#include "viewer/PictureDecoder.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orlix {

// The one thread that reads and decodes picture files for the viewer. It knows nothing of
// widgets, timers or the show: it takes requests, runs them one at a time, most urgent first,
// and hands each result to `deliver` on its own thread. Whoever owns it moves results to the
// GUI thread.
class DecodeWorker {
public:
    // Lower runs first: what a waiting slide step needs, then the next picture of the show,
    // then the full resolution of the picture on screen.
    enum class Priority { Demand = 0, Ahead = 1, Background = 2 };
    using JobId = std::uint64_t;
    using Deliver = std::function<void(JobId, PicturePtr)>;

    DecodeWorker(std::shared_ptr<const PictureDecoder> decoder, Deliver deliver);
    // Cancels every job and waits for the thread, which stops at the decoder's next read.
    ~DecodeWorker();
    DecodeWorker(const DecodeWorker&) = delete;
    DecodeWorker& operator=(const DecodeWorker&) = delete;

    // Queues a decode. A Demand stops a less urgent job that is running (its result arrives
    // with `cancelled` set), so that the wait is no longer than one decode.
    JobId submit(DecodeRequest request, Priority priority);

    // Makes a queued or running job a Demand (see submit).
    void promote(JobId id);

    // A queued job is dropped without a result; a running one stops soon and delivers a
    // result with `cancelled` set. Unknown or finished jobs are ignored. True when a result
    // is still to come.
    bool cancel(JobId id);
    // Cancels every job; returns the running one, whose result is still to come (0: none).
    JobId cancelAll();

    // Lets go of `picture` on the decoding thread, between two decodes: the last reference
    // to a decoded photo frees tens of megabytes, which the GUI thread must not stall on.
    void discard(PicturePtr picture);

    // Whether a job is queued or running (for tests and shutdown checks).
    bool idle() const;

private:
    struct Job {
        JobId id = 0;
        DecodeRequest request;
        Priority priority = Priority::Demand;
        std::shared_ptr<std::atomic<bool>> cancelled;
    };

    void run();
    bool takeNext(Job& job);
    void preemptRunningBelow(Priority priority);

    const std::shared_ptr<const PictureDecoder> decoder_;
    const Deliver deliver_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_;
    std::vector<PicturePtr> discarded_;
    JobId nextId_ = 1;
    bool stopping_ = false;
    // The job on the thread right now; id 0 when none.
    JobId runningId_ = 0;
    Priority runningPriority_ = Priority::Background;
    std::shared_ptr<std::atomic<bool>> runningCancelled_;

    // Last: started once everything above exists. Named kThreadName, so that it can be told
    // apart from the threads Qt keeps for itself.
    std::thread thread_;

public:
    static constexpr const char* kThreadName = "OrlixDecode";
};

} // namespace orlix
