// Symbol values as k-tone sets of an n-tone channel, by the combinatorial
// number system (colex order): the set {t_0 < t_1 < ... < t_(k-1)} has the
// rank sum C(t_i, i + 1). A symbol carries m bits, the largest power of two
// not above C(n, k), so the values 0 to 2^m - 1 are the ranks in use.
//
// Binomials are exact: the memo holds every C(t, j) for t <= n, j <= k,
// saturated at 2^64 - 1 where the true value is larger (no rank or unrank of
// an accepted table ever reads such an entry).
#pragma once

#include <cstdint>

struct combination_table {
    uint16_t n;        // tones, at most 256
    uint8_t k;         // tones per symbol, at most n
    uint64_t capacity; // symbol values, 2^m
    uint64_t *memo;    // owned, (n + 1) x (k + 1): C(t, j) at t * (k + 1) + j
};

// Exact C(n, k), 0 for k > n, 1 for k = 0; 2^64 - 1 when C(n, k) >= 2^64.
uint64_t n_choose_k(uint16_t n, uint16_t k);

// None when k > n, n > 256, memory runs out, or the alphabet lies outside the
// 64-bit data model: the multiply-then-divide binomial loop (multiply by
// n - k + 1 .. n in turn, dividing out 1, 2, ... k as soon as each divides)
// would overflow 64 bits. For power-of-two n that refuses 64 tones with k in
// {28, 30, 31, 32, 34, 36, 38}, 128 tones with k = 14 and 16..114, and 256
// tones with k = 12..246.
combination_table *new_combination_table(uint16_t n, uint8_t k);
combination_table *copy_combination_table(const combination_table *source);
// Accepts NULL and half-built tables.
void del_combination_table(combination_table *table);

// m, the bits one symbol carries (0 for k = 0).
uint8_t combination_table_bits(const combination_table *table);
// C(t, j): from the memo when t <= n and j <= k, else computed.
uint64_t combination_table_choose(const combination_table *table, uint16_t t, uint16_t j);
// Symbol value of k tone indices, sorted ascending in place; all ones for a
// repeated index, an index >= n, or a rank at or above the capacity. With
// k = 1 the index itself, unchecked and unsorted.
uint64_t combination_rank(const combination_table *table, uint8_t *tones);
// 0 with the k tone indices of value written to out in ascending order; 1,
// with out untouched, when value >= capacity.
uint8_t combination_unrank(const combination_table *table, uint64_t value, uint8_t *out);
// qsort comparator for tone indices: -1, 0 or 1.
int sort_uint8_array(const void *a, const void *b);
