// The built-in "standard" receiver settings: five detectors for 44100 Hz audio
// with a 2048-point FFT and a hop of 64 samples. Detector 0 works without a
// noise filter; the others subtract ever more of the noise floor while looking
// 10 or 20 frames earlier or later. Every constant is the exact f32 value the
// tuning produced, written with an f suffix so no double rounding creeps in.
#include "modem/receiver/decoder_settings.h"

namespace {

constexpr uint8_t kDetectors = 5;
constexpr uint8_t kPoints = 34;

const float kSmoothing[kDetectors] = {0.95f, 0.95f, 0.95f, 0.95f, 0.95f};
const float kSubtraction[kDetectors] = {0.0f, 0.1875f, 0.375f, 0.5625f, 0.75f};
const int8_t kTimeShift[kDetectors] = {0, -10, 10, -20, 20};
const float kThreshold[kDetectors] = {0.85f, 0.8553409f, 0.8968689f, 0.83824456f, 0.8795767f};
const float kWindowFactor[kDetectors] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f};

// Shared Hz points of the five curves. The first and last bracket every bin
// of a 44100 Hz spectrum.
const float kHz[kPoints] = {0.0f,    20.0f,   25.0f,   31.5f,   40.0f,    50.0f,    63.0f,    80.0f,    100.0f,
                            125.0f,  160.0f,  200.0f,  250.0f,  315.0f,   400.0f,   500.0f,   630.0f,   800.0f,
                            1000.0f, 1250.0f, 1600.0f, 2000.0f, 2500.0f,  3150.0f,  4000.0f,  5000.0f,  6300.0f,
                            8000.0f, 9000.0f, 10000.0f, 12500.0f, 15000.0f, 20000.0f, 25100.0f};

// dB per detector and point. Curves 1 and 2 are the same; all five agree
// below 500 Hz and from 12500 Hz up.
const float kDb[kDetectors][kPoints] = {
    {-75.8f, -70.1f, -60.8f, -52.1f, -44.2f, -37.5f, -31.3f, -25.6f, -20.9f, -16.5f, -12.6f, -9.6f,
     -7.0f,  -4.7f,  -3.0f,  -2.8f,  -2.8f,  -2.8f,  -2.2f,  -1.0f,  0.5f,   -4.6f,  -3.2f,  2.4f,
     5.8f,   8.1f,   8.3f,   9.4f,   12.1f,  14.8f,  16.2f,  17.4f,  -17.8f, -17.8f},
    {-75.8f,     -70.1f,     -60.8f,     -52.1f,     -44.2f,    -37.5f,      -31.3f,     -25.6f,     -20.9f,
     -16.5f,     -12.6f,     -9.6f,      -7.0f,      -4.7f,     -3.0f,       -1.9707962f, -8.434592f, 3.3873012f,
     -7.9576716f, 6.9657784f, 1.449319f,  -8.685491f, -1.0269811f, -7.9480467f, 2.054163f,  -0.385031f,
     2.762329f,  15.991615f, 15.467741f, 21.836155f, 16.2f,     17.4f,       -17.8f,     -17.8f},
    {-75.8f,     -70.1f,     -60.8f,     -52.1f,     -44.2f,    -37.5f,      -31.3f,     -25.6f,     -20.9f,
     -16.5f,     -12.6f,     -9.6f,      -7.0f,      -4.7f,     -3.0f,       -1.9707962f, -8.434592f, 3.3873012f,
     -7.9576716f, 6.9657784f, 1.449319f,  -8.685491f, -1.0269811f, -7.9480467f, 2.054163f,  -0.385031f,
     2.762329f,  15.991615f, 15.467741f, 21.836155f, 16.2f,     17.4f,       -17.8f,     -17.8f},
    {-75.8f,     -70.1f,      -60.8f,     -52.1f,     -44.2f,     -37.5f,     -31.3f,    -25.6f,
     -20.9f,     -16.5f,      -12.6f,     -9.6f,      -7.0f,      -4.7f,      -3.0f,     -8.044032f,
     -7.931137f, -2.2894864f, 2.0937643f, 8.152736f,  2.0019336f, -4.4408727f, -0.4764173f, 3.8795848f,
     3.0046208f, 5.994241f,   7.33177f,   14.232887f, 17.164663f, 18.750721f, 16.2f,     17.4f,
     -17.8f,     -17.8f},
    {-75.8f,     -70.1f,     -60.8f,    -52.1f,     -44.2f,     -37.5f,    -31.3f,     -25.6f,
     -20.9f,     -16.5f,     -12.6f,    -9.6f,      -7.0f,      -4.7f,     -3.0f,      -8.768735f,
     -2.1375334f, -1.137971f, -11.397876f, 7.290958f, -1.8564172f, -5.7138968f, -0.9060364f, 4.3613067f,
     4.455061f,  10.305079f, 13.271844f, 19.534855f, 12.690742f, 19.011894f, 16.2f,     17.4f,
     -17.8f,     -17.8f},
};

} // namespace

decoder_settings *new_default_decoder_settings()
{
    float points[kDetectors][2 * kPoints];
    const float *curves[kDetectors];
    for (uint32_t d = 0; d < kDetectors; ++d) {
        for (uint32_t i = 0; i < kPoints; ++i) {
            points[d][2 * i] = kHz[i];
            points[d][2 * i + 1] = kDb[d][i];
        }
        curves[d] = points[d];
    }
    return new_decoder_settings("standard", 0, 64, kDetectors, 44100, 2048, kSmoothing, kSubtraction, kTimeShift,
                                kPoints, curves, kThreshold, kWindowFactor);
}
