// The input path shared by every process call: samples into the frame FIFO,
// each whole frame through the spectrum analyser and every receiver.
#pragma once

#include "sdk/handle.h"

#include <cstddef>

// Pushes `count` samples (borrowed; NULL allowed for 0) and processes every
// whole frame, receivers in channel order. False, with nothing of the block
// processed, when the FIFO cannot take it. A callback that stops the handle
// ends the feeding: the rest of the block is dropped and every receiver is
// reset again, since the one being fed went on reading its frame. True
// otherwise, also when no whole frame was ready.
bool sdk_feed_input(sdk_handle *handle, const float *samples, size_t count);
