#include "sdk/config.h"

#include "coding/core_info.h"
#include "modem/receiver/detector_settings.h"
#include "runtime/memory_manager.h"
#include "sdk/config_text.h"
#include "sdk/pipeline.h"
#include "sdk/state.h"

#include <cstring>

namespace {

bool in_alphabet(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
           c == '=';
}

// Bytes the writers produce for each part, format 6.
uint64_t protocol_part_size(const protocol *p)
{
    const uint64_t name = std::strlen(p->name);
    return 52 + name + 8 * static_cast<uint64_t>(p->modulation->frontdoor_count) + p->modulation->pattern->length;
}

uint64_t settings_part_size(const decoder_settings *s)
{
    uint64_t name = std::strlen(s->name);
    if (name > UINT8_MAX)
        name = UINT8_MAX; // the writer cuts longer names
    const uint64_t detectors = s->detector_count;
    const uint64_t points = detectors > 0 ? s->detectors[0].curve_points : 0;
    return 11 + name + 17 * detectors + 8 * points * detectors;
}

} // namespace

bool config_has_valid_charset(const char *text)
{
    if (text == nullptr)
        return false;
    for (const char *c = text; *c != '\0'; ++c)
        if (!in_alphabet(*c))
            return false;
    return true;
}

sdk_error sdk_parse_config(sdk_handle *handle, const char *config)
{
    if (handle == nullptr || config == nullptr)
        return TOVAN_SDK_NULL_POINTER;
    if (!config_has_valid_charset(config))
        return TOVAN_SDK_INVALID_CONFIG_CHARACTER;
    uint8_t *bytes = nullptr;
    uint64_t length = 0;
    switch (config_text_decode(config, &bytes, &length)) {
    case CONFIG_TEXT_OK:
        break;
    case CONFIG_TEXT_OUT_OF_MEMORY:
        return TOVAN_SDK_OUT_OF_MEMORY;
    default:
        return TOVAN_SDK_INVALID_CONFIG;
    }
    // Decoding yields at least one byte: the format, then the body.
    const uint8_t format = bytes[0];
    const uint8_t *body = bytes + 1;
    const uint64_t body_length = length - 1;
    if (format < config_format_min_version() || format > config_format_version()) {
        tracked_free(bytes);
        return TOVAN_SDK_INVALID_CONFIG_VERSION;
    }
    uint64_t position = 0;
    protocol *p = protocol_from_bytes(body, body_length, &position, format);
    if (p == nullptr) {
        tracked_free(bytes);
        return TOVAN_SDK_INTERNAL_ERROR;
    }
    decoder_settings *settings = decoder_settings_from_bytes(body, body_length, &position, format);
    tracked_free(bytes);
    if (settings == nullptr) {
        del_protocol(p);
        return TOVAN_SDK_INTERNAL_ERROR;
    }
    if (position != body_length) {
        del_decoder_settings(settings);
        del_protocol(p);
        return TOVAN_SDK_INVALID_CONFIG;
    }
    handle->protocol = p;
    handle->decoder_settings = settings;
    return TOVAN_SDK_OK;
}

char *sdk_config_to_text(const protocol *p, const decoder_settings *settings)
{
    if (p == nullptr || settings == nullptr)
        return nullptr;
    const uint64_t length = 1 + protocol_part_size(p) + settings_part_size(settings);
    uint8_t *bytes = tracked_alloc<uint8_t>(length);
    if (bytes == nullptr)
        return nullptr;
    bytes[0] = config_format_version();
    uint64_t position = 1;
    protocol_to_bytes(p, bytes, &position);
    decoder_settings_to_bytes(settings, bytes, &position);
    char *text = config_text_encode(bytes, position);
    tracked_free(bytes);
    return text;
}

char *sdk_standard_config_text()
{
    protocol *p = new_default_protocol();
    decoder_settings *settings = new_default_decoder_settings();
    char *text = sdk_config_to_text(p, settings);
    del_decoder_settings(settings);
    del_protocol(p);
    return text;
}

sdk_error tovan_sdk_set_config(sdk_handle *handle, const char *config)
{
    if (handle == nullptr || config == nullptr)
        return TOVAN_SDK_NULL_POINTER;
    // The call that raised the callback goes on using the pipeline afterwards.
    if (sdk_in_callback(handle))
        return TOVAN_SDK_PROCESSING_ERROR;
    // The state value, callbacks, their user pointer and listen-to-self stay:
    // a failed config leaves the handle unconfigured but reporting its state.
    if (handle->initialised)
        sdk_teardown_pipeline(handle);
    if (const sdk_error e = sdk_parse_config(handle, config); e != TOVAN_SDK_OK)
        return e;
    if (const sdk_error e = sdk_build_pipeline(handle); e != TOVAN_SDK_OK)
        return e;
    return sdk_set_state(handle, TOVAN_SDK_STATE_STOPPED);
}
