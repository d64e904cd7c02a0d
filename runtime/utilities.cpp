#include "runtime/utilities.h"

#include "runtime/memory_manager.h"
#include "runtime/random.h"

#include <cstring>

namespace {

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

void bytes_to_hex(const uint8_t *in, uint8_t n, char *out)
{
    static const char digits[] = "0123456789abcdef";
    for (uint32_t i = 0; i < n; ++i) {
        out[2 * i] = digits[in[i] >> 4];
        out[2 * i + 1] = digits[in[i] & 0x0f];
    }
    out[2 * static_cast<uint32_t>(n)] = '\0';
}

uint8_t hex_to_bytes(const char *hex, uint8_t *out)
{
    const size_t len = std::strlen(hex);
    if (len % 2 != 0)
        return 1;
    for (size_t k = 0; k < len / 2; ++k) {
        const int hi = hex_digit(hex[2 * k]);
        const int lo = hex_digit(hex[2 * k + 1]);
        if (hi < 0 || lo < 0)
            return 1;
        out[k] = static_cast<uint8_t>(hi << 4 | lo);
    }
    return 0;
}

void shuffle_bytes(uint8_t *a, int16_t n)
{
    for (int32_t i = static_cast<int32_t>(n) - 1; i >= 0; --i) {
        // The index stays wide: an 8-bit index only reaches the first 256 bytes.
        const uint32_t j = random_next_u32() % static_cast<uint32_t>(i + 1);
        const uint8_t t = a[i];
        a[i] = a[j];
        a[j] = t;
    }
}

uint8_t count_differing_bytes(const uint8_t *a, const uint8_t *b, uint8_t n)
{
    uint8_t d = 0;
    for (uint32_t i = 0; i < n; ++i)
        d = static_cast<uint8_t>(d + (a[i] != b[i]));
    return d;
}

uint32_t count_differing_chars(const char *s, const char *t)
{
    uint32_t d = 0;
    size_t i = 0;
    for (; s[i] != '\0' && t[i] != '\0'; ++i)
        d += s[i] != t[i];
    for (; s[i] != '\0'; ++i)
        ++d;
    return d;
}

uint32_t levenshtein_distance(const char *s, const char *t)
{
    const size_t n = std::strlen(s);
    const size_t m = std::strlen(t);
    uint32_t **rows = tracked_alloc<uint32_t *>(m + 1);
    if (rows == nullptr)
        return 0xFFFFFFFFu;
    bool ok = true;
    for (size_t r = 0; r <= m && ok; ++r) {
        rows[r] = tracked_alloc<uint32_t>(n + 1);
        ok = rows[r] != nullptr;
    }
    uint32_t result = 0xFFFFFFFFu;
    if (ok) {
        for (size_t c = 0; c <= n; ++c)
            rows[0][c] = static_cast<uint32_t>(c);
        for (size_t r = 1; r <= m; ++r) {
            rows[r][0] = static_cast<uint32_t>(r);
            for (size_t c = 1; c <= n; ++c) {
                const uint32_t del = rows[r - 1][c] + 1;
                const uint32_t ins = rows[r][c - 1] + 1;
                const uint32_t sub = rows[r - 1][c - 1] + (s[c - 1] != t[r - 1] ? 1u : 0u);
                uint32_t best = del < ins ? del : ins;
                rows[r][c] = sub < best ? sub : best;
            }
        }
        result = rows[m][n];
    }
    for (size_t r = 0; r <= m; ++r)
        tracked_free(rows[r]);
    tracked_free(rows);
    return result;
}

const char *path_basename(const char *s)
{
    const char *slash = std::strrchr(s, '/');
    return slash == nullptr ? s : slash + 1;
}
