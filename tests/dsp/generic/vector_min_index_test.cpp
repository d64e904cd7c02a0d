#include "dsp/backend/dsp_backend.h"

#include <cfloat>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(VectorMinIndexTest, FirstSmallestWinsAndNanIsNeverChosen)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char *name;
        std::vector<float> v;
        uint32_t index; // 99: left as the caller had it
        float min;
    };
    const Case cases[] = {
        {"ties", {2.0f, 1.0f, 1.0f}, 1, 1.0f},
        {"nan first", {nan, 5.0f}, 1, 5.0f},
        {"nan between", {3.0f, nan, -1.0f, nan}, 2, -1.0f},
        {"negative infinity", {0.0f, -inf, -inf}, 1, -inf},
        {"nothing below FLT_MAX", {inf, FLT_MAX, nan}, 99, FLT_MAX},
        {"single", {7.5f}, 0, 7.5f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t index = 99;
        float min = 0.0f;
        vector_min_index(c.v.data(), c.v.size(), &index, &min);
        EXPECT_EQ(index, c.index);
        EXPECT_EQ(min, c.min);
    }
}

} // namespace
