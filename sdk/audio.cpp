// The audio calls: captured samples in, samples to play out, as floats or
// int16, both at once, or the handle's own output looped back into its input.
#include "sdk/audio.h"

#include "dsp/backend/dsp_backend.h"
#include "dsp/frame_buffer.h"
#include "dsp/spectrum_analyser.h"
#include "modem/receiver/receiver.h"
#include "modem/transmitter/transmitter.h"
#include "runtime/memory_manager.h"
#include "sdk/state.h"

#include <cstdint>
#include <cstring>

namespace {

// The checks every audio call opens with, in order: 2, 25 (raised from inside
// one of the handle's callbacks, whose caller is still using the pipeline),
// 21 for a NULL buffer, 6 below RUNNING.
sdk_error audio_entry(const sdk_handle *h, bool buffers_present)
{
    if (!sdk_is_initialised(h))
        return TOVAN_SDK_NOT_INITIALISED;
    if (sdk_in_callback(h))
        return TOVAN_SDK_PROCESSING_ERROR;
    if (!buffers_present)
        return TOVAN_SDK_NULL_BUFFER;
    if (!sdk_is_running(h))
        return TOVAN_SDK_NOT_RUNNING;
    return TOVAN_SDK_OK;
}

// Zeroes out[0..n) and renders the next n samples of the transmission into
// it; the render stores rather than adds and writes nothing while idle. The
// sent hook runs inside when the transmission ends here.
void render(sdk_handle *h, float *out, size_t n)
{
    // A first call for 0 samples brings no buffer: the grow-only ones start
    // empty, and memset must not see NULL even for no bytes.
    if (n > 0)
        std::memset(out, 0, n * sizeof(float));
    transmitter_render(h->transmitter, out, n);
}

// Grows a float buffer to exactly n samples when it holds fewer. False, the
// buffer and capacity kept, when memory runs out.
bool grow(float *&buffer, size_t &capacity, size_t n)
{
    if (n <= capacity)
        return true;
    if (n > SIZE_MAX / sizeof(float))
        return false;
    float *bigger = buffer == nullptr ? tracked_alloc<float>(n) : tracked_realloc(buffer, n);
    if (bigger == nullptr)
        return false;
    buffer = bigger;
    capacity = n;
    return true;
}

// The conversions count in 32 bits; a size_t count goes in slices.
constexpr size_t kSlice = UINT32_MAX;

void shorts_to_floats(const int16_t *in, float *out, size_t n)
{
    for (size_t done = 0; done < n;) {
        const size_t count = n - done < kSlice ? n - done : kSlice;
        int16_to_float(in + done, out + done, static_cast<uint32_t>(count));
        done += count;
    }
}

void floats_to_shorts(const float *in, int16_t *out, size_t n)
{
    for (size_t done = 0; done < n;) {
        const size_t count = n - done < kSlice ? n - done : kSlice;
        float_to_int16(in + done, out + done, static_cast<uint32_t>(count));
        done += count;
    }
}

// The int16 output path after its checks.
sdk_error render_shorts(sdk_handle *h, int16_t *output, size_t n)
{
    if (!grow(h->shorts_output_buffer, h->shorts_output_capacity, n))
        return TOVAN_SDK_OUT_OF_MEMORY;
    render(h, h->shorts_output_buffer, n);
    floats_to_shorts(h->shorts_output_buffer, output, n);
    return TOVAN_SDK_OK;
}

// After feeding, a callback may have stopped the handle: the output the
// caller gets then is silence, never what its buffer held before.
sdk_error recheck(const sdk_handle *h)
{
    if (!sdk_is_initialised(h))
        return TOVAN_SDK_NOT_INITIALISED;
    return sdk_is_running(h) ? TOVAN_SDK_OK : TOVAN_SDK_NOT_RUNNING;
}

} // namespace

bool sdk_feed_input(sdk_handle *handle, const float *samples, size_t count)
{
    if (count > UINT64_MAX / sizeof(float))
        return false;
    if (!frame_buffer_push(handle->input_frames, samples, static_cast<uint64_t>(count) * sizeof(float)))
        return false;
    const void *frame = nullptr;
    while (sdk_is_running(handle) && (frame = frame_buffer_pop(handle->input_frames)) != nullptr) {
        const float *spectrum = spectrum_analyser_process(handle->spectrum, static_cast<const float *>(frame));
        for (uint32_t i = 0; i < handle->channel_count && sdk_is_running(handle); ++i)
            receiver_process_frame(handle->receivers[i], spectrum);
    }
    if (!sdk_is_running(handle)) {
        // Stopped from a callback. The hooks ignore what these resets report.
        frame_buffer_reset(handle->input_frames);
        for (uint32_t i = 0; i < handle->channel_count; ++i)
            receiver_reset(handle->receivers[i]);
    }
    return true;
}

sdk_error tovan_sdk_process_input(sdk_handle *handle, const float *input, size_t n)
{
    if (const sdk_error e = audio_entry(handle, input != nullptr); e != TOVAN_SDK_OK)
        return e;
    return sdk_feed_input(handle, input, n) ? TOVAN_SDK_OK : TOVAN_SDK_PROCESSING_ERROR;
}

sdk_error tovan_sdk_process_output(sdk_handle *handle, float *output, size_t n)
{
    if (const sdk_error e = audio_entry(handle, output != nullptr); e != TOVAN_SDK_OK)
        return e;
    render(handle, output, n);
    return TOVAN_SDK_OK;
}

sdk_error tovan_sdk_process(sdk_handle *handle, const float *input, float *output, size_t n)
{
    if (const sdk_error e = audio_entry(handle, input != nullptr && output != nullptr); e != TOVAN_SDK_OK)
        return e;
    if (!sdk_feed_input(handle, input, n))
        return TOVAN_SDK_PROCESSING_ERROR; // the output is left as it was
    if (const sdk_error e = recheck(handle); e != TOVAN_SDK_OK) {
        std::memset(output, 0, n * sizeof(float));
        return e;
    }
    render(handle, output, n);
    return TOVAN_SDK_OK;
}

sdk_error tovan_sdk_process_shorts_input(sdk_handle *handle, const int16_t *input, size_t n)
{
    if (const sdk_error e = audio_entry(handle, input != nullptr); e != TOVAN_SDK_OK)
        return e;
    if (!grow(handle->shorts_input_buffer, handle->shorts_input_capacity, n))
        return TOVAN_SDK_OUT_OF_MEMORY;
    shorts_to_floats(input, handle->shorts_input_buffer, n);
    return sdk_feed_input(handle, handle->shorts_input_buffer, n) ? TOVAN_SDK_OK : TOVAN_SDK_PROCESSING_ERROR;
}

sdk_error tovan_sdk_process_shorts_output(sdk_handle *handle, int16_t *output, size_t n)
{
    if (const sdk_error e = audio_entry(handle, output != nullptr); e != TOVAN_SDK_OK)
        return e;
    return render_shorts(handle, output, n);
}

sdk_error tovan_sdk_process_shorts(sdk_handle *handle, const int16_t *input, int16_t *output, size_t n)
{
    if (!sdk_is_initialised(handle))
        return TOVAN_SDK_NOT_INITIALISED;
    if (sdk_in_callback(handle))
        return TOVAN_SDK_PROCESSING_ERROR;
    if (input == nullptr || output == nullptr)
        return TOVAN_SDK_NULL_BUFFER;
    if (const sdk_error e = tovan_sdk_process_shorts_input(handle, input, n); e != TOVAN_SDK_OK)
        return e; // nothing rendered, the output left as it was
    if (const sdk_error e = recheck(handle); e != TOVAN_SDK_OK) {
        std::memset(output, 0, n * sizeof(int16_t));
        return e;
    }
    return render_shorts(handle, output, n);
}

sdk_error tovan_sdk_process_playthrough(sdk_handle *handle, size_t n)
{
    if (const sdk_error e = audio_entry(handle, true); e != TOVAN_SDK_OK)
        return e;
    if (!grow(handle->scratch_buffer, handle->scratch_capacity, n))
        return TOVAN_SDK_OUT_OF_MEMORY;
    // Output-rate samples go to input-rate receivers as they are: with the two
    // rates apart, every tone is heard shifted.
    render(handle, handle->scratch_buffer, n);
    if (const sdk_error e = recheck(handle); e != TOVAN_SDK_OK)
        return e;
    return sdk_feed_input(handle, handle->scratch_buffer, n) ? TOVAN_SDK_OK : TOVAN_SDK_PROCESSING_ERROR;
}
