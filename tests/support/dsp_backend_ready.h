// Some backends fill their vector operations only inside the first
// fft_backend_init of the process (the library always builds a spectrum
// analyser first). Tests that reach vector operations without an analyser of
// their own run one init here.
#pragma once

#include "dsp/backend/dsp_backend.h"

#include <gtest/gtest.h>

inline void prepare_dsp_backend()
{
    fft_backend fb = {};
    ASSERT_TRUE(fft_backend_init(&fb, 64));
    fft_backend_free(&fb);
}
