#include "coding/param_body.h"

#include "coding/core_info.h"

#include <cstring>

namespace {

// Little-endian bytes to value and back, independent of the host byte order.
uint64_t load_le(const uint8_t *p, uint32_t width)
{
    uint8_t raw[8] = {};
    std::memcpy(raw, p, width);
    uint64_t v = 0;
    for (uint32_t i = width; i-- > 0;)
        v = v << 8 | raw[i];
    return v;
}

void store_le(uint8_t *p, uint64_t v, uint32_t width)
{
    uint8_t raw[8];
    for (uint32_t i = 0; i < width; ++i) {
        raw[i] = static_cast<uint8_t>(v);
        v >>= 8;
    }
    std::memcpy(p, raw, width);
}

bool read_le(const uint8_t *body, uint64_t length, uint64_t *position, uint32_t width, uint64_t *value)
{
    if (body == nullptr || !body_has_bytes(length, *position, width))
        return false;
    *value = load_le(body + *position, width);
    *position += width;
    return true;
}

void write_le(uint8_t *out, uint64_t *position, uint64_t value, uint32_t width)
{
    store_le(out + *position, value, width);
    *position += width;
}

} // namespace

bool body_format_supported(uint8_t format)
{
    return format >= config_format_min_version() && format <= config_format_version();
}

bool body_has_bytes(uint64_t length, uint64_t position, uint64_t count)
{
    return position <= length && length - position >= count;
}

bool body_read_u8(const uint8_t *body, uint64_t length, uint64_t *position, uint8_t *value)
{
    uint64_t v = 0;
    if (!read_le(body, length, position, 1, &v))
        return false;
    *value = static_cast<uint8_t>(v);
    return true;
}

bool body_read_u16(const uint8_t *body, uint64_t length, uint64_t *position, uint16_t *value)
{
    uint64_t v = 0;
    if (!read_le(body, length, position, 2, &v))
        return false;
    *value = static_cast<uint16_t>(v);
    return true;
}

bool body_read_u32(const uint8_t *body, uint64_t length, uint64_t *position, uint32_t *value)
{
    uint64_t v = 0;
    if (!read_le(body, length, position, 4, &v))
        return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

bool body_read_u64(const uint8_t *body, uint64_t length, uint64_t *position, uint64_t *value)
{
    return read_le(body, length, position, 8, value);
}

bool body_read_f32(const uint8_t *body, uint64_t length, uint64_t *position, float *value)
{
    uint32_t bits = 0;
    if (!body_read_u32(body, length, position, &bits))
        return false;
    std::memcpy(value, &bits, sizeof bits);
    return true;
}

bool body_read_bytes(const uint8_t *body, uint64_t length, uint64_t *position, uint8_t *out,
                     uint64_t count)
{
    if (!body_has_bytes(length, *position, count))
        return false;
    if (count > 0) {
        if (body == nullptr)
            return false;
        std::memcpy(out, body + *position, count);
    }
    *position += count;
    return true;
}

void body_write_u8(uint8_t *out, uint64_t *position, uint8_t value)
{
    write_le(out, position, value, 1);
}

void body_write_u16(uint8_t *out, uint64_t *position, uint16_t value)
{
    write_le(out, position, value, 2);
}

void body_write_u32(uint8_t *out, uint64_t *position, uint32_t value)
{
    write_le(out, position, value, 4);
}

void body_write_u64(uint8_t *out, uint64_t *position, uint64_t value)
{
    write_le(out, position, value, 8);
}

void body_write_f32(uint8_t *out, uint64_t *position, float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    body_write_u32(out, position, bits);
}

void body_write_bytes(uint8_t *out, uint64_t *position, const uint8_t *bytes, uint64_t count)
{
    if (count > 0)
        std::memcpy(out + *position, bytes, count);
    *position += count;
}
