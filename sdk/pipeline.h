// Building and tearing down the processing pipeline of a handle.
#pragma once

#include "sdk/handle.h"

// Builds the transmitter (at the receiver settings' sample rate, on a random
// channel when the protocol has two or more), the input FIFO of 64 frames,
// the spectrum analyser and one receiver per channel around the protocol and
// receiver settings already stored in the handle, and binds the four hooks.
// 0 on success (initialised set). On failure, 3, or 1 when the receiver array
// cannot be had: everything built here is released, and the stored protocol
// and settings with it, so the handle is left unconfigured with its state
// value untouched.
sdk_error sdk_build_pipeline(sdk_handle *handle);

// Releases every pipeline record the handle holds, in channel order for the
// receivers, and clears the fields and the initialised flag. Keeps the state,
// the callbacks and their user pointer, listen-to-self and the conversion
// buffers, and fires no callback: a transmission or reception under way ends
// silently. False for a NULL handle.
bool sdk_teardown_pipeline(sdk_handle *handle);
