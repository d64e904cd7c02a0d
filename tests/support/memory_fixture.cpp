#include "support/memory_fixture.h"

void TrackedHeapTest::SetUp()
{
    ASSERT_TRUE(memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW));
    baseline_ = memory_manager_get_usage();
}

void TrackedHeapTest::TearDown()
{
    memory_manager_fail_at(0, false);
    EXPECT_EQ(memory_manager_get_usage(), baseline_) << "tracked bytes leaked by the test";
    memory_manager_release();
}

int64_t TrackedHeapTest::bytes_in_use_delta() const
{
    return static_cast<int64_t>(memory_manager_get_usage()) - static_cast<int64_t>(baseline_);
}

uint64_t sweep_allocation_failures(const std::function<bool()> &scenario)
{
    memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW);
    const uint32_t baseline = memory_manager_get_usage();
    memory_manager_fail_at(0, false);
    const bool clean = scenario();
    const uint64_t total = memory_manager_requests_seen();
    EXPECT_TRUE(clean) << "scenario fails without any injected fault";
    EXPECT_EQ(memory_manager_get_usage(), baseline);
    for (int persistent = 0; persistent < 2; ++persistent) {
        for (uint64_t n = 1; n <= total; ++n) {
            memory_manager_fail_at(n, persistent != 0);
            scenario();
            memory_manager_fail_at(0, false);
            EXPECT_EQ(memory_manager_get_usage(), baseline)
                << "leak after failing allocation " << n << (persistent ? " (persistent)" : " (transient)");
        }
    }
    memory_manager_fail_at(0, false);
    memory_manager_release();
    return total;
}
