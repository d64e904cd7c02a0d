// Effect sweep: drives one borrowed oscillator from a start to an end
// frequency over a glide time, under a repeating attack and decay envelope.
#pragma once

#include "modem/transmitter/oscillator.h"

#include <cstdint>

struct sweep {
    uint32_t sample_rate;   // Hz
    float start_frequency;  // Hz
    float end_frequency;    // Hz; 0 = no glide
    float glide_time;       // seconds from start to end
    float attack;           // seconds of the rising part of the envelope
    float decay;            // seconds of the falling part
    uint32_t attack_samples; // trunc(sample_rate x attack)
    uint32_t decay_samples;  // trunc(sample_rate x decay)
    // Position in the envelope period of attack_samples + decay_samples
    // samples; kept below that period whenever either count changes.
    uint32_t counter;
    struct oscillator *oscillator; // borrowed: belongs to the transmitter
};

// NULL for a rate of 0, no oscillator, or exhausted memory.
sweep *new_sweep(uint32_t sample_rate, oscillator *osc);
// Frees the record only, never the oscillator. Accepts NULL.
void del_sweep(sweep *sw);

void sweep_set_start_frequency(sweep *sw, float hz);
void sweep_set_end_frequency(sweep *sw, float hz);
void sweep_set_glide_time(sweep *sw, float seconds);
void sweep_set_attack(sweep *sw, float seconds);
void sweep_set_decay(sweep *sw, float seconds);
// Also sets the oscillator's rate and recounts the envelope in samples.
void sweep_set_sample_rate(sweep *sw, uint32_t rate);
// Restarts the envelope and sets the oscillator on the start frequency, gliding
// to the end frequency when there is one (the oscillator keeps that glide time).
void sweep_start(sweep *sw);
// The oscillator's next sample times the envelope, in [-1, 1].
float sweep_next_sample(sweep *sw);
