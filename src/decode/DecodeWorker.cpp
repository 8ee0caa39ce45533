#include "decode/DecodeWorker.h"

#include "platform/CurrentThread.h"

#include <algorithm>

namespace orlix {

DecodeWorker::DecodeWorker()
    : thread_([this] {
          platform::nameCurrentThread(kThreadName);
          platform::lowerCurrentThreadPriority();
          run();
      }) {}

DecodeWorker::~DecodeWorker() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        queue_.clear();
        if (runningCancelled_)
            runningCancelled_->store(true);
    }
    wake_.notify_all();
    thread_.join();
}

DecodeWorker::JobId DecodeWorker::submit(Work work, Priority priority) {
    JobId id = 0;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        id = nextId_++;
        Job job{id, std::move(work), priority, std::make_shared<std::atomic<bool>>(false)};
        // Behind every job at least as urgent: equal priorities keep their order.
        const auto at = std::find_if(queue_.begin(), queue_.end(), [priority](const Job& queued) {
            return queued.priority > priority;
        });
        queue_.insert(at, std::move(job));
        preemptRunningBelow(priority);
    }
    wake_.notify_one();
    return id;
}

void DecodeWorker::promote(JobId id) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (id == runningId_) {
        runningPriority_ = Priority::Demand;
        return;
    }
    const auto at = std::find_if(queue_.begin(), queue_.end(),
                                 [id](const Job& queued) { return queued.id == id; });
    if (at == queue_.end())
        return;
    Job job = std::move(*at);
    queue_.erase(at);
    job.priority = Priority::Demand;
    queue_.push_front(std::move(job));
    preemptRunningBelow(Priority::Demand);
}

void DecodeWorker::preemptRunningBelow(Priority priority) {
    if (priority == Priority::Demand && runningId_ != 0 && runningPriority_ != Priority::Demand &&
        runningCancelled_)
        runningCancelled_->store(true);
}

bool DecodeWorker::cancel(JobId id) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (id != 0 && id == runningId_) {
        runningCancelled_->store(true);
        return true;
    }
    queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                [id](const Job& queued) { return queued.id == id; }),
                 queue_.end());
    return false;
}

DecodeWorker::JobId DecodeWorker::cancelAll() {
    const std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
    if (runningCancelled_)
        runningCancelled_->store(true);
    return runningId_;
}

void DecodeWorker::discard(std::shared_ptr<const void> object) {
    if (!object)
        return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        discarded_.push_back(std::move(object));
    }
    wake_.notify_one();
}

bool DecodeWorker::idle() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return queue_.empty() && runningId_ == 0;
}

bool DecodeWorker::takeNext(Job& job) {
    std::unique_lock<std::mutex> lock(mutex_);
    runningId_ = 0;
    runningCancelled_.reset();
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty() || !discarded_.empty(); });
        if (discarded_.empty())
            break;
        std::vector<std::shared_ptr<const void>> discarded;
        discarded.swap(discarded_);
        lock.unlock();
        discarded.clear(); // the freeing happens here, on this thread, outside the lock
        lock.lock();
    }
    if (stopping_)
        return false;
    job = std::move(queue_.front());
    queue_.pop_front();
    runningId_ = job.id;
    runningPriority_ = job.priority;
    runningCancelled_ = job.cancelled;
    return true;
}

void DecodeWorker::run() {
    Job job;
    while (takeNext(job)) {
        job.work(job.id, *job.cancelled);
        // Dropped here, on this thread: the work may hold the last reference to a file.
        job = Job();
    }
}

} // namespace orlix
