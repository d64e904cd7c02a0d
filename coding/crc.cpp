#include "coding/crc.h"

namespace {

// Indexed by width; only the rows of widths 8, 10, 16 and 32 are defined.
// Every defined row is reflected on input and output.
struct crc_table {
    crc_row rows[33];
};

constexpr crc_table make_crc_parameters()
{
    crc_table t{};
    t.rows[8] = {0x9B, 0x00, 0x00, 1, 1};
    t.rows[10] = {0x233, 0x000, 0x000, 1, 1};
    t.rows[16] = {0x8005, 0x0000, 0x0000, 1, 1};
    t.rows[32] = {0x04C11DB7, 0xFFFFFFFF, 0xFFFFFFFF, 1, 1};
    return t;
}

constexpr crc_table crc_parameters = make_crc_parameters();

uint32_t reflect(uint32_t value, uint8_t bits)
{
    uint32_t out = 0;
    for (uint8_t i = 0; i < bits; ++i) {
        if (value & (uint32_t{1} << i))
            out |= uint32_t{1} << (bits - 1 - i);
    }
    return out;
}

bool has_definition(uint8_t width)
{
    return width == 8 || width == 10 || width == 16 || width == 32;
}

} // namespace

uint32_t crc_row_calculate(const crc_row *row, uint8_t width, const uint8_t *data, uint8_t length)
{
    // Each byte enters at bit width - 8, so narrower widths have no meaning.
    if (row == nullptr || width < 8 || width > 32)
        return 0;
    const uint32_t top = uint32_t{1} << (width - 1);
    const uint32_t mask = width == 32 ? 0xFFFFFFFFu : (uint32_t{1} << width) - 1;
    uint32_t reg = row->init;
    for (uint8_t i = 0; i < length; ++i) {
        const uint8_t byte = row->refin ? static_cast<uint8_t>(reflect(data[i], 8)) : data[i];
        reg ^= static_cast<uint32_t>(byte) << (width - 8);
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & top) ? (reg << 1) ^ row->poly : reg << 1;
    }
    // Bits above the width pile up in the register but never reach the low
    // bits; they must not reach the result either.
    const uint32_t out = row->refout ? reflect(reg & mask, width) : reg & mask;
    return out ^ row->xorout;
}

uint32_t calculate_crc(uint8_t width, const uint8_t *data, uint8_t length)
{
    if (!has_definition(width))
        return 0;
    return crc_row_calculate(&crc_parameters.rows[width], width, data, length);
}

bool calculate_crc_bytes(const uint8_t *data, uint8_t length, uint8_t *out, uint8_t m)
{
    if (m != 1 && m != 2 && m != 4)
        return false;
    const uint32_t crc = calculate_crc(static_cast<uint8_t>(8 * m), data, length);
    for (uint8_t i = 0; i < m; ++i)
        out[i] = static_cast<uint8_t>(crc >> (8 * i));
    return true;
}
