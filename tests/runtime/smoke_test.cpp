#include "runtime/random.h"
#include <gtest/gtest.h>
TEST(Smoke, Mt) { random_set_seed(5489); EXPECT_EQ(random_next_u32(), 3499211612u); }
