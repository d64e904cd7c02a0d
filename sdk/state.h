// The handle's state machine, the user callbacks, and the four hooks that
// turn transmitter and receiver events into state changes and callbacks.
#pragma once

#include "coding/tovan.h"
#include "sdk/handle.h"

#include <cstddef>
#include <cstdint>

struct transmitter;
struct receiver;

// 2 when the handle is not configured. Otherwise on_state_changed (current,
// new) runs when set, then the new state is stored, unless a call nested in
// that callback stored a state itself: the nested store is the later event
// and stands. 0.
sdk_error sdk_set_state(sdk_handle *handle, sdk_state new_state);

// True in RUNNING, SENDING and RECEIVING: the states that process audio.
// The handle must not be NULL.
bool sdk_is_running(const sdk_handle *handle);

// True while a user callback of the handle runs: the call that raised it goes
// on using the pipeline, so nothing may free or rebuild it, or feed it anew.
bool sdk_in_callback(const sdk_handle *handle);

// Runs a payload callback when set, with a fresh copy of `length` bytes
// (NULL and 0 stay NULL and 0) that is freed when the callback returns.
void sdk_fire_payload_callback(sdk_handle *handle,
                               void (*callback)(void *, const uint8_t *, size_t, uint8_t),
                               const uint8_t *bytes, size_t length, uint8_t channel);

// Transmitter callbacks, bound with the handle as user pointer.
void sdk_hook_sending(transmitter *t, const tovan *message, void *user);
void sdk_hook_sent(transmitter *t, const tovan *message, void *user);
// Receiver callbacks, bound with the handle as user pointer.
void sdk_hook_receiving(receiver *r, const tovan *message, void *user);
void sdk_hook_received(receiver *r, const tovan *message, void *user);
