#include "coding/combination_table.h"

#include "runtime/memory_manager.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr uint64_t kSaturated = ~uint64_t{0};

// Whether the multiply-then-divide loop for C(n, k) stays within 64 bits.
// Alphabets where it would wrap lie outside the data model of the symbol
// alphabet and are refused, even the few whose true C(n, k) would fit.
bool binomial_loop_fits(uint16_t n, uint16_t k)
{
    uint64_t v = 1;
    uint64_t d = 1;
    for (uint32_t i = static_cast<uint32_t>(n) - k + 1; i <= n; ++i) {
        if (__builtin_mul_overflow(v, static_cast<uint64_t>(i), &v))
            return false;
        while (d <= k && v % d == 0) {
            v /= d;
            ++d;
        }
    }
    return true;
}

uint64_t saturating_add(uint64_t a, uint64_t b)
{
    uint64_t s = 0;
    return __builtin_add_overflow(a, b, &s) ? kSaturated : s;
}

uint8_t floor_log2(uint64_t v)
{
    return static_cast<uint8_t>(63 - __builtin_clzll(v));
}

} // namespace

uint64_t n_choose_k(uint16_t n, uint16_t k)
{
    if (k > n)
        return 0;
    if (k > n - k)
        k = static_cast<uint16_t>(n - k);
    // r_i = C(n - k + i, i) grows with i and r_i = r_(i-1) m / i exactly, with
    // m = n - k + i. Split r_(i-1) = q i + rem so that no step needs more than
    // 64 bits: r_i = q m + rem m / i (rem m < 2^16, and i divides it because i
    // divides r_(i-1) m). A step past 64 bits means C(n, k) >= 2^64.
    uint64_t r = 1;
    for (uint32_t i = 1; i <= k; ++i) {
        const uint64_t m = static_cast<uint64_t>(n) - k + i;
        uint64_t whole = 0;
        if (__builtin_mul_overflow(r / i, m, &whole) ||
            __builtin_add_overflow(whole, (r % i) * m / i, &r))
            return kSaturated;
    }
    return r;
}

combination_table *new_combination_table(uint16_t n, uint8_t k)
{
    if (n > 256 || k > n || !binomial_loop_fits(n, k))
        return nullptr;
    combination_table *t = tracked_alloc<combination_table>(1);
    if (t == nullptr)
        return nullptr;
    t->n = n;
    t->k = k;
    t->capacity = uint64_t{1} << floor_log2(n_choose_k(n, k));
    const uint32_t row = k + 1u;
    t->memo = tracked_alloc<uint64_t>(static_cast<uint64_t>(n + 1u) * row);
    if (t->memo == nullptr) {
        del_combination_table(t);
        return nullptr;
    }
    // Pascal's rule, saturating: exact wherever the value fits.
    for (uint32_t a = 0; a <= n; ++a) {
        t->memo[a * row] = 1;
        for (uint32_t j = 1; j <= k && j <= a; ++j)
            t->memo[a * row + j] = saturating_add(t->memo[(a - 1) * row + j - 1], t->memo[(a - 1) * row + j]);
    }
    return t;
}

combination_table *copy_combination_table(const combination_table *source)
{
    combination_table *t = new_combination_table(source->n, source->k);
    if (t == nullptr)
        return nullptr;
    std::memcpy(t->memo, source->memo, sizeof(uint64_t) * (source->n + 1u) * (source->k + 1u));
    return t;
}

void del_combination_table(combination_table *table)
{
    if (table == nullptr)
        return;
    tracked_free(table->memo);
    tracked_free(table);
}

uint8_t combination_table_bits(const combination_table *table)
{
    return floor_log2(table->capacity);
}

uint64_t combination_table_choose(const combination_table *table, uint16_t t, uint16_t j)
{
    if (t <= table->n && j <= table->k)
        return table->memo[static_cast<uint32_t>(t) * (table->k + 1u) + j];
    return n_choose_k(t, j);
}

uint64_t combination_rank(const combination_table *table, uint8_t *tones)
{
    const uint32_t k = table->k;
    if (k == 1)
        return tones[0];
    if (k == 0)
        return 0; // the one empty set
    std::qsort(tones, k, 1, sort_uint8_array);
    for (uint32_t i = 0; i < k; ++i) {
        if (i + 1 < k && tones[i] >= tones[i + 1])
            return kSaturated;
        if (tones[i] >= table->n)
            return kSaturated;
    }
    // Each term is at most the rank, which is below C(n, k): no sum wraps.
    uint64_t rank = 0;
    for (uint32_t i = 0; i < k; ++i)
        rank += combination_table_choose(table, tones[i], static_cast<uint16_t>(i + 1));
    return rank >= table->capacity ? kSaturated : rank;
}

uint8_t combination_unrank(const combination_table *table, uint64_t value, uint8_t *out)
{
    if (value >= table->capacity)
        return 1;
    if (table->k == 1) {
        out[0] = static_cast<uint8_t>(value);
        return 0;
    }
    uint32_t j = table->k;
    for (int32_t t = static_cast<int32_t>(table->n) - 1; t >= 0 && j > 0; --t) {
        const uint64_t c = combination_table_choose(table, static_cast<uint16_t>(t), static_cast<uint16_t>(j));
        if (c <= value) {
            out[j - 1] = static_cast<uint8_t>(t);
            value -= c;
            --j;
        }
    }
    return 0;
}

int sort_uint8_array(const void *a, const void *b)
{
    const uint8_t x = *static_cast<const uint8_t *>(a);
    const uint8_t y = *static_cast<const uint8_t *>(b);
    return (x > y) - (x < y);
}
