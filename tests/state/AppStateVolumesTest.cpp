#include "state/AppState.h"

#include "StateTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace tarnwick {
namespace {

// A stale network mount can hold a volume reading for minutes: neither the
// window nor quitting waits for it, and its late answer reaches nobody.
TEST(AppStateVolumes, AReadingThatNeverAnswersHoldsNeitherTheStateNorItsEnd) {
    test::FakeEnvironment env;
    auto held = std::make_shared<std::atomic<bool>>(true);
    auto reads = std::make_shared<std::atomic<int>>(0);
    MapServices services = test::testServices();
    services.listVolumes = [held, reads] {
        ++*reads;
        while (held->load()) QThread::msleep(2);
        return std::vector<VolumeInfo>{VolumeInfo{"/", "Disk", "/", "/", 1000, 400, true, std::nullopt}};
    };
    {
        AppState state(services);
        state.start();
        ASSERT_TRUE(test::waitUntil([&] { return reads->load() == 1; }));
        EXPECT_TRUE(state.volumes().empty());
    }  // destroyed while the reading still hangs
    held->store(false);
    test::spin(50);  // the late answer finds no state and changes nothing
}

}  // namespace
}  // namespace tarnwick
