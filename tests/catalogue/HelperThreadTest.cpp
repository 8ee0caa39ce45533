#include "catalogue/HelperThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace orlix {
namespace {

TEST(HelperThread, RunsTheTaskElsewhereAndRethrowsOnJoin) {
    HelperThread helper;
    std::thread::id ranOn;
    ASSERT_TRUE(helper.start([&ranOn] { ranOn = std::this_thread::get_id(); }));
    EXPECT_FALSE(helper.start([] {})) << "one task at a time";
    helper.join();
    EXPECT_NE(ranOn, std::this_thread::get_id());

    ASSERT_TRUE(helper.start([] { throw std::length_error("in the helper"); }));
    EXPECT_THROW(helper.join(), std::length_error);
    EXPECT_NO_THROW(helper.join()) << "a failure is reported once";
}

TEST(HelperThread, DestructorWaitsForTheTask) {
    std::atomic<bool> finished{false};
    {
        HelperThread helper;
        ASSERT_TRUE(helper.start([&finished] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            finished = true;
        }));
    }
    EXPECT_TRUE(finished);
}

} // namespace
} // namespace orlix
