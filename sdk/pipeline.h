// Building and tearing down the processing pipeline of a handle.
#pragma once

#include "sdk/handle.h"

// Releases every pipeline record the handle holds, in channel order for the
// receivers, and clears the fields and the initialised flag. Keeps the state,
// the callbacks and their user pointer, listen-to-self and the conversion
// buffers, and fires no callback. False for a NULL handle.
bool sdk_teardown_pipeline(sdk_handle *handle);
