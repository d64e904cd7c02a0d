#include "coding/bit_array.h"

#include "runtime/memory_manager.h"

#include <cstring>

bit_array *new_bit_array(uint16_t n_bits)
{
    // n_bytes is 8 bits wide: beyond 2040 bits it would wrap and the storage
    // would be smaller than the bits that write and set accept.
    if (n_bits > BIT_ARRAY_MAX_BITS)
        return nullptr;
    bit_array *a = tracked_alloc<bit_array>(1);
    if (a == nullptr)
        return nullptr;
    a->n_bits = n_bits;
    a->n_bytes = static_cast<uint8_t>((n_bits + 7u) / 8u);
    a->bytes = tracked_alloc<uint8_t>(a->n_bytes);
    if (a->bytes == nullptr) {
        del_bit_array(a);
        return nullptr;
    }
    return a;
}

bit_array *copy_bit_array(const bit_array *source)
{
    bit_array *a = new_bit_array(source->n_bits);
    if (a == nullptr)
        return nullptr;
    if (a->n_bytes > 0)
        std::memcpy(a->bytes, source->bytes, a->n_bytes);
    return a;
}

void del_bit_array(bit_array *array)
{
    if (array == nullptr)
        return;
    tracked_free(array->bytes);
    tracked_free(array);
}

bool bit_array_equal(const bit_array *a, const bit_array *b)
{
    if (a->n_bits != b->n_bits || a->n_bytes != b->n_bytes)
        return false;
    return a->n_bytes == 0 || std::memcmp(a->bytes, b->bytes, a->n_bytes) == 0;
}

int8_t bit_array_set(bit_array *array, uint16_t i, uint8_t value)
{
    if (i >= array->n_bits)
        return -1;
    const uint8_t mask = static_cast<uint8_t>(1u << (i % 8u));
    if (value != 0)
        array->bytes[i / 8u] |= mask;
    else
        array->bytes[i / 8u] &= static_cast<uint8_t>(~mask);
    return 0;
}

int8_t bit_array_get(const bit_array *array, uint16_t i)
{
    if (i >= array->n_bits)
        return -1;
    return static_cast<int8_t>((array->bytes[i / 8u] >> (i % 8u)) & 1u);
}

int8_t bit_array_write(bit_array *array, uint8_t k, uint64_t value)
{
    if (k > 64 || static_cast<uint32_t>(array->cursor) + k > array->n_bits)
        return -1;
    for (uint32_t j = 0; j < k; ++j) {
        bit_array_set(array, array->cursor, static_cast<uint8_t>((value >> j) & 1u));
        ++array->cursor;
    }
    return 0;
}

uint64_t bit_array_read(bit_array *array, uint8_t k)
{
    if (k > 64 || static_cast<uint32_t>(array->cursor) + k > array->n_bits)
        return ~uint64_t{0};
    uint64_t v = 0;
    for (uint32_t j = 0; j < k; ++j) {
        v |= static_cast<uint64_t>(bit_array_get(array, array->cursor)) << j;
        ++array->cursor;
    }
    return v;
}

void bit_array_rewind(bit_array *array)
{
    array->cursor = 0;
}

uint8_t *bit_array_bytes(bit_array *array)
{
    return array->bytes;
}

uint16_t bit_array_size(const bit_array *array)
{
    return array->n_bits;
}

void bit_array_load(bit_array *array, const uint8_t *source)
{
    if (array->n_bytes > 0)
        std::memcpy(array->bytes, source, array->n_bytes);
}
