#include "sdk/handle.h"

#include "runtime/memory_manager.h"
#include "runtime/random.h"
#include "sdk/pipeline.h"

namespace {

constexpr uint32_t kNoFigure = 0xFFFFFFFFu;

} // namespace

bool sdk_is_initialised(const sdk_handle *handle)
{
    if (handle == nullptr || handle->protocol == nullptr || handle->decoder_settings == nullptr ||
        handle->transmitter == nullptr || handle->spectrum == nullptr || handle->input_frames == nullptr ||
        handle->receivers == nullptr)
        return false;
    for (uint32_t i = 0; i < handle->channel_count; ++i)
        if (handle->receivers[i] == nullptr)
            return false;
    return true;
}

struct protocol *sdk_get_protocol(const sdk_handle *handle)
{
    return sdk_is_initialised(handle) ? handle->protocol : nullptr;
}

struct decoder_settings *sdk_get_decoder_settings(const sdk_handle *handle)
{
    return sdk_is_initialised(handle) ? handle->decoder_settings : nullptr;
}

sdk_handle *new_tovan_sdk(void)
{
    const bool holds = memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW);
    sdk_handle *handle = tracked_alloc<sdk_handle>(1);
    if (handle == nullptr) {
        if (holds)
            memory_manager_release();
        return nullptr;
    }
    // The block comes zeroed: no pipeline, no callbacks, no conversion buffers.
    handle->state = TOVAN_SDK_STATE_NOT_CONFIGURED;
    handle->listen_to_self = false;
    handle->channel_count = 0;
    handle->holds_memory_manager = holds;
    random_seed_from_clock();
    return handle;
}

sdk_error del_tovan_sdk(sdk_handle **handle)
{
    if (handle == nullptr || *handle == nullptr)
        return TOVAN_SDK_NULL_POINTER;
    sdk_handle *h = *handle;
    // The call that raised the callback goes on using the pipeline afterwards.
    if (h->callback_depth > 0)
        return TOVAN_SDK_PROCESSING_ERROR;
    sdk_teardown_pipeline(h);
    tracked_free(h->shorts_input_buffer);
    tracked_free(h->shorts_output_buffer);
    tracked_free(h->scratch_buffer);
    const bool holds = h->holds_memory_manager;
    tracked_free(h);
    *handle = nullptr;
    if (!holds)
        return TOVAN_SDK_OK; // nothing was counted for this handle: there is no figure to judge
    // Read before the release: the last release destroys the counters.
    const uint32_t in_use = memory_manager_get_usage();
    memory_manager_release();
    return in_use != 0 ? TOVAN_SDK_MEMORY_LEAK : TOVAN_SDK_OK;
}

void tovan_sdk_free(void *block)
{
    tracked_free(block);
}

uint32_t tovan_sdk_get_heap_usage(const sdk_handle *handle)
{
    if (!sdk_is_initialised(handle))
        return kNoFigure;
    // Header bytes are a multiple of 8 while the tracked heap exists, so their
    // sentinel alone tells that there is nothing to add up.
    const uint32_t header_bytes = memory_manager_get_header_bytes();
    if (header_bytes == kNoFigure)
        return kNoFigure;
    return memory_manager_get_usage() + header_bytes + static_cast<uint32_t>(memory_manager_get_overhead());
}
