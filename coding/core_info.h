// Result codes of the coding core with their fixed texts, the identity of the
// core, and the range of parameter-body formats it reads.
#pragma once

#include <cstdint>

// Values are fixed: the interface layer maps each to its own error code.
enum core_result : uint32_t {
    TOVAN_CORE_OK = 0,
    TOVAN_CORE_EMPTY_MESSAGE = 1,
    TOVAN_CORE_INVALID_MESSAGE_LENGTH = 2,
    TOVAN_CORE_INVALID_IDENTIFIER = 3,
    TOVAN_CORE_INVALID_SYMBOL_SIZE = 4,
    TOVAN_CORE_INVALID_SYMBOL_COUNT = 5,
    TOVAN_CORE_INVALID_PROTOCOL = 6,
    TOVAN_CORE_UNKNOWN_SYMBOLS = 7,
    TOVAN_CORE_DECODE_FAILED = 8,
    TOVAN_CORE_ALREADY_POPULATED = 9,
    TOVAN_CORE_UNKNOWN_ERROR = 10,
};

// Indexed by code; 11 entries.
extern const char *const tovan_error_strings[11];

// Static text of a code; codes above 10 give the text of 10, "Unknown error".
const char *core_error_text(uint32_t code);

// Static texts, never freed: "tovan-core: 3.9.0_6670", "tovan-core", "3.9.0", "6670".
const char *core_version_string();
const char *core_name();
const char *core_version();
const char *core_build();

// Newest parameter-body format read (and the only one written), and oldest read.
uint8_t config_format_version();
uint8_t config_format_min_version();
