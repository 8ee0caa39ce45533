#include "viewer/sources/DecodeWorker.h"

#include "platform/sandbox/CurrentThread.h"

#include <algorithm>

namespace orlix {

DecodeWorker::DecodeWorker()
    : queue_(std::make_shared<Queue>()), thread_([queue = queue_] {
          platform::nameCurrentThread(kThreadName);
          platform::lowerCurrentThreadPriority();
          queue->run();
      }) {}

DecodeWorker::~DecodeWorker() {
    std::unique_lock<std::mutex> lock(queue_->mutex);
    queue_->stopping = true;
    queue_->jobs.clear();
    if (queue_->runningCancelled)
        queue_->runningCancelled->store(true);
    queue_->wake.notify_all();
    if (queue_->finishedChanged.wait_for(lock, kStopWait, [this] { return queue_->finished; })) {
        lock.unlock();
        thread_.join();
    } else {
        thread_.detach();
    }
}

DecodeWorker::JobId DecodeWorker::submit(Work work, Priority priority) {
    JobId id = 0;
    {
        const std::lock_guard<std::mutex> lock(queue_->mutex);
        id = queue_->nextId++;
        Job job{id, std::move(work), priority, std::make_shared<std::atomic<bool>>(false)};
        // Behind every job at least as urgent: equal priorities keep their order.
        auto& jobs = queue_->jobs;
        const auto at = std::find_if(jobs.begin(), jobs.end(), [priority](const Job& queued) {
            return queued.priority > priority;
        });
        jobs.insert(at, std::move(job));
        queue_->preemptRunningBelow(priority);
    }
    queue_->wake.notify_one();
    return id;
}

void DecodeWorker::promote(JobId id) {
    const std::lock_guard<std::mutex> lock(queue_->mutex);
    if (id == queue_->runningId) {
        queue_->runningPriority = Priority::Demand;
        return;
    }
    auto& jobs = queue_->jobs;
    const auto at =
        std::find_if(jobs.begin(), jobs.end(), [id](const Job& queued) { return queued.id == id; });
    if (at == jobs.end())
        return;
    Job job = std::move(*at);
    jobs.erase(at);
    job.priority = Priority::Demand;
    jobs.push_front(std::move(job));
    queue_->preemptRunningBelow(Priority::Demand);
}

void DecodeWorker::Queue::preemptRunningBelow(Priority priority) {
    if (priority == Priority::Demand && runningId != 0 && runningPriority != Priority::Demand &&
        runningCancelled)
        runningCancelled->store(true);
}

bool DecodeWorker::cancel(JobId id) {
    const std::lock_guard<std::mutex> lock(queue_->mutex);
    if (id != 0 && id == queue_->runningId) {
        queue_->runningCancelled->store(true);
        return true;
    }
    auto& jobs = queue_->jobs;
    jobs.erase(std::remove_if(jobs.begin(), jobs.end(),
                              [id](const Job& queued) { return queued.id == id; }),
               jobs.end());
    return false;
}

DecodeWorker::JobId DecodeWorker::cancelAll() {
    const std::lock_guard<std::mutex> lock(queue_->mutex);
    queue_->jobs.clear();
    if (queue_->runningCancelled)
        queue_->runningCancelled->store(true);
    return queue_->runningId;
}

void DecodeWorker::discard(std::shared_ptr<const void> object) {
    if (!object)
        return;
    {
        const std::lock_guard<std::mutex> lock(queue_->mutex);
        queue_->discarded.push_back(std::move(object));
    }
    queue_->wake.notify_one();
}

bool DecodeWorker::Queue::takeNext(Job& job) {
    std::unique_lock<std::mutex> lock(mutex);
    runningId = 0;
    runningCancelled.reset();
    for (;;) {
        wake.wait(lock, [this] { return stopping || !jobs.empty() || !discarded.empty(); });
        if (discarded.empty())
            break;
        std::vector<std::shared_ptr<const void>> dropped;
        dropped.swap(discarded);
        lock.unlock();
        dropped.clear(); // the freeing happens here, on this thread, outside the lock
        lock.lock();
    }
    if (stopping) {
        finished = true;
        finishedChanged.notify_all();
        return false;
    }
    job = std::move(jobs.front());
    jobs.pop_front();
    runningId = job.id;
    runningPriority = job.priority;
    runningCancelled = job.cancelled;
    return true;
}

void DecodeWorker::Queue::run() {
    Job job;
    while (takeNext(job)) {
        job.work(job.id, *job.cancelled, job.priority == Priority::Demand);
        // Dropped here, on this thread: the work may hold the last reference to a file.
        job = Job();
    }
}

} // namespace orlix
