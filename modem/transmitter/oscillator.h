// Wavetable sine generator with a continuously running phase and a linear
// frequency glide: a tone moves to the next symbol's frequency without a jump
// in phase. The transmitter owns one per tone of a symbol.
#pragma once

#include <cstdint>

struct oscillator {
    uint32_t sample_rate; // Hz
    uint16_t table_size;  // 4096 positions per period
    float frequency;      // Hz; 0 = nothing sounding yet
    float glide_time;     // seconds a glide takes
    // table_size + 1 entries of 0.99 x sin: the extra entry (sin of the float
    // 2 pi, almost 0) lets interpolation read i + 1 without wrapping.
    float *table;
    float phase;        // table position, always in [0, table_size); never reset
    float increment;    // table positions per sample
    float glide_target; // Hz the glide heads for; 0 = no glide in progress
    float glide_step;   // Hz added per sample while gliding
};

// Silent (frequency 0) at phase 0. NULL for a rate of 0 or exhausted memory.
oscillator *new_oscillator(uint32_t sample_rate);
// Accepts NULL and half-built records.
void del_oscillator(oscillator *osc);

// One glide step (while gliding), then the interpolated table value at the
// phase before this call's advance. Silence (0) while the increment is not
// finite; the phase then stays where it was.
float oscillator_next_sample(oscillator *osc);
void oscillator_set_sample_rate(oscillator *osc, uint32_t rate);
// Sets the frequency at once; a glide in progress is left pending.
void oscillator_set_frequency(oscillator *osc, float hz);
void oscillator_set_glide_time(oscillator *osc, float seconds);
// Jumps (ending any glide) while silent or with a glide time of 0, glides over
// the glide time when it is positive, and does nothing when it is negative.
void oscillator_glide_to(oscillator *osc, float hz);
