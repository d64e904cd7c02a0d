#include "dsp/backend/dsp_backend.h"

#include <cfloat>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

namespace {

// Nothing below the start value FLT_MAX: the position is left as the caller
// had it.
TEST(VectorMinIndexTest, NothingBelowTheLargestFiniteLeavesThePosition)
{
    const float v[3] = {std::numeric_limits<float>::infinity(), FLT_MAX, std::numeric_limits<float>::quiet_NaN()};
    uint32_t index = 99;
    float min = 0.0f;
    vector_min_index(v, 3, &index, &min);
    EXPECT_EQ(index, 99u);
    EXPECT_EQ(min, FLT_MAX);
}

} // namespace
