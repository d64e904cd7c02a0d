// Spectrum analyser: turns one frame of n float samples into the backend's
// power spectrum, n/2 bins, bin k = |X_k|^2 of the Hann-windowed frame at
// k x sample rate / n. One analyser serves every receiver of a handle.
#pragma once

#include "dsp/backend/dsp_backend.h"

#include <cstdint>

struct spectrum_analyser {
    uint16_t n;          // FFT size, samples
    bool normalise;      // when set, bins become sqrt(power) x 4/n; false at creation
    fft_backend backend; // its `power` array is the analyser's output
};

// None when n is not a power of two from 2 to 32768, or memory runs out.
spectrum_analyser *new_spectrum_analyser(uint32_t n);
// Spectrum of `frame` (n samples, read only). The result is the analyser's own
// array: overwritten by the next call, valid until del_spectrum_analyser, and
// read-only for users, who copy it before changing anything.
const float *spectrum_analyser_process(spectrum_analyser *sa, const float *frame);
void spectrum_analyser_set_normalise(spectrum_analyser *sa, bool on);
// NULL is ignored.
void del_spectrum_analyser(spectrum_analyser *sa);
