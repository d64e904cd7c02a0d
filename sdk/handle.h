// The record behind the opaque handle, and the configured test that every
// export needing a pipeline runs first.
#pragma once

#include "sdk/tovan_sdk.h"

#include <cstddef>
#include <cstdint>

// Records of the pipeline, each owned by its own family of functions.
struct protocol;
struct decoder_settings;
struct transmitter;
struct receiver;
struct spectrum_analyser;
struct frame_buffer;

// Between exported calls either the whole pipeline (protocol through every
// receiver) is present or none of it is.
struct sdk_handle {
    struct protocol *protocol;                 // owned; NULL while unconfigured
    struct decoder_settings *decoder_settings; // owned; NULL while unconfigured
    struct transmitter *transmitter;           // owned
    struct receiver **receivers;               // owned array of channel_count owned receivers; index = channel
    uint8_t channel_count;                     // the protocol's channel count while configured, else 0
    struct spectrum_analyser *spectrum;        // owned; its output is shared by every receiver
    struct frame_buffer *input_frames;         // owned input FIFO shared by every receiver
    sdk_state state;
    bool listen_to_self; // keep the transmission channel's receiver listening while sending
    bool initialised;    // a pipeline was built and not yet torn down; not part of the configured test
    sdk_callbacks callbacks;
    void *callback_ptr;                // the caller's; passed first to every callback, never owned
    float *shorts_input_buffer;        // grow-only int16 input conversion buffer
    size_t shorts_input_capacity;      // in samples
    float *shorts_output_buffer;       // grow-only int16 output conversion buffer
    size_t shorts_output_capacity;     // in samples
    // Whether this handle's memory_manager_init succeeded: only a holder may
    // release the tracked heap, or a handle made while the heap could not be
    // created would drop a hold that another handle took later.
    bool holds_memory_manager;
    float *scratch_buffer;   // grow-only render buffer of the playthrough; kept like the conversion buffers
    size_t scratch_capacity; // in samples
    // Nesting depth of user callbacks running now. While it is above 0 the
    // pipeline is in use further up the stack, so calls that would free or
    // rebuild it, and nested audio calls, are refused.
    uint32_t callback_depth;
    uint32_t state_stores;   // counts every store of `state`, so a store can tell a later nested one happened
    bool stopping;           // tovan_sdk_stop is flushing the receivers
    bool receiver_muted;     // the sending hook muted the receiver of muted_channel
    uint8_t muted_channel;   // unmuted by the sent hook whatever the transmission channel became meanwhile
    uint8_t sending_channel; // channel of the transmission in flight, as its sending hook reported it
};

// True when handle is not NULL and the whole pipeline is present.
bool sdk_is_initialised(const sdk_handle *handle);
// The handle's protocol or receiver settings when it is configured, else NULL.
struct protocol *sdk_get_protocol(const sdk_handle *handle);
struct decoder_settings *sdk_get_decoder_settings(const sdk_handle *handle);
