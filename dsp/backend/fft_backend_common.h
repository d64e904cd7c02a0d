// What every backend's fft_backend_init shares, so the builds agree on which
// sizes exist and on the window values.
#pragma once

#include <cstdint>

// Powers of two from 2 to 32768: the only sizes any backend transforms. Other
// sizes come only from a bad config and would make a transform run outside its
// arrays.
bool fft_backend_size_supported(uint32_t n);

// Value i of the symmetric n-point Hann window (n >= 2) in single precision:
// (1 - cos(i x 2pi / (n - 1))) x 0.5, with 2pi taken as the float 6.2831855 and
// every step in float. It is exactly half of a float, so a double-precision
// backend that widens (1 - cos) and halves in double gets the same value.
float hann_window_value(uint32_t i, uint32_t n);

// The window and frame arrays of a single-precision backend, n floats each,
// allocated in that order with the window filled. On failure nothing stays
// allocated and both pointers are null.
bool new_float_window_and_frame(uint32_t n, float **window, float **frame);
