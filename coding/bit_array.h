// A fixed-length bit stream filled and read least significant bit first
// through a cursor: bit position p is bit (p mod 8), value 2^(p mod 8), of
// byte p / 8. At most 2040 bits (255 bytes), so every count fits its field.
#pragma once

#include <cstdint>

struct bit_array {
    uint16_t n_bits;
    uint8_t *bytes;  // owned, n_bytes bytes
    uint8_t n_bytes; // ceil(n_bits / 8)
    uint16_t cursor; // next position that write and read touch
};

inline constexpr uint16_t BIT_ARRAY_MAX_BITS = 2040;

// Zeroed storage, cursor 0. None for more than 2040 bits or exhausted memory.
bit_array *new_bit_array(uint16_t n_bits);
// Same size and bytes, cursor 0.
bit_array *copy_bit_array(const bit_array *source);
// Accepts NULL and half-built arrays.
void del_bit_array(bit_array *array);

// Equal size and equal bytes; the cursors are not compared.
bool bit_array_equal(const bit_array *a, const bit_array *b);
// Sets the bit for a non-zero value, clears it otherwise; -1 with nothing
// changed when i >= n_bits. The cursor is not used.
int8_t bit_array_set(bit_array *array, uint16_t i, uint8_t value);
// 1 or 0, or -1 when i >= n_bits.
int8_t bit_array_get(const bit_array *array, uint16_t i);
// Writes the low k bits of value at the cursor (bit j of value at cursor + j)
// and advances it: 0, or -1 with nothing written and the cursor kept when
// cursor + k > n_bits or k > 64. k = 0 gives 0.
int8_t bit_array_write(bit_array *array, uint8_t k, uint64_t value);
// Reads k bits at the cursor (the bit at cursor + j becomes bit j) and
// advances it; all ones with nothing read when cursor + k > n_bits or k > 64,
// which a read of 64 one-bits also gives. k = 0 gives 0.
uint64_t bit_array_read(bit_array *array, uint8_t k);
void bit_array_rewind(bit_array *array);
// The storage, owned by the array.
uint8_t *bit_array_bytes(bit_array *array);
uint16_t bit_array_size(const bit_array *array);
// Copies n_bytes bytes from source into the storage; the cursor is kept.
void bit_array_load(bit_array *array, const uint8_t *source);
