// Polynomials over GF(2^m) as plain byte arrays, highest degree first.
#pragma once

#include "coding/gf/gf.h"

#include <cstdint>

// data[0] is the coefficient of x^(length-1), data[length-1] the constant
// term. Leading zeros are allowed and count in the length.
//
// Ownership: every operation returns a new block that the caller frees with
// del_gf_poly; arguments are only read (gf_poly_append alone takes its
// argument over). An empty result still has a block (length 0).
//
// Exhausted memory: a result whose `data` is NULL (gf_poly_failed) means
// the operation could not get its memory; nothing stays allocated. Such a
// value passed on makes the next operation fail too, so an empty polynomial
// always has a block of its own.
struct gf_poly {
    uint8_t *data;
    uint64_t length;
};

inline bool gf_poly_failed(gf_poly p)
{
    return p.data == nullptr;
}

// A zero-filled polynomial of `length` coefficients, `data` copied in when
// it is not NULL.
gf_poly new_gf_poly(const uint8_t *data, uint64_t length);
gf_poly copy_gf_poly(const uint8_t *data, uint64_t length); // same as new_gf_poly
// Frees the block and empties the value. NULL and empty values are allowed.
void del_gf_poly(gf_poly *poly);

gf_poly reverse_gf_poly(gf_poly p);
// Coefficients [start, end), both clamped to the length; start >= end gives
// an empty polynomial.
gf_poly trim_gf_poly(gf_poly p, uint64_t start, uint64_t end);
gf_poly gf_poly_scale(const gf *field, gf_poly p, uint8_t x);
// Sum aligned at the constant term, as long as the longer operand.
gf_poly gf_poly_add(gf_poly a, gf_poly b);
// Product, length(a) + length(b) - 1 coefficients; empty when either
// operand is empty.
gf_poly gf_poly_mul(const gf *field, gf_poly a, gf_poly b);
// Remainder only, length(divisor) - 1 coefficients. The divisor is taken as
// monic: divisor.data[0] is never read. A dividend shorter than the divisor
// comes back as a copy; an empty divisor gives an empty remainder.
gf_poly gf_poly_div(const gf *field, gf_poly dividend, gf_poly divisor);
// Horner's rule from data[0]; 0 for an empty polynomial.
uint8_t gf_poly_eval(const gf *field, gf_poly p, uint8_t x);
// The coefficients followed by n zeros.
gf_poly gf_poly_zero_pad(gf_poly p, uint32_t n);
// From the first non-zero coefficient to the end; all-zero gives empty.
gf_poly gf_poly_strip_leadingzero(gf_poly p);
gf_poly gf_poly_concatenate(gf_poly a, gf_poly b);
// Takes `p` over and returns it one coefficient longer, `value` last. On
// exhausted memory the block of `p` is freed and the result has failed.
gf_poly gf_poly_append(gf_poly p, uint8_t value);
// The largest coefficient; 0 for an empty polynomial.
uint8_t gf_poly_max(gf_poly p);
// Prints nothing: the library writes no output of its own.
void gf_poly_print(gf_poly p);
