// The one process-wide MT19937 generator shared by every handle, and the wall
// clock that seeds it.
#pragma once

#include <cstdint>

uint32_t random_next_u32();
void random_set_seed(uint32_t seed);
uint32_t random_get_seed();
void random_seed_from_clock();
// A value in [lo, hi); hi itself when hi == lo, without drawing a number.
uint64_t random_range(uint64_t lo, uint64_t hi);
// lo + r x 2^-32 x (hi - lo) in single precision: hi itself is reachable.
float random_range_float(float lo, float hi);

// Seconds since the epoch, with microsecond steps.
double clock_seconds();

// Test-only: back to the state the process starts in (never seeded, last seed
// 0), so that the first draw seeds with the default seed again.
void random_forget_seed();
