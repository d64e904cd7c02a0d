// Reed-Solomon codec over GF(2^m) for one frame: parity for a message, and
// the corrected message for a received message and parity.
//
// Block layout, 2^m - 1 bytes (255 for m = 8), first byte the coefficient of
// the highest power: the k message bytes, then 2^m - 1 - nsym - k zero bytes
// that never travel, then the nsym parity bytes. Generator roots 2^1..2^nsym.
//
// Codecs and codewords are plain records: every codeword owns a copy of its
// codec, so it outlives the codec that made it. One thread at a time.
#pragma once

#include "coding/gf/gf.h"

#include <cstdint>

struct rs_codec {
    uint8_t m;     // bits per symbol
    uint64_t k;    // message bytes per block
    uint64_t nsym; // parity bytes per block
    uint64_t n;    // k + nsym: the bytes that travel
    gf *field;     // owned
};

struct rs_codeword {
    rs_codec *codec;  // owned copy of the codec that made the codeword
    uint8_t *message; // k bytes, owned
    uint8_t *parity;  // nsym bytes, owned
    uint8_t errors;   // errors a successful decode corrected; 0 otherwise
    uint8_t valid;    // 1 when message and parity hold a good codeword
};

// NULL for m outside 2..8, k = 0, k + nsym above 2^m - 1, or exhausted
// memory; nothing stays allocated then.
rs_codec *new_rs_codec(uint8_t m, uint64_t k, uint64_t nsym);
rs_codec *copy_rs_codec(const rs_codec *codec);
void del_rs_codec(rs_codec *codec); // NULL allowed

// A zero-filled codeword for the codec (errors 0, valid 0).
rs_codeword *new_rs_codeword(const rs_codec *codec);
rs_codeword *copy_rs_codeword(const rs_codeword *word);
void del_rs_codeword(rs_codeword *word); // NULL allowed

// The codeword of k message bytes: the message, its parity, valid 1. NULL
// when memory runs out. The caller deletes the codeword.
rs_codeword *rs_codec_encode(const rs_codec *codec, const uint8_t *message);

// Decodes k + nsym received bytes (message then parity). Valid 1 with the
// corrected message, an all-zero parity and the number of corrected bytes;
// or valid 0 with everything zero (errors 0 too). A correction that lands
// in the zero run between message and parity fails: those bytes were never
// sent, so such a result is another codeword of the full code, not of the
// one on the air. NULL when memory runs out. The caller deletes the codeword.
rs_codeword *rs_codec_decode(const rs_codec *codec, const uint8_t *received);

uint8_t rs_codeword_is_valid(const rs_codeword *word);
uint8_t rs_codeword_error_count(const rs_codeword *word);
// k bytes owned by the codeword, readable until del_rs_codeword.
const uint8_t *rs_codeword_message(const rs_codeword *word);
// nsym bytes owned by the codeword; a readable block even when nsym is 0.
const uint8_t *rs_codeword_parity(const rs_codeword *word);
