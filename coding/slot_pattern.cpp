#include "coding/slot_pattern.h"

#include "runtime/memory_manager.h"

#include <cstring>

slot_pattern *new_slot_pattern(const char *text)
{
    if (text == nullptr)
        text = "1";
    const size_t length = std::strlen(text);
    if (length >= UINT32_MAX)
        return nullptr;
    slot_pattern *p = tracked_alloc<slot_pattern>(1);
    if (p == nullptr)
        return nullptr;
    p->length = static_cast<uint32_t>(length);
    p->text = tracked_alloc<char>(length + 1);
    if (p->text == nullptr) {
        del_slot_pattern(p);
        return nullptr;
    }
    std::memcpy(p->text, text, length);
    return p;
}

slot_pattern *copy_slot_pattern(const slot_pattern *pattern)
{
    return new_slot_pattern(pattern->text);
}

void del_slot_pattern(slot_pattern *pattern)
{
    if (pattern == nullptr)
        return;
    tracked_free(pattern->text);
    tracked_free(pattern);
}

const char *slot_pattern_text(const slot_pattern *pattern)
{
    return pattern->text;
}

bool slot_pattern_is_data_char(char c)
{
    return c >= '1' && c <= '4';
}

bool slot_pattern_has_data(const slot_pattern *pattern)
{
    for (uint32_t i = 0; i < pattern->length; ++i)
        if (slot_pattern_is_data_char(pattern->text[i]))
            return true;
    return false;
}

char slot_pattern_char(const slot_pattern *pattern, uint32_t i)
{
    if (pattern->length == 0)
        return '\0';
    return pattern->text[i % pattern->length];
}

uint64_t slot_pattern_data_slot_position(const slot_pattern *pattern, uint32_t n)
{
    uint32_t per_cycle = 0;
    for (uint32_t i = 0; i < pattern->length; ++i)
        per_cycle += slot_pattern_is_data_char(pattern->text[i]);
    if (per_cycle == 0)
        return 0;
    // Whole cycles first, then the remaining data characters of the last one.
    uint32_t remaining = n % per_cycle;
    const uint64_t base = static_cast<uint64_t>(n / per_cycle) * pattern->length;
    for (uint32_t i = 0;; ++i) {
        if (slot_pattern_is_data_char(pattern->text[i])) {
            if (remaining == 0)
                return base + i;
            --remaining;
        }
    }
}

uint8_t slot_pattern_nth_data_slot(const slot_pattern *pattern, uint32_t n)
{
    return static_cast<uint8_t>(slot_pattern_data_slot_position(pattern, n));
}
