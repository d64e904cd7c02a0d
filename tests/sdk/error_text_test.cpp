#include "sdk/config_error.h"
#include "sdk/tovan_sdk.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(ErrorTextTest, EveryCodeHasItsText)
{
    struct {
        sdk_error code;
        const char *text;
    } const cases[] = {
        {0, "No error."},
        {1, "The SDK ran out of memory."},
        {2, "The SDK hasn't been initialised, did you forget to set the config?"},
        {3, "An internal error prevented the SDK from initialising correctly."},
        {4, "Some memory hasn't been freed leading to some leaks."},
        {5, "Receiving mode has been disabled and is not available."},
        {6, "The SDK is not running."},
        {7, "The SDK is already running."},
        {8, "The SDK has already stopped."},
        {9, "The SDK is already sending."},
        {20, "The sample rate is invalid (it must respect Nyquist law)."},
        {21, "One of the parameters is a NULL buffer."},
        {22, "One of the parameters is a NULL pointer."},
        {23, "The channel asked is bigger than the maximum one authorised by the config being used."},
        {24, "Invalid frequency correction value."},
        {25, "An internal issue happened when processing."},
        {46, "The config is invalid, please check you have copied correctly from " TOVAN_SDK_DEVELOPER_SITE},
        {48, "This config was generated for a different version. Please visit " TOVAN_SDK_DEVELOPER_SITE
             " to upgrade your SDK."},
        {50, "Your config contains one or many unknown character(s)."},
        {80, "The payload is empty."},
        {81, "The payload is invalid."},
        {82, "The payload contains unknown symbols."},
        {83, "Couldn't decode the payload."},
        {84, "The payload's length is longer than the maximum one authorised by the config being used."},
        {85, "The payload's length is shorter than the minimum one authorised by the config being used."},
        {99, "Volume value is incorrect."},
        {100, "The SDK has reported an unknown error."},
        {204, "Audio IO error."},
        {205, "Send mode hasn't been enabled."},
        {206, "Receive mode hasn't been enabled."},
        {207, "The device is muted. Cannot send data."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        const char *text = tovan_sdk_error_code_to_string(c.code);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(tovan_sdk_error_code_to_string(c.code), text) << "a static text";
    }
}

TEST(ErrorTextTest, UnknownCodesSaySo)
{
    const int64_t unknown[] = {10, 19, 26, 45, 47, 49, 51, 79, 86, 98, 101, 199, 203, 208, 255, 256, 0x7FFFFFFF,
                               -1, -2, -46};
    for (const int64_t code : unknown)
        EXPECT_STREQ(tovan_sdk_error_code_to_string(static_cast<sdk_error>(code)), "Unknown error code.") << code;
}

TEST(ErrorTextTest, ConfigTextsNameTheConfigProvider)
{
    EXPECT_STREQ(TOVAN_SDK_DEVELOPER_SITE, "your config provider");
    struct {
        uint32_t row;
        const char *text;
    } const rows[] = {
        {0, "No error."},
        {7, tovan_sdk_error_code_to_string(46)},
        {9, tovan_sdk_error_code_to_string(48)},
        {1, "Unknown error."},
        {8, "Unknown error."},
        {46, "Unknown error."},
        {0xFFFFFFFFu, "Unknown error."},
    };
    for (const auto &r : rows)
        EXPECT_STREQ(config_error_text(r.row), r.text) << r.row;
}

TEST(VersionTest, TextsNeedNoHandle)
{
    EXPECT_STREQ(tovan_sdk_get_library_name(), "tovan-sdk");
    EXPECT_STREQ(tovan_sdk_get_version(), "3.3.1");
    EXPECT_STREQ(tovan_sdk_get_build_number(), "1403");
}

} // namespace
