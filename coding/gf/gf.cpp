#include "coding/gf/gf.h"

#include "runtime/memory_manager.h"

namespace {

// Primitive polynomial for each m; 0 and 1 have none.
constexpr uint32_t primitive_polynomials[17] = {
    0,     0,     0x7,    0xB,    0x13,   0x25,   0x43,   0x89,    0x11D,
    0x211, 0x409, 0x805, 0x1053, 0x201B, 0x4443, 0x8003, 0x1100B,
};

int msb_index(uint32_t x)
{
    return x == 0 ? -1 : 31 - __builtin_clz(x);
}

// The table-free product in the byte field with primitive 0x11D, with fixed
// bounds so that it unrolls: the codec's loops spend their time here. The
// bits above 8 fold down through x^8 = x^4 + x^3 + x^2 + 1; each fold lowers
// the degree by at least 4, so two clear bits 8 to 14.
uint8_t mul_11d(uint32_t a, uint32_t b)
{
    uint32_t p = 0;
    for (uint32_t i = 0; i < 8; ++i)
        p ^= (b << i) & (0u - ((a >> i) & 1u));
    for (int fold = 0; fold < 2; ++fold) {
        const uint32_t high = p >> 8;
        p = (p & 0xFF) ^ high ^ (high << 2) ^ (high << 3) ^ (high << 4);
    }
    return static_cast<uint8_t>(p);
}

} // namespace

gf *new_gf(uint8_t m)
{
    if (m < 2 || m > 8)
        return nullptr;
    gf *field = tracked_alloc<gf>(1);
    if (field == nullptr)
        return nullptr;
    field->m = m;
    field->primitive = primitive_polynomials[m];
    field->size = (uint32_t{1} << m) - 1;
    field->exp = tracked_alloc<uint8_t>(2 * uint64_t{field->size});
    field->log = tracked_alloc<uint8_t>(uint64_t{field->size} + 1);
    if (field->exp == nullptr || field->log == nullptr) {
        del_gf(field);
        return nullptr;
    }
    uint32_t x = 1;
    for (uint32_t i = 0; i < field->size; ++i) {
        field->exp[i] = static_cast<uint8_t>(x);
        field->log[x] = static_cast<uint8_t>(i);
        x <<= 1;
        if (x & (uint32_t{1} << m))
            x ^= field->primitive;
        x &= 0xFF;
    }
    for (uint32_t i = field->size; i < 2 * field->size; ++i)
        field->exp[i] = field->exp[i - field->size];
    return field;
}

gf *copy_gf(const gf *field)
{
    if (field == nullptr)
        return nullptr;
    gf *copy = tracked_alloc<gf>(1);
    if (copy == nullptr)
        return nullptr;
    copy->m = field->m;
    copy->primitive = field->primitive;
    copy->size = field->size;
    copy->exp = tracked_alloc<uint8_t>(2 * uint64_t{field->size});
    copy->log = tracked_alloc<uint8_t>(uint64_t{field->size} + 1);
    if (copy->exp == nullptr || copy->log == nullptr) {
        del_gf(copy);
        return nullptr;
    }
    for (uint32_t i = 0; i < 2 * field->size; ++i)
        copy->exp[i] = field->exp[i];
    for (uint32_t i = 0; i <= field->size; ++i)
        copy->log[i] = field->log[i];
    return copy;
}

void del_gf(gf *field)
{
    if (field == nullptr)
        return;
    tracked_free(field->exp);
    tracked_free(field->log);
    tracked_free(field);
}

uint8_t gf_add(uint8_t a, uint8_t b)
{
    return a ^ b;
}

uint8_t gf_mul(const gf *field, uint8_t a, uint8_t b)
{
    const uint32_t m = field->m;
    if (m == 8 && field->primitive == 0x11D)
        return mul_11d(a, b);
    // Carry-less product of the low m bits of a with b, then the bits above
    // m folded down through x^m = primitive - x^m until none is left.
    uint32_t p = 0;
    for (uint32_t i = 0; i < m; ++i)
        p ^= (uint32_t{b} << i) & (0u - ((uint32_t{a} >> i) & 1u));
    const uint32_t mask = (uint32_t{1} << m) - 1;
    const uint32_t low = field->primitive & mask;
    while (p > mask) {
        const uint32_t high = p >> m;
        p &= mask;
        for (uint32_t j = 0; j < m; ++j)
            p ^= (high << j) & (0u - ((low >> j) & 1u));
    }
    return static_cast<uint8_t>(p);
}

uint8_t gf_pow(const gf *field, uint8_t x, uint8_t p)
{
    uint8_t r = 1;
    for (uint8_t i = 0; i < p; ++i)
        r = gf_mul(field, r, x);
    return r;
}

// Table lookups mask their element to m bits: a byte above the field (only
// possible for m < 8) must not index past the log table.
uint8_t gf_inverse(const gf *field, uint8_t x)
{
    return field->exp[field->size - field->log[x & field->size]];
}

uint8_t gf_pow2(const gf *field, uint8_t x, int32_t p)
{
    const int64_t size = field->size;
    const int64_t t = int64_t{field->log[x & field->size]} * p;
    return field->exp[((t % size) + size) % size];
}

uint8_t gf_div2(const gf *field, uint8_t a, uint8_t b)
{
    if (a == 0 || b == 0)
        return 0;
    const uint32_t size = field->size;
    const uint32_t i = (field->log[a & size] + size - field->log[b & size]) % size;
    return field->exp[(i + size) % size];
}

uint8_t gf_mul_noLUT(const gf *field, uint8_t x, uint8_t y)
{
    uint32_t r = 0;
    uint32_t xx = x;
    while (y != 0) {
        if (y & 1)
            r = (r ^ xx) & 0xFF;
        y >>= 1;
        xx <<= 1;
        if (field->primitive != 0 && (xx & (uint32_t{1} << field->m)))
            xx ^= field->primitive;
    }
    return static_cast<uint8_t>(r);
}

uint16_t gf_mul_overflow(const gf *field, uint8_t x, uint8_t y)
{
    const uint32_t mask = (uint32_t{1} << field->m) - 1;
    const uint32_t a = x & mask;
    const uint32_t b = y & mask;
    uint32_t p = 0;
    for (uint8_t i = 0; i < field->m; ++i) {
        if (a & (1u << i))
            p ^= b << i;
    }
    return static_cast<uint16_t>(p);
}

int32_t gf_div(const gf *field, int32_t a, int32_t b)
{
    const int32_t hb = gf_msb_index(field, b);
    if (hb < 0)
        return a;
    uint32_t r = static_cast<uint32_t>(a);
    for (int32_t t = gf_msb_index(field, a); t >= hb; --t) {
        if (r & (uint32_t{1} << t))
            r ^= static_cast<uint32_t>(b) << (t - hb);
    }
    return static_cast<int32_t>(r);
}

int32_t gf_msb_index(const gf *, int32_t x)
{
    return x <= 0 ? -1 : msb_index(static_cast<uint32_t>(x));
}
