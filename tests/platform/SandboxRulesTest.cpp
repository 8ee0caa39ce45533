#include "platform/sandbox/LandlockRuleset.h"
#include "platform/sandbox/XDisplayAddress.h"

#include <gtest/gtest.h>

namespace orlix::platform {
namespace {

TEST(SandboxRules, TheXServerIsReachedOverTcpOnlyWhenTheDisplayNamesAHost) {
    const std::pair<const char*, int> cases[] = {
        {":0", 0},
        {":12.1", 0},
        {"unix:3", 0},
        {"unix/:3", 0},
        {"/tmp/launch-x/org.xquartz:0", 0},
        {"localhost:10.0", 6010},
        {"127.0.0.1:0", 6000},
        {"tcp/:2", 6002},
        {"inet6/[::1]:1", 6001},
        {"host.example:7", 6007},
        {"decnet::0", 0},
        {"host:", 0},
        {"host:x", 0},
        {"host:60000", 0},
        {"", 0},
    };
    for (const auto& [display, port] : cases)
        EXPECT_EQ(xDisplayTcpPort(display).value_or(0), port) << display;
}

TEST(SandboxRules, EachLandlockLevelHandlesAllThatTheOneBelowDoes) {
    LandlockRights below;
    for (int level = 1; level <= static_cast<int>(kNewestLandlockLevel); ++level) {
        const LandlockRights rights = landlockRightsOf(static_cast<LandlockLevel>(level));
        EXPECT_EQ(rights.files & below.files, below.files) << level;
        EXPECT_EQ(rights.network & below.network, below.network) << level;
        EXPECT_EQ(rights.scopes & below.scopes, below.scopes) << level;
        EXPECT_NE(rights.files + rights.network + rights.scopes,
                  below.files + below.network + below.scopes)
            << "level " << level << " adds nothing";
        below = rights;
    }
    EXPECT_EQ(landlockRightsOf(LandlockLevel::None).files, 0u);
    // A ruleset of the running kernel's level is accepted with all of them handled.
    const LandlockLevel kernel = kernelLandlockLevel();
    if (kernel != LandlockLevel::None) {
        EXPECT_TRUE(LandlockRuleset(kernel, landlockRightsOf(kernel)).valid());
    }
}

} // namespace
} // namespace orlix::platform
