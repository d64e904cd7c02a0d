// The polynomial layer of the Reed-Solomon code: generator, encoder, and the
// decoder with its steps (syndromes, Berlekamp-Massey, Chien search, Forney).
//
// A block of t bytes is the polynomial whose first byte is the coefficient
// of x^(t-1). Every result is a new gf_poly owned by the caller; a result
// with NULL data means memory ran out (gf_poly_failed), with nothing left
// allocated. Arguments are only read.
#pragma once

#include "coding/gf/gf.h"
#include "coding/gf/gf_poly.h"

#include <cstdint>

// Outcome of gf_poly_rs_decode.
enum rs_decode_status : uint8_t {
    RS_DECODE_OK = 0,                 // first length - nsym bytes of the corrected block
    RS_DECODE_TOO_MANY_ERASURES = 1,  // working copy of the block
    RS_DECODE_ERASURE_OUTSIDE = 2,    // working copy of the block
    RS_DECODE_LOCATOR_TOO_LONG = 3,   // working copy of the block
    RS_DECODE_POSITION_MISMATCH = 4,  // working copy of the block
    RS_DECODE_SYNDROME_REMAINS = 5,   // the corrected block, full length
    RS_DECODE_OUT_OF_MEMORY = 6,      // no polynomial at all
};

// The nsym parity bytes of `message`: the remainder of the message followed
// by nsym zero coefficients, divided by the generator with roots 2^1..2^nsym.
// The message is taken as it stands: a shortened block must be zero-filled
// by the caller first.
gf_poly gf_poly_rs_encode(const gf *field, gf_poly message, uint8_t nsym);

// Corrects up to floor((nsym - erasures) / 2) errors anywhere in the block
// plus the given erasures. Erasure positions are byte indices into the block
// (NULL when erase_count is 0). `corrected` is the number of errors located
// (erasures not counted); `status` as rs_decode_status. Both are 0 on entry.
gf_poly gf_poly_rs_decode(const gf *field, gf_poly block, uint8_t nsym, const uint8_t *erase_pos,
                          uint8_t erase_count, uint8_t *corrected, uint8_t *status);

// The product of (x + 2^(first_power + i)) for i = 0 to nsym - 1, the
// exponent taken modulo 256; nsym + 1 coefficients.
gf_poly gf_rs_generator_poly(const gf *field, uint8_t nsym, uint8_t first_power);

// nsym + 1 entries: entry 0 is always 0, entry i the block's value at 2^i.
gf_poly gf_calc_syndromes(const gf *field, gf_poly block, uint32_t nsym);

// The syndromes the locator search takes: entries 1.. of the list, with the
// contribution of each erasure folded out of all but the last erase_count
// entries. block_length gives the degree of each erasure position.
gf_poly gf_forney_syndromes(const gf *field, gf_poly synd, const uint8_t *erase_pos, int32_t erase_count,
                            uint32_t block_length);

// Berlekamp-Massey over the Forney syndromes: the error locator, highest
// degree first, constant term 1. It locates errors only (erasures are
// handled by the Forney step), so its degree v counts errors; status is -1
// when erase_count + 2v exceeds nsym (the locator is still returned).
gf_poly gf_find_error_locator(const gf *field, gf_poly synd, int32_t nsym, int32_t erase_count,
                              int32_t *status);

// Chien search over all block_length positions of the locator given
// constant term first. Positions come out from the end of the block towards
// its start; status -1 when their number differs from the locator's degree.
gf_poly gf_find_errors(const gf *field, gf_poly reversed_locator, uint64_t block_length, int32_t *status);

// The product of (2^d x + 1) over the given coefficient degrees.
gf_poly gf_find_errata_locator(const gf *field, gf_poly degrees);

// The last count + 1 coefficients of synd x locator (its remainder modulo
// x^(count+1)).
gf_poly gf_find_error_evaluator(const gf *field, gf_poly synd, gf_poly errata_locator, uint32_t count);

// Forney: the block with the magnitudes at the errata positions (byte
// indices into the block) XORed in, same length. `synd` is the full list
// with its leading 0.
gf_poly gf_correct_errata(const gf *field, gf_poly block, gf_poly synd, gf_poly errata_positions);
