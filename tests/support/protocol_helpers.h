// Small helpers for tests that build protocols from hand-made parameters.
#pragma once

#include "coding/protocol.h"

#include <cstdint>
#include <cstring>

// new_protocol, releasing both parameter records when it refuses them (it
// takes them over only on success).
inline protocol *new_test_protocol(const char *name, coding_params *coding, modulation_params *modulation)
{
    protocol *p = new_protocol(name, 0, coding, modulation);
    if (p == nullptr) {
        del_coding_params(coding);
        del_modulation_params(modulation);
    }
    return p;
}

// The bit pattern of a float, for golden values that must match exactly.
inline uint32_t bits_of(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}
