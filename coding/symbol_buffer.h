// A byte string of known length seen at the same time as a sequence of
// fixed-width symbols. Both views share one bit array: byte i occupies stream
// bits 8i to 8i + 7 (bit j at 8i + j), and symbol s is the value whose bit j
// is stream bit s * b + j. The bits of the last symbol beyond the bytes are
// padding, zero in a fresh buffer.
//
// The stream is the content; the `symbols` array is a view that the
// operations below refresh. Reading operations rewind the cursor and rewrite
// that view, so a buffer is never read from two threads at once.
#pragma once

#include "coding/bit_array.h"

#include <cstdint>

struct symbol_buffer {
    uint8_t bits_per_symbol; // b, 1 to 64
    uint8_t byte_count;      // L
    uint8_t symbol_count;    // S = ceil(8L / b)
    uint64_t *symbols;       // owned, S values
    bit_array *bits;         // owned, S * b bits
};

// Symbols of `bits` bits that carry that many bytes: ceil(8 bytes / bits),
// exact; 0 for a width of 0.
uint16_t symbols_for_bytes(uint8_t bytes, uint8_t bits);
// Whole bytes filled by a symbols of b bits: floor(a b / 8), in wide
// arithmetic (a front door of exactly 256 bytes is 256, not 0).
uint64_t bytes_for_bits(uint32_t a, uint32_t b);

// A zeroed buffer of byte_count bytes at bits_per_symbol bits. None for a
// width outside 1..64, more than 255 symbols, more than 2040 stream bits, or
// exhausted memory.
symbol_buffer *new_symbol_buffer(uint8_t bits_per_symbol, uint8_t byte_count);
// Same width and length, filled with symbol_buffer_copy_from (which rewinds
// and re-reads the source).
symbol_buffer *copy_symbol_buffer(symbol_buffer *source);
// Accepts NULL and half-built buffers.
void del_symbol_buffer(symbol_buffer *buffer);

// Re-reads the source's symbols from its stream and stores them in the
// destination. False, with nothing changed, when the two differ in width or
// length.
bool symbol_buffer_copy_from(symbol_buffer *destination, symbol_buffer *source);
// Equal length, equal width and equal streams.
bool symbol_buffer_equals(const symbol_buffer *a, const symbol_buffer *b);

// The packed stream bytes, owned by the buffer: the first L are the byte string.
uint8_t *symbol_buffer_bytes(symbol_buffer *buffer);
// The same, or NULL when the buffer holds no bytes.
uint8_t *symbol_buffer_data_if_any(symbol_buffer *buffer);
// Stores L bytes (padding bits keep what they held) and refreshes the symbols.
void symbol_buffer_set_bytes(symbol_buffer *buffer, const uint8_t *bytes);
// Refreshes the symbol view from the stream and returns it (owned by the buffer).
uint64_t *symbol_buffer_symbols(symbol_buffer *buffer);
// Stores S values: the view keeps them as given, the stream their low b bits.
void symbol_buffer_set_symbols(symbol_buffer *buffer, const uint64_t *values);
uint8_t symbol_buffer_byte_count(const symbol_buffer *buffer);
uint8_t symbol_buffer_symbol_count(const symbol_buffer *buffer);
uint8_t symbol_buffer_bits_per_symbol(const symbol_buffer *buffer);
// Writes the L bytes as 2L lower-case hex digits and a NUL (2L + 1 characters).
void symbol_buffer_to_hex(symbol_buffer *buffer, char *out);
// L draws of random_range(0, 256), byte 0 first, stored as the bytes.
void symbol_buffer_randomise(symbol_buffer *buffer);
