// CRC of a frame's payload: a bit-serial engine driven by one parameter row
// per width, and the step that lays a CRC into the frame's CRC field.
#pragma once

#include <cstdint>

// One CRC definition. `poly` omits its top bit; `refin` reverses each input
// byte, `refout` the final register over the CRC's width.
struct crc_row {
    uint32_t poly;
    uint32_t init;
    uint32_t xorout;
    uint8_t refin;
    uint8_t refout;
};

// The CRC of `length` bytes under `row`, `width` bits wide. Widths 8 to 32
// only; any other width gives 0. The result never has bits above `width`
// before the final XOR, reflected or not.
uint32_t crc_row_calculate(const crc_row *row, uint8_t width, const uint8_t *data, uint8_t length);

// The CRC of `length` bytes for one of the built-in widths: 8 (CRC-8/WCDMA),
// 10, 16 (CRC-16/ARC) and 32 (CRC-32). Any other width has no definition and
// gives 0. `data` may be NULL when `length` is 0.
uint32_t calculate_crc(uint8_t width, const uint8_t *data, uint8_t length);

// For m = 1, 2 or 4: writes the 8m-bit CRC of the data to out[0..m-1], least
// significant byte first, and returns true. Any other m returns false and
// leaves `out` untouched.
bool calculate_crc_bytes(const uint8_t *data, uint8_t length, uint8_t *out, uint8_t m);
