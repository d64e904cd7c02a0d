#include "coding/protocol.h"

#include "coding/frame_rules.h"
#include "coding/param_body.h"
#include "coding/symbol_buffer.h"
#include "runtime/memory_manager.h"

#include <cstring>

protocol *new_protocol(const char *name, uint8_t version, coding_params *coding,
                       modulation_params *modulation)
{
    if (modulation == nullptr || coding == nullptr || name == nullptr)
        return nullptr;
    const size_t name_length = std::strlen(name);
    if (name_length > PROTOCOL_MAX_NAME_LENGTH)
        return nullptr;
    if (bytes_for_bits(modulation->frontdoor_count, coding->bits_per_symbol) == 0)
        return nullptr;
    if (!frame_limits_ok(coding, modulation))
        return nullptr;
    protocol *p = tracked_alloc<protocol>(1);
    if (p == nullptr)
        return nullptr;
    p->name = tracked_alloc<char>(name_length + 1);
    if (p->name == nullptr) {
        protocol_release_name(p);
        return nullptr;
    }
    std::memcpy(p->name, name, name_length);
    p->version = version;
    p->coding = coding;
    p->modulation = modulation;
    for (uint32_t i = 0; i < modulation->frontdoor_count; ++i)
        if (modulation->frontdoor[i] >= coding->symbols)
            modulation->frontdoor[i] %= coding->symbols;
    return p;
}

protocol *new_default_protocol()
{
    modulation_params *modulation = new_default_modulation_params();
    if (modulation == nullptr)
        return nullptr;
    coding_params *coding = new_default_coding_params();
    if (coding == nullptr) {
        del_modulation_params(modulation);
        return nullptr;
    }
    protocol *p = new_protocol("standard", 0, coding, modulation);
    if (p == nullptr) {
        del_coding_params(coding);
        del_modulation_params(modulation);
    }
    return p;
}

protocol *protocol_from_bytes(const uint8_t *body, uint64_t length, uint64_t *position, uint8_t format)
{
    if (!body_format_supported(format))
        return nullptr;
    uint8_t name_length = 0;
    char name[256] = {};
    uint8_t version = 0;
    if (!body_read_u8(body, length, position, &name_length) ||
        !body_read_bytes(body, length, position, reinterpret_cast<uint8_t *>(name), name_length) ||
        !body_read_u8(body, length, position, &version))
        return nullptr;
    coding_params *coding = coding_params_deserialise(body, length, position, format);
    modulation_params *modulation = modulation_params_deserialise(body, length, position, format);
    protocol *p = new_protocol(name, version, coding, modulation);
    if (p == nullptr) {
        del_coding_params(coding);
        del_modulation_params(modulation);
    }
    return p;
}

void protocol_to_bytes(const protocol *p, uint8_t *out, uint64_t *position)
{
    const size_t name_length = std::strlen(p->name);
    body_write_u8(out, position, static_cast<uint8_t>(name_length));
    body_write_bytes(out, position, reinterpret_cast<const uint8_t *>(p->name), name_length);
    body_write_u8(out, position, p->version);
    coding_params_serialise(p->coding, out, position);
    modulation_params_serialise(p->modulation, out, position);
}

void del_protocol(protocol *p)
{
    if (p == nullptr)
        return;
    del_coding_params(p->coding);
    p->coding = nullptr;
    del_modulation_params(p->modulation);
    p->modulation = nullptr;
    protocol_release_name(p);
}

void protocol_release_name(protocol *p)
{
    if (p == nullptr)
        return;
    tracked_free(p->name);
    tracked_free(p);
}

bool protocol_equals(const protocol *a, const protocol *b)
{
    return coding_params_equal(a->coding, b->coding) && modulation_params_equal(a->modulation, b->modulation) &&
           std::strcmp(a->name, b->name) == 0 && a->version == b->version;
}

const char *protocol_name(const protocol *p)
{
    return p->name;
}

uint8_t protocol_version(const protocol *p)
{
    return p->version;
}

coding_params *protocol_alphabet(const protocol *p)
{
    return p->coding;
}

modulation_params *protocol_modulation(const protocol *p)
{
    return p->modulation;
}

uint8_t protocol_frontdoor_size(const protocol *p)
{
    return p->modulation->frontdoor_count;
}

uint8_t protocol_bits_per_symbol(const protocol *p)
{
    return p->coding->bits_per_symbol;
}

uint64_t protocol_symbol_count(const protocol *p)
{
    return p->coding->symbols;
}

uint16_t protocol_tone_count(const protocol *p)
{
    return p->coding->tones;
}

uint8_t protocol_tone_bits(const protocol *p)
{
    return p->coding->tone_bits;
}

bool protocol_is_fixed_length(const protocol *p)
{
    return p->coding->min_length == p->coding->max_length;
}

uint8_t protocol_min_payload_length(const protocol *p)
{
    return p->coding->min_length;
}

uint8_t protocol_max_payload_length(const protocol *p)
{
    return p->coding->max_length;
}
