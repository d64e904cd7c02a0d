#include "sdk/tovan_sdk.h"

const char *tovan_sdk_get_library_name(void)
{
    return "tovan-sdk";
}

const char *tovan_sdk_get_version(void)
{
    return "3.3.1";
}

const char *tovan_sdk_get_build_number(void)
{
    return "1403";
}
