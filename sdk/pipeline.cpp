#include "sdk/pipeline.h"

#include "runtime/memory_manager.h"

bool sdk_teardown_pipeline(sdk_handle *handle)
{
    if (handle == nullptr)
        return false;
    // Nothing builds the pipeline's records yet, so only the receiver array can
    // be present; the pipeline build deletes each record here once it exists.
    tracked_free(handle->receivers);
    handle->channel_count = 0;
    handle->transmitter = nullptr;
    handle->spectrum = nullptr;
    handle->input_frames = nullptr;
    handle->decoder_settings = nullptr;
    handle->protocol = nullptr;
    handle->initialised = false;
    return true;
}
