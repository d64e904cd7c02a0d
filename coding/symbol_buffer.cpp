#include "coding/symbol_buffer.h"

#include "runtime/memory_manager.h"
#include "runtime/random.h"
#include "runtime/utilities.h"

#include <cstring>

namespace {

// Reads S symbols of b bits from the start of the stream into the view.
void refresh_symbols(symbol_buffer *buffer)
{
    bit_array_rewind(buffer->bits);
    for (uint32_t s = 0; s < buffer->symbol_count; ++s)
        buffer->symbols[s] = bit_array_read(buffer->bits, buffer->bits_per_symbol);
}

} // namespace

uint16_t symbols_for_bytes(uint8_t bytes, uint8_t bits)
{
    if (bits == 0)
        return 0;
    return static_cast<uint16_t>((8u * bytes + bits - 1u) / bits);
}

uint64_t bytes_for_bits(uint32_t a, uint32_t b)
{
    return static_cast<uint64_t>(a) * b / 8u;
}

symbol_buffer *new_symbol_buffer(uint8_t bits_per_symbol, uint8_t byte_count)
{
    if (bits_per_symbol < 1 || bits_per_symbol > 64)
        return nullptr;
    const uint32_t count = symbols_for_bytes(byte_count, bits_per_symbol);
    const uint32_t n_bits = count * bits_per_symbol;
    // Every count of the record is 8 bits, and the stream holds 2040 bits.
    if (count > 255 || n_bits > BIT_ARRAY_MAX_BITS)
        return nullptr;
    symbol_buffer *b = tracked_alloc<symbol_buffer>(1);
    if (b == nullptr)
        return nullptr;
    b->bits_per_symbol = bits_per_symbol;
    b->byte_count = byte_count;
    b->symbol_count = static_cast<uint8_t>(count);
    b->symbols = tracked_alloc<uint64_t>(count);
    b->bits = new_bit_array(static_cast<uint16_t>(n_bits));
    if (b->symbols == nullptr || b->bits == nullptr) {
        del_symbol_buffer(b);
        return nullptr;
    }
    return b;
}

symbol_buffer *copy_symbol_buffer(symbol_buffer *source)
{
    symbol_buffer *b = new_symbol_buffer(source->bits_per_symbol, source->byte_count);
    if (b == nullptr)
        return nullptr;
    symbol_buffer_copy_from(b, source);
    return b;
}

void del_symbol_buffer(symbol_buffer *buffer)
{
    if (buffer == nullptr)
        return;
    del_bit_array(buffer->bits);
    buffer->bits = nullptr;
    tracked_free(buffer->symbols);
    tracked_free(buffer);
}

bool symbol_buffer_copy_from(symbol_buffer *destination, symbol_buffer *source)
{
    // Unequal shapes would read or write past one of the symbol arrays.
    if (destination->bits_per_symbol != source->bits_per_symbol ||
        destination->byte_count != source->byte_count)
        return false;
    symbol_buffer_set_symbols(destination, symbol_buffer_symbols(source));
    return true;
}

bool symbol_buffer_equals(const symbol_buffer *a, const symbol_buffer *b)
{
    return a->byte_count == b->byte_count && a->bits_per_symbol == b->bits_per_symbol &&
           bit_array_equal(a->bits, b->bits);
}

uint8_t *symbol_buffer_bytes(symbol_buffer *buffer)
{
    return bit_array_bytes(buffer->bits);
}

uint8_t *symbol_buffer_data_if_any(symbol_buffer *buffer)
{
    return buffer->byte_count != 0 ? bit_array_bytes(buffer->bits) : nullptr;
}

void symbol_buffer_set_bytes(symbol_buffer *buffer, const uint8_t *bytes)
{
    bit_array_rewind(buffer->bits);
    for (uint32_t i = 0; i < buffer->byte_count; ++i)
        bit_array_write(buffer->bits, 8, bytes[i]);
    refresh_symbols(buffer);
}

uint64_t *symbol_buffer_symbols(symbol_buffer *buffer)
{
    refresh_symbols(buffer);
    return buffer->symbols;
}

void symbol_buffer_set_symbols(symbol_buffer *buffer, const uint64_t *values)
{
    bit_array_rewind(buffer->bits);
    // The view may be the source itself (a buffer copied from itself).
    if (buffer->symbol_count > 0 && values != buffer->symbols)
        std::memcpy(buffer->symbols, values, sizeof(uint64_t) * buffer->symbol_count);
    // The stream takes the low b bits of each value; the view keeps it whole.
    for (uint32_t s = 0; s < buffer->symbol_count; ++s)
        bit_array_write(buffer->bits, buffer->bits_per_symbol, buffer->symbols[s]);
}

uint8_t symbol_buffer_byte_count(const symbol_buffer *buffer)
{
    return buffer->byte_count;
}

uint8_t symbol_buffer_symbol_count(const symbol_buffer *buffer)
{
    return buffer->symbol_count;
}

uint8_t symbol_buffer_bits_per_symbol(const symbol_buffer *buffer)
{
    return buffer->bits_per_symbol;
}

void symbol_buffer_to_hex(symbol_buffer *buffer, char *out)
{
    bytes_to_hex(bit_array_bytes(buffer->bits), buffer->byte_count, out);
}

void symbol_buffer_randomise(symbol_buffer *buffer)
{
    uint8_t drawn[255];
    for (uint32_t i = 0; i < buffer->byte_count; ++i)
        drawn[i] = static_cast<uint8_t>(random_range(0, 256));
    symbol_buffer_set_bytes(buffer, drawn);
}
