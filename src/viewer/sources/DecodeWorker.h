#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orlix {

// The one thread that reads and decodes picture files. It knows nothing of widgets, timers or
// the show: it takes jobs, runs them one at a time, most urgent first, and lets each job know
// through its flag when it is no longer wanted. A job hands its own result on; whoever queued
// it moves results to the GUI thread.
class DecodeWorker {
public:
    // Lower runs first: what a waiting slide step needs, then the next picture of the show,
    // then the full resolution of the picture on screen.
    enum class Priority { Demand = 0, Ahead = 1, Background = 2 };
    using JobId = std::uint64_t;
    // The work of one job, on the decoding thread. `cancelled` may turn true at any moment; the
    // work should then end soon, and still hand on a result marked as cancelled. `demanded`:
    // the job runs as a Demand, someone waiting for it.
    using Work = std::function<void(JobId id, const std::atomic<bool>& cancelled, bool demanded)>;

    DecodeWorker();
    // Cancels every job and waits for the thread, which stops at the running job's next check,
    // but never longer than kStopWait: a job stuck in the system (a hung network mount) is
    // left to end on its own thread, which owns everything it still touches.
    ~DecodeWorker();
    DecodeWorker(const DecodeWorker&) = delete;
    DecodeWorker& operator=(const DecodeWorker&) = delete;

    // Queues a job. A Demand cancels a less urgent job that is running (its work sees the
    // flag), so that a wait is never longer than one job.
    JobId submit(Work work, Priority priority);

    // Makes a queued or running job a Demand (see submit).
    void promote(JobId id);

    // A queued job is dropped without running; a running one sees its flag turn true. Unknown
    // or finished jobs are ignored. True when the job runs now (its result is still to come).
    bool cancel(JobId id);
    // Cancels every job; returns the running one, whose result is still to come (0: none).
    JobId cancelAll();

    // Lets go of `object` on the decoding thread, between two jobs: the last reference to a
    // decoded photo frees tens of megabytes, which the GUI thread must not stall on.
    void discard(std::shared_ptr<const void> object);

    static constexpr const char* kThreadName = "OrlixDecode";
    static constexpr std::chrono::milliseconds kStopWait{50};

private:
    struct Job {
        JobId id = 0;
        Work work;
        Priority priority = Priority::Demand;
        std::shared_ptr<std::atomic<bool>> cancelled;
    };
    // Everything the thread touches; shared with it, so that it may outlive this object.
    struct Queue {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<Job> jobs;
        std::vector<std::shared_ptr<const void>> discarded;
        JobId nextId = 1;
        bool stopping = false;
        bool finished = false; // the thread has left its loop
        std::condition_variable finishedChanged;
        // The job on the thread right now; id 0 when none.
        JobId runningId = 0;
        Priority runningPriority = Priority::Background;
        std::shared_ptr<std::atomic<bool>> runningCancelled;

        void run();
        bool takeNext(Job& job);
        void preemptRunningBelow(Priority priority);
    };

    const std::shared_ptr<Queue> queue_;
    // Last: started once the queue exists. Named kThreadName, so that it can be told apart from
    // the threads Qt keeps for itself.
    std::thread thread_;
};

} // namespace orlix
