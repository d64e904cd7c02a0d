#include "coding/gf/rs_poly.h"

namespace {

constexpr gf_poly failed_poly{nullptr, 0};

// Frees the polynomial it holds when it goes out of scope, unless the
// polynomial was taken out first.
struct poly_guard {
    gf_poly p;
    ~poly_guard() { del_gf_poly(&p); }
    gf_poly take()
    {
        const gf_poly r = p;
        p = failed_poly;
        return r;
    }
    // Replaces the held polynomial, freeing the old one.
    void reset(gf_poly next)
    {
        del_gf_poly(&p);
        p = next;
    }
};

bool all_zero(gf_poly p)
{
    for (uint64_t i = 0; i < p.length; ++i) {
        if (p.data[i] != 0)
            return false;
    }
    return true;
}

} // namespace

gf_poly gf_rs_generator_poly(const gf *field, uint8_t nsym, uint8_t first_power)
{
    const uint8_t one = 1;
    poly_guard g{new_gf_poly(&one, 1)};
    if (gf_poly_failed(g.p))
        return failed_poly;
    uint8_t factor[2] = {1, 0};
    for (uint8_t i = 0; i < nsym; ++i) {
        factor[1] = gf_pow(field, 2, static_cast<uint8_t>(first_power + i));
        g.reset(gf_poly_mul(field, g.p, gf_poly{factor, 2}));
        if (gf_poly_failed(g.p))
            return failed_poly;
    }
    return g.take();
}

gf_poly gf_poly_rs_encode(const gf *field, gf_poly message, uint8_t nsym)
{
    poly_guard g{gf_rs_generator_poly(field, nsym, 1)};
    if (gf_poly_failed(g.p))
        return failed_poly;
    poly_guard padded{gf_poly_zero_pad(message, nsym)};
    if (gf_poly_failed(padded.p))
        return failed_poly;
    return gf_poly_div(field, padded.p, g.p);
}

gf_poly gf_calc_syndromes(const gf *field, gf_poly block, uint32_t nsym)
{
    if (gf_poly_failed(block))
        return failed_poly;
    gf_poly s = new_gf_poly(nullptr, uint64_t{nsym} + 1);
    if (gf_poly_failed(s))
        return failed_poly;
    for (uint32_t i = 1; i <= nsym; ++i)
        s.data[i] = gf_poly_eval(field, block, gf_pow(field, 2, static_cast<uint8_t>(i)));
    return s;
}

gf_poly gf_forney_syndromes(const gf *field, gf_poly synd, const uint8_t *erase_pos, int32_t erase_count,
                            uint32_t block_length)
{
    gf_poly f = trim_gf_poly(synd, 1, synd.length);
    if (gf_poly_failed(f) || erase_count <= 0)
        return f;
    for (int32_t j = 0; j < erase_count; ++j) {
        const uint8_t degree = static_cast<uint8_t>(block_length - 1 - erase_pos[j]);
        const uint8_t x = gf_pow(field, 2, degree);
        // Each pass cancels one erasure's term X^i against X^(i+1) in every
        // entry but the last, which keeps the term.
        for (uint64_t i = 0; i + 1 < f.length; ++i)
            f.data[i] = gf_mul(field, f.data[i], x) ^ f.data[i + 1];
    }
    return f;
}

gf_poly gf_find_error_locator(const gf *field, gf_poly synd, int32_t nsym, int32_t erase_count,
                              int32_t *status)
{
    *status = 0;
    if (gf_poly_failed(synd))
        return failed_poly;
    const int64_t e = erase_count > 0 ? erase_count : 0;
    const uint8_t one = 1;
    poly_guard loc{new_gf_poly(&one, 1)};
    poly_guard old{new_gf_poly(&one, 1)};
    if (gf_poly_failed(loc.p) || gf_poly_failed(old.p))
        return failed_poly;
    const uint64_t wanted = nsym > 0 ? static_cast<uint64_t>(nsym) : 0;
    const uint64_t shift = synd.length > wanted ? synd.length - wanted : 0;
    auto syndrome = [&](uint64_t k) -> uint8_t { return k < synd.length ? synd.data[k] : 0; };
    // With erasures, the Forney syndromes free of erasure terms are the
    // first nsym - e entries, so the search always starts at entry 0.
    for (int64_t i = 0; i < int64_t{nsym} - e; ++i) {
        const uint64_t k = static_cast<uint64_t>(i) + shift;
        uint8_t delta = syndrome(k);
        for (uint64_t j = 1; j < loc.p.length && j <= k; ++j)
            delta ^= gf_mul(field, loc.p.data[loc.p.length - 1 - j], syndrome(k - j));
        old.p = gf_poly_append(old.p, 0);
        if (gf_poly_failed(old.p))
            return failed_poly;
        if (delta == 0)
            continue;
        if (old.p.length > loc.p.length) {
            poly_guard next{gf_poly_scale(field, old.p, delta)};
            old.reset(gf_poly_scale(field, loc.p, gf_inverse(field, delta)));
            loc.reset(next.take());
            if (gf_poly_failed(loc.p) || gf_poly_failed(old.p))
                return failed_poly;
        }
        poly_guard term{gf_poly_scale(field, old.p, delta)};
        if (gf_poly_failed(term.p))
            return failed_poly;
        loc.reset(gf_poly_add(loc.p, term.p));
        if (gf_poly_failed(loc.p))
            return failed_poly;
    }
    poly_guard stripped{gf_poly_strip_leadingzero(loc.p)};
    if (gf_poly_failed(stripped.p))
        return failed_poly;
    const int64_t v = stripped.p.length > 0 ? static_cast<int64_t>(stripped.p.length) - 1 : 0;
    if (e + 2 * v > nsym)
        *status = -1;
    return stripped.take();
}

gf_poly gf_find_errors(const gf *field, gf_poly reversed_locator, uint64_t block_length, int32_t *status)
{
    *status = 0;
    if (gf_poly_failed(reversed_locator))
        return failed_poly;
    poly_guard positions{new_gf_poly(nullptr, 0)};
    if (gf_poly_failed(positions.p))
        return failed_poly;
    // x runs through 2^i, one product per step.
    uint8_t x = 1;
    for (uint64_t i = 0; i < block_length; ++i) {
        if (gf_poly_eval(field, reversed_locator, x) == 0) {
            positions.p = gf_poly_append(positions.p, static_cast<uint8_t>(block_length - 1 - i));
            if (gf_poly_failed(positions.p))
                return failed_poly;
        }
        x = gf_mul(field, x, 2);
    }
    const uint64_t degree = reversed_locator.length > 0 ? reversed_locator.length - 1 : 0;
    if (positions.p.length != degree)
        *status = -1;
    return positions.take();
}

gf_poly gf_find_errata_locator(const gf *field, gf_poly degrees)
{
    if (gf_poly_failed(degrees))
        return failed_poly;
    const uint8_t one = 1;
    poly_guard loc{new_gf_poly(&one, 1)};
    if (gf_poly_failed(loc.p))
        return failed_poly;
    for (uint64_t j = 0; j < degrees.length; ++j) {
        uint8_t factor[2] = {gf_pow(field, 2, degrees.data[j]), 1};
        loc.reset(gf_poly_mul(field, loc.p, gf_poly{factor, 2}));
        if (gf_poly_failed(loc.p))
            return failed_poly;
    }
    return loc.take();
}

gf_poly gf_find_error_evaluator(const gf *field, gf_poly synd, gf_poly errata_locator, uint32_t count)
{
    poly_guard product{gf_poly_mul(field, synd, errata_locator)};
    if (gf_poly_failed(product.p))
        return failed_poly;
    // x^(count+1): 1 followed by count + 1 zeros.
    poly_guard divisor{new_gf_poly(nullptr, uint64_t{count} + 2)};
    if (gf_poly_failed(divisor.p))
        return failed_poly;
    divisor.p.data[0] = 1;
    return gf_poly_div(field, product.p, divisor.p);
}

gf_poly gf_correct_errata(const gf *field, gf_poly block, gf_poly synd, gf_poly errata_positions)
{
    if (gf_poly_failed(block) || gf_poly_failed(synd) || gf_poly_failed(errata_positions))
        return failed_poly;
    const uint64_t count = errata_positions.length;
    const uint64_t b = block.length;
    poly_guard degrees{new_gf_poly(nullptr, count)};
    poly_guard x{new_gf_poly(nullptr, count)};
    poly_guard magnitudes{new_gf_poly(nullptr, b)};
    if (gf_poly_failed(degrees.p) || gf_poly_failed(x.p) || gf_poly_failed(magnitudes.p))
        return failed_poly;
    for (uint64_t j = 0; j < count; ++j)
        degrees.p.data[j] = static_cast<uint8_t>(b - 1 - errata_positions.data[j]);
    poly_guard locator{gf_find_errata_locator(field, degrees.p)};
    if (gf_poly_failed(locator.p))
        return failed_poly;
    // The reversed list is S_1 x + ... + S_nsym x^nsym: its trailing 0 (the
    // list's leading entry) supplies the factor x of the evaluator.
    poly_guard reversed{reverse_gf_poly(synd)};
    if (gf_poly_failed(reversed.p))
        return failed_poly;
    poly_guard evaluator{
        gf_find_error_evaluator(field, reversed.p, locator.p, static_cast<uint32_t>(count))};
    if (gf_poly_failed(evaluator.p))
        return failed_poly;
    for (uint64_t j = 0; j < count; ++j)
        x.p.data[j] = gf_pow2(field, 2, -static_cast<int32_t>(field->size - degrees.p.data[j]));
    for (uint64_t j = 0; j < count; ++j) {
        const uint8_t xi = gf_inverse(field, x.p.data[j]);
        uint8_t den = 1;
        for (uint64_t t = 0; t < count; ++t) {
            if (t != j)
                den = gf_mul(field, den, 1 ^ gf_mul(field, xi, x.p.data[t]));
        }
        // With the first root at 2^1 the factor X_j^(1 - first root) is 1.
        const uint8_t y = gf_poly_eval(field, evaluator.p, xi);
        const uint64_t position = errata_positions.data[j];
        if (position < b)
            magnitudes.p.data[position] = gf_div2(field, y, den);
    }
    return gf_poly_add(block, magnitudes.p);
}

gf_poly gf_poly_rs_decode(const gf *field, gf_poly block, uint8_t nsym, const uint8_t *erase_pos,
                          uint8_t erase_count, uint8_t *corrected, uint8_t *status)
{
    *corrected = 0;
    *status = RS_DECODE_OK;
    const uint64_t kept = block.length > nsym ? block.length - nsym : 0;
    poly_guard work{copy_gf_poly(block.data, block.length)};
    if (gf_poly_failed(work.p)) {
        *status = RS_DECODE_OUT_OF_MEMORY;
        return failed_poly;
    }
    if (erase_count > nsym) {
        *corrected = erase_count;
        *status = RS_DECODE_TOO_MANY_ERASURES;
        return work.take();
    }
    for (uint8_t j = 0; j < erase_count; ++j) {
        if (erase_pos[j] >= block.length) {
            *status = RS_DECODE_ERASURE_OUTSIDE;
            return work.take();
        }
        work.p.data[erase_pos[j]] = 0;
    }
    poly_guard synd{gf_calc_syndromes(field, work.p, nsym)};
    if (gf_poly_failed(synd.p)) {
        *status = RS_DECODE_OUT_OF_MEMORY;
        return failed_poly;
    }
    if (all_zero(synd.p)) {
        gf_poly message = trim_gf_poly(work.p, 0, kept);
        if (gf_poly_failed(message))
            *status = RS_DECODE_OUT_OF_MEMORY;
        return message;
    }
    poly_guard locator{failed_poly};
    int32_t search = 0;
    {
        poly_guard forney{gf_forney_syndromes(field, synd.p, erase_pos, erase_count,
                                              static_cast<uint32_t>(block.length))};
        if (gf_poly_failed(forney.p)) {
            *status = RS_DECODE_OUT_OF_MEMORY;
            return failed_poly;
        }
        locator.p = gf_find_error_locator(field, forney.p, nsym, erase_count, &search);
    }
    if (gf_poly_failed(locator.p)) {
        *status = RS_DECODE_OUT_OF_MEMORY;
        return failed_poly;
    }
    if (search < 0) {
        *status = RS_DECODE_LOCATOR_TOO_LONG;
        return work.take();
    }
    poly_guard reversed{reverse_gf_poly(locator.p)};
    locator.reset(failed_poly);
    if (gf_poly_failed(reversed.p)) {
        *status = RS_DECODE_OUT_OF_MEMORY;
        return failed_poly;
    }
    poly_guard errors{gf_find_errors(field, reversed.p, block.length, &search)};
    reversed.reset(failed_poly);
    if (gf_poly_failed(errors.p)) {
        *status = RS_DECODE_OUT_OF_MEMORY;
        return failed_poly;
    }
    if (search < 0) {
        *status = RS_DECODE_POSITION_MISMATCH;
        return work.take();
    }
    *corrected = static_cast<uint8_t>(errors.p.length);
    poly_guard erasures{new_gf_poly(erase_pos, erase_count)};
    if (gf_poly_failed(erasures.p)) {
        *status = RS_DECODE_OUT_OF_MEMORY;
        return failed_poly;
    }
    poly_guard positions{gf_poly_concatenate(erasures.p, errors.p)};
    if (gf_poly_failed(positions.p)) {
        *status = RS_DECODE_OUT_OF_MEMORY;
        return failed_poly;
    }
    poly_guard fixed{gf_correct_errata(field, work.p, synd.p, positions.p)};
    if (gf_poly_failed(fixed.p)) {
        *status = RS_DECODE_OUT_OF_MEMORY;
        return failed_poly;
    }
    poly_guard check{gf_calc_syndromes(field, fixed.p, nsym)};
    if (gf_poly_failed(check.p)) {
        *status = RS_DECODE_OUT_OF_MEMORY;
        return failed_poly;
    }
    if (!all_zero(check.p)) {
        *status = RS_DECODE_SYNDROME_REMAINS;
        return fixed.take();
    }
    gf_poly message = trim_gf_poly(fixed.p, 0, kept);
    if (gf_poly_failed(message))
        *status = RS_DECODE_OUT_OF_MEMORY;
    return message;
}
