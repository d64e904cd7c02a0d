#include "sdk/config_error.h"

const char *config_error_text(uint32_t code)
{
    switch (code) {
    case 0:
        return "No error.";
    case 7:
        return "The config is invalid, please check you have copied correctly from " TOVAN_SDK_DEVELOPER_SITE;
    case 9:
        return "This config was generated for a different version. Please visit " TOVAN_SDK_DEVELOPER_SITE
               " to upgrade your SDK.";
    default:
        return "Unknown error.";
    }
}
