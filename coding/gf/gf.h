// The Galois field GF(2^m) under the Reed-Solomon code, as exponent and
// logarithm tables, with the element operations the code is built from.
// The system only ever makes m = 8 (primitive polynomial 0x11D, generator 2).
#pragma once

#include <cstdint>

struct gf {
    uint8_t m;          // bits of an element, 2 to 8
    uint32_t primitive; // primitive polynomial, from the fixed table by m
    uint32_t size;      // 2^m - 1 non-zero elements; also the element mask
    uint8_t *exp;       // 2 x size bytes: exp[i] = 2^i, second half repeats the first
    uint8_t *log;       // size + 1 bytes: log[2^i] = i; log[0] is 0 and means nothing
};

// A field with its tables. NULL for m outside 2..8 (table entries are bytes)
// or when memory runs out; nothing stays allocated then.
gf *new_gf(uint8_t m);
// A deep copy; NULL when memory runs out.
gf *copy_gf(const gf *field);
// Frees the tables and the record. NULL is allowed.
void del_gf(gf *field);

// Element operations. Elements are bytes; the field is only read.
uint8_t gf_add(uint8_t a, uint8_t b); // XOR: also subtraction
// Table-free product: carry-less multiplication reduced by the primitive.
uint8_t gf_mul(const gf *field, uint8_t a, uint8_t b);
// x^p by p successive products; 1 when p = 0, also for x = 0.
uint8_t gf_pow(const gf *field, uint8_t x, uint8_t p);
// Through the tables. The inverse of 0 is reported as 1.
uint8_t gf_inverse(const gf *field, uint8_t x);
// x^p through the tables; negative p gives powers of the inverse.
uint8_t gf_pow2(const gf *field, uint8_t x, int32_t p);
// The field division a / b; 0 when a or b is 0.
uint8_t gf_div2(const gf *field, uint8_t a, uint8_t b);
// Shift-and-add product; 0 when y = 0.
uint8_t gf_mul_noLUT(const gf *field, uint8_t x, uint8_t y);
// The carry-less product of the low m bits of x and y, not reduced.
uint16_t gf_mul_overflow(const gf *field, uint8_t x, uint8_t y);
// Remainder of a divided by b as polynomials over GF(2): not a field
// division. a itself when b has no set bit (b <= 0).
int32_t gf_div(const gf *field, int32_t a, int32_t b);
// Index of the highest set bit; -1 when x <= 0.
int32_t gf_msb_index(const gf *field, int32_t x);
