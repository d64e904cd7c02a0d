// The config string driver: the character test, the text's decoding into a
// body format version and a parameter body, the reading of the body into the
// protocol and the receiver settings, and the writers' way back to a config
// string.
//
// Text layout: strict standard base64 (config_text.h) of one format byte
// followed by the body: the protocol part, then the receiver-settings part.
#pragma once

#include "coding/protocol.h"
#include "modem/receiver/decoder_settings.h"
#include "sdk/handle.h"

// True when every character up to the NUL is in A-Z, a-z, 0-9, '+', '/' or
// '='; true for the empty text, false for NULL.
bool config_has_valid_charset(const char *text);

// Reads the config into a new protocol and receiver settings and stores them
// in the handle (whatever it held there is not looked at). Codes in check
// order: 22 NULL handle or text; 50 a character outside the alphabet; 46 text
// that is not strict base64 (the empty text included), 1 no memory for the
// decoded bytes; 48 a format other than 5 or 6; 3 an unreadable protocol part,
// 3 an unreadable settings part; 46 bytes left over after both; 0.
sdk_error sdk_parse_config(sdk_handle *handle, const char *config);

// The config string, format 6, of a protocol and receiver settings, in a
// fresh NUL-terminated tracked block; NULL for a NULL record or when memory
// runs out.
char *sdk_config_to_text(const protocol *p, const decoder_settings *settings);
// The "standard" config string: the default protocol with the default
// receiver settings. NULL when memory runs out.
char *sdk_standard_config_text();
