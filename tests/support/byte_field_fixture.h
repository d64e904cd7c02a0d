// A fixture holding the 256-element field for the field and polynomial tests,
// on top of the tracked-heap leak check.
#pragma once

#include "coding/gf/gf.h"
#include "support/memory_fixture.h"

#include <gtest/gtest.h>

class ByteFieldTest : public TrackedHeapTest {
protected:
    void SetUp() override
    {
        TrackedHeapTest::SetUp();
        field = new_gf(8);
        ASSERT_NE(field, nullptr);
    }
    void TearDown() override
    {
        del_gf(field);
        TrackedHeapTest::TearDown();
    }
    gf *field = nullptr;
};
