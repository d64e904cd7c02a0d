// Test support around the tracked heap: a fixture that holds the manager and
// checks that each test gives back every byte it took, and the allocation
// failure sweep that proves constructors free what they had built.
#pragma once

#include "runtime/memory_manager.h"

#include <cstdint>
#include <functional>

#include <gtest/gtest.h>

class TrackedHeapTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Bytes in use now, relative to the start of the test.
    int64_t bytes_in_use_delta() const;

private:
    uint32_t baseline_ = 0;
};

// Runs `scenario` with the n-th tracked allocation failing, for n = 1, 2, ...,
// once with a transient fault and once with a persistent one, until a run
// never reaches the fault. After every run the bytes in use must be back to
// where they were. `scenario` returns true when it succeeded; a run that hit
// the fault may succeed or fail, a run that did not must succeed.
// Returns the number of allocations the fault-free run made.
uint64_t sweep_allocation_failures(const std::function<bool()> &scenario);
