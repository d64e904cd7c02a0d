#include "coding/core_info.h"

#include <gtest/gtest.h>

TEST(CoreInfoTest, EveryCodeHasItsText)
{
    const char *const expected[] = {
        "No error",         "Empty message",    "Invalid message length",           "Invalid identifier",
        "Invalid symbol size", "Invalid symbol count", "Invalid protocol", "Message contains unknown symbols",
        "Decode failed",    "Tovan has already been populated", "Unknown error",
    };
    for (uint32_t code = 0; code <= TOVAN_CORE_UNKNOWN_ERROR; ++code)
        EXPECT_STREQ(core_error_text(code), expected[code]) << code;
    EXPECT_STREQ(core_error_text(11), "Unknown error");
    EXPECT_STREQ(core_error_text(UINT32_MAX), "Unknown error");
    EXPECT_STREQ(core_version_string(), "tovan-core: 3.9.0_6670");
}
