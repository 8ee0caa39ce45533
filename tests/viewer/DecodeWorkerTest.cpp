// The decoding thread: the order it works in, and closing without waiting on a stuck job.

#include "viewer/sources/DecodeWorker.h"

#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orlix {
namespace {

// Jobs that record the order they run in and wait until released.
class Worker : public ::testing::Test {
protected:
    struct Delivered {
        QString name;
        bool cancelled;
    };
    DecodeWorker::JobId submit(const char* name, DecodeWorker::Priority priority) {
        return worker->submit(
            [this, name = QString::fromUtf8(name)](DecodeWorker::JobId,
                                                   const std::atomic<bool>& cancelled) {
                std::unique_lock<std::mutex> lock(mutex);
                started << name;
                changed.notify_all();
                // Polled: a cancel comes as a flag, without a notification.
                while (released == 0 && !cancelled.load())
                    changed.wait_for(lock, std::chrono::milliseconds(5));
                if (!cancelled.load())
                    --released;
                delivered.push_back({name, cancelled.load()});
                changed.notify_all();
            },
            priority);
    }
    void release(int count) {
        const std::lock_guard<std::mutex> lock(mutex);
        released += count;
        changed.notify_all();
    }
    // Waits until `list` (started or delivered, both in order) holds `count` items; a copy.
    template <typename List> List waitFor(const List& list, std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(10),
                         [&] { return std::size_t(list.size()) >= count; });
        return list;
    }
    std::mutex mutex;
    std::condition_variable changed;
    QStringList started;
    int released = 0;
    std::vector<Delivered> delivered;
    std::unique_ptr<DecodeWorker> worker = std::make_unique<DecodeWorker>();
};

TEST_F(Worker, RunsTheMostUrgentFirstAndADemandStopsWhatIsLessUrgent) {
    using P = DecodeWorker::Priority;
    submit("ahead", P::Ahead);
    ASSERT_EQ(waitFor(started, 1), QStringList({"ahead"}));
    submit("background", P::Background);
    const auto dropped = submit("dropped", P::Ahead);
    const auto promoted = submit("promoted", P::Background);
    submit("second ahead", P::Ahead);
    submit("demand", P::Demand);           // stops "ahead", which is running
    EXPECT_FALSE(worker->cancel(dropped)); // queued: it never runs
    worker->promote(promoted);
    release(4);
    const auto done = waitFor(delivered, 5);
    ASSERT_EQ(done.size(), 5u);
    EXPECT_EQ(done[0].name, "ahead");
    EXPECT_TRUE(done[0].cancelled);
    EXPECT_EQ(waitFor(started, 5),
              QStringList({"ahead", "promoted", "demand", "second ahead", "background"}));
    for (std::size_t i = 1; i < done.size(); ++i)
        EXPECT_FALSE(done[i].cancelled) << i;
}

TEST_F(Worker, ClosingNeverWaitsOnAJobStuckInTheSystem) {
    // A job that does not look at its flag, as one blocked in a read of a hung mount.
    auto finished = std::make_shared<std::atomic<bool>>(false);
    worker->submit(
        [finished](DecodeWorker::JobId, const std::atomic<bool>&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            finished->store(true);
        },
        DecodeWorker::Priority::Demand);
    QTest::qWait(20);
    const auto start = std::chrono::steady_clock::now();
    worker.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_FALSE(finished->load());
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished->load(); }, 2000)); // and ends on its own
}

} // namespace
} // namespace orlix
