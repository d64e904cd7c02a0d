// Texts of the configuration layer's own result rows; the interface's error
// texts for invalid configs come from here.
#pragma once

#include <cstdint>

// Where users get their configs, named in the texts of codes 46 and 48.
#ifndef TOVAN_SDK_DEVELOPER_SITE
#define TOVAN_SDK_DEVELOPER_SITE "your config provider"
#endif

// Row 0 "No error.", row 7 the invalid-config text, row 9 the config-version
// text; any other row "Unknown error.". Static texts.
const char *config_error_text(uint32_t code);
