#include "coding/gf/gf_poly.h"

#include "runtime/memory_manager.h"

#include <cstring>

namespace {

constexpr gf_poly failed_poly{nullptr, 0};

bool readable(gf_poly p)
{
    return p.data != nullptr;
}

gf_poly alloc_poly(uint64_t length)
{
    return gf_poly{tracked_alloc<uint8_t>(length), length};
}

} // namespace

gf_poly new_gf_poly(const uint8_t *data, uint64_t length)
{
    gf_poly p = alloc_poly(length);
    if (p.data != nullptr && data != nullptr && length != 0)
        std::memcpy(p.data, data, length);
    return p.data == nullptr ? failed_poly : p;
}

gf_poly copy_gf_poly(const uint8_t *data, uint64_t length)
{
    return new_gf_poly(data, length);
}

void del_gf_poly(gf_poly *poly)
{
    if (poly == nullptr)
        return;
    tracked_free(poly->data);
    poly->length = 0;
}

gf_poly reverse_gf_poly(gf_poly p)
{
    if (!readable(p))
        return failed_poly;
    gf_poly r = alloc_poly(p.length);
    if (r.data == nullptr)
        return failed_poly;
    for (uint64_t i = 0; i < p.length; ++i)
        r.data[i] = p.data[p.length - 1 - i];
    return r;
}

gf_poly trim_gf_poly(gf_poly p, uint64_t start, uint64_t end)
{
    if (!readable(p))
        return failed_poly;
    const uint64_t e = end < p.length ? end : p.length;
    const uint64_t s = start < e ? start : e;
    return new_gf_poly(e > s ? p.data + s : nullptr, e - s);
}

gf_poly gf_poly_scale(const gf *field, gf_poly p, uint8_t x)
{
    if (!readable(p))
        return failed_poly;
    gf_poly r = alloc_poly(p.length);
    if (r.data == nullptr)
        return failed_poly;
    for (uint64_t i = 0; i < p.length; ++i)
        r.data[i] = gf_mul(field, p.data[i], x);
    return r;
}

gf_poly gf_poly_add(gf_poly a, gf_poly b)
{
    if (!readable(a) || !readable(b))
        return failed_poly;
    const uint64_t n = a.length > b.length ? a.length : b.length;
    gf_poly r = alloc_poly(n);
    if (r.data == nullptr)
        return failed_poly;
    for (uint64_t i = 0; i < a.length; ++i)
        r.data[n - a.length + i] = a.data[i];
    for (uint64_t i = 0; i < b.length; ++i)
        r.data[n - b.length + i] ^= b.data[i];
    return r;
}

gf_poly gf_poly_mul(const gf *field, gf_poly a, gf_poly b)
{
    if (!readable(a) || !readable(b))
        return failed_poly;
    // length(a) + length(b) - 1 would wrap to a huge block for an empty operand.
    if (a.length == 0 || b.length == 0)
        return alloc_poly(0);
    gf_poly r = alloc_poly(a.length + b.length - 1);
    if (r.data == nullptr)
        return failed_poly;
    for (uint64_t j = 0; j < b.length; ++j) {
        for (uint64_t i = 0; i < a.length; ++i)
            r.data[i + j] ^= gf_mul(field, a.data[i], b.data[j]);
    }
    return r;
}

gf_poly gf_poly_div(const gf *field, gf_poly dividend, gf_poly divisor)
{
    if (!readable(dividend) || !readable(divisor))
        return failed_poly;
    if (divisor.length == 0)
        return alloc_poly(0);
    if (dividend.length < divisor.length)
        return new_gf_poly(dividend.data, dividend.length);
    gf_poly w = new_gf_poly(dividend.data, dividend.length);
    if (w.data == nullptr)
        return failed_poly;
    for (uint64_t i = 0; i <= dividend.length - divisor.length; ++i) {
        const uint8_t c = w.data[i];
        if (c == 0)
            continue;
        for (uint64_t j = 1; j < divisor.length; ++j) {
            if (divisor.data[j] != 0)
                w.data[i + j] ^= gf_mul(field, divisor.data[j], c);
        }
    }
    const uint64_t rem = divisor.length - 1;
    gf_poly r = new_gf_poly(w.data + (w.length - rem), rem);
    del_gf_poly(&w);
    return r;
}

uint8_t gf_poly_eval(const gf *field, gf_poly p, uint8_t x)
{
    if (p.length == 0 || p.data == nullptr)
        return 0;
    uint8_t y = p.data[0];
    for (uint64_t j = 1; j < p.length; ++j)
        y = gf_mul(field, y, x) ^ p.data[j];
    return y;
}

gf_poly gf_poly_zero_pad(gf_poly p, uint32_t n)
{
    if (!readable(p))
        return failed_poly;
    gf_poly r = alloc_poly(p.length + n);
    if (r.data == nullptr)
        return failed_poly;
    if (p.length != 0)
        std::memcpy(r.data, p.data, p.length);
    return r;
}

gf_poly gf_poly_strip_leadingzero(gf_poly p)
{
    if (!readable(p))
        return failed_poly;
    uint64_t first = 0;
    while (first < p.length && p.data[first] == 0)
        ++first;
    return new_gf_poly(first < p.length ? p.data + first : nullptr, p.length - first);
}

gf_poly gf_poly_concatenate(gf_poly a, gf_poly b)
{
    if (!readable(a) || !readable(b))
        return failed_poly;
    gf_poly r = alloc_poly(a.length + b.length);
    if (r.data == nullptr)
        return failed_poly;
    if (a.length != 0)
        std::memcpy(r.data, a.data, a.length);
    if (b.length != 0)
        std::memcpy(r.data + a.length, b.data, b.length);
    return r;
}

gf_poly gf_poly_append(gf_poly p, uint8_t value)
{
    if (!readable(p))
        return failed_poly;
    uint8_t *grown = tracked_realloc(p.data, p.length + 1);
    if (grown == nullptr) {
        del_gf_poly(&p);
        return failed_poly;
    }
    grown[p.length] = value;
    return gf_poly{grown, p.length + 1};
}

uint8_t gf_poly_max(gf_poly p)
{
    uint8_t m = 0;
    for (uint64_t i = 0; i < p.length && p.data != nullptr; ++i)
        m = p.data[i] > m ? p.data[i] : m;
    return m;
}

void gf_poly_print(gf_poly)
{
}
