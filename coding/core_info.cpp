#include "coding/core_info.h"

const char *const tovan_error_strings[11] = {
    "No error",
    "Empty message",
    "Invalid message length",
    "Invalid identifier",
    "Invalid symbol size",
    "Invalid symbol count",
    "Invalid protocol",
    "Message contains unknown symbols",
    "Decode failed",
    "Tovan has already been populated",
    "Unknown error",
};

const char *core_error_text(uint32_t code)
{
    return tovan_error_strings[code > TOVAN_CORE_UNKNOWN_ERROR ? TOVAN_CORE_UNKNOWN_ERROR : code];
}

const char *core_version_string()
{
    return "tovan-core: 3.9.0_6670";
}

const char *core_name()
{
    return "tovan-core";
}

const char *core_version()
{
    return "3.9.0";
}

const char *core_build()
{
    return "6670";
}

uint8_t config_format_version()
{
    return 6;
}

uint8_t config_format_min_version()
{
    return 5;
}
