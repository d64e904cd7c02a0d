#include "coding/gf/rs_codec.h"

#include "coding/gf/gf_poly.h"
#include "coding/gf/rs_poly.h"
#include "runtime/memory_manager.h"

#include <cstring>

namespace {

uint64_t block_length(const rs_codec *codec)
{
    return (uint64_t{1} << codec->m) - 1;
}

// Frees a polynomial at the end of its scope.
struct poly_guard {
    gf_poly p;
    ~poly_guard() { del_gf_poly(&p); }
};

// Frees a codeword at the end of its scope unless released.
struct codeword_guard {
    rs_codeword *word;
    ~codeword_guard() { del_rs_codeword(word); }
    rs_codeword *release()
    {
        rs_codeword *w = word;
        word = nullptr;
        return w;
    }
};

} // namespace

rs_codec *new_rs_codec(uint8_t m, uint64_t k, uint64_t nsym)
{
    if (m < 2 || m > 8 || k == 0)
        return nullptr;
    const uint64_t limit = (uint64_t{1} << m) - 1;
    if (k > limit || nsym > limit - k)
        return nullptr;
    rs_codec *codec = tracked_alloc<rs_codec>(1);
    if (codec == nullptr)
        return nullptr;
    codec->m = m;
    codec->k = k;
    codec->nsym = nsym;
    codec->n = k + nsym;
    codec->field = new_gf(m);
    if (codec->field == nullptr) {
        del_rs_codec(codec);
        return nullptr;
    }
    return codec;
}

rs_codec *copy_rs_codec(const rs_codec *codec)
{
    if (codec == nullptr)
        return nullptr;
    rs_codec *copy = tracked_alloc<rs_codec>(1);
    if (copy == nullptr)
        return nullptr;
    copy->m = codec->m;
    copy->k = codec->k;
    copy->nsym = codec->nsym;
    copy->n = codec->k + codec->nsym;
    copy->field = copy_gf(codec->field);
    if (copy->field == nullptr) {
        del_rs_codec(copy);
        return nullptr;
    }
    return copy;
}

void del_rs_codec(rs_codec *codec)
{
    if (codec == nullptr)
        return;
    del_gf(codec->field);
    tracked_free(codec);
}

rs_codeword *new_rs_codeword(const rs_codec *codec)
{
    if (codec == nullptr)
        return nullptr;
    rs_codeword *word = tracked_alloc<rs_codeword>(1);
    if (word == nullptr)
        return nullptr;
    word->codec = copy_rs_codec(codec);
    word->message = tracked_alloc<uint8_t>(codec->k);
    word->parity = tracked_alloc<uint8_t>(codec->nsym);
    if (word->codec == nullptr || word->message == nullptr || word->parity == nullptr) {
        del_rs_codeword(word);
        return nullptr;
    }
    return word;
}

rs_codeword *copy_rs_codeword(const rs_codeword *word)
{
    if (word == nullptr)
        return nullptr;
    rs_codeword *copy = new_rs_codeword(word->codec);
    if (copy == nullptr)
        return nullptr;
    std::memcpy(copy->message, word->message, word->codec->k);
    if (word->codec->nsym != 0)
        std::memcpy(copy->parity, word->parity, word->codec->nsym);
    copy->errors = word->errors;
    copy->valid = word->valid;
    return copy;
}

void del_rs_codeword(rs_codeword *word)
{
    if (word == nullptr)
        return;
    tracked_free(word->message);
    tracked_free(word->parity);
    del_rs_codec(word->codec);
    tracked_free(word);
}

rs_codeword *rs_codec_encode(const rs_codec *codec, const uint8_t *message)
{
    if (codec == nullptr || message == nullptr)
        return nullptr;
    const uint8_t nsym = static_cast<uint8_t>(codec->nsym);
    // The message followed by the zero run: the block without its parity.
    poly_guard data{new_gf_poly(nullptr, block_length(codec) - nsym)};
    if (gf_poly_failed(data.p))
        return nullptr;
    std::memcpy(data.p.data, message, codec->k);
    poly_guard parity{gf_poly_rs_encode(codec->field, data.p, nsym)};
    if (gf_poly_failed(parity.p))
        return nullptr;
    rs_codeword *word = new_rs_codeword(codec);
    if (word == nullptr)
        return nullptr;
    std::memcpy(word->message, message, codec->k);
    if (nsym != 0)
        std::memcpy(word->parity, parity.p.data, nsym);
    word->valid = 1;
    return word;
}

rs_codeword *rs_codec_decode(const rs_codec *codec, const uint8_t *received)
{
    if (codec == nullptr || received == nullptr)
        return nullptr;
    const uint64_t length = block_length(codec);
    const uint8_t nsym = static_cast<uint8_t>(codec->nsym);
    poly_guard block{new_gf_poly(nullptr, length)};
    if (gf_poly_failed(block.p))
        return nullptr;
    std::memcpy(block.p.data, received, codec->k);
    if (nsym != 0)
        std::memcpy(block.p.data + (length - nsym), received + codec->k, nsym);
    uint8_t corrected = 0;
    uint8_t status = RS_DECODE_OK;
    poly_guard result{gf_poly_rs_decode(codec->field, block.p, nsym, nullptr, 0, &corrected, &status)};
    if (status == RS_DECODE_OUT_OF_MEMORY)
        return nullptr;
    codeword_guard word{new_rs_codeword(codec)};
    if (word.word == nullptr)
        return nullptr;
    if (status != RS_DECODE_OK)
        return word.release();
    // A status-0 result holds message and zero run. The run was all zero on
    // the way in, so a non-zero byte there is an error located in it; and
    // every located error of a status-0 decode has a non-zero magnitude
    // (the locator is the shortest that fits the syndromes). Such a result
    // is a codeword of the full-length code that no sender could have sent.
    for (uint64_t i = codec->k; i < result.p.length; ++i) {
        if (result.p.data[i] != 0)
            return word.release();
    }
    std::memcpy(word.word->message, result.p.data, codec->k);
    word.word->errors = corrected;
    word.word->valid = 1;
    return word.release();
}

uint8_t rs_codeword_is_valid(const rs_codeword *word)
{
    return word->valid;
}

uint8_t rs_codeword_error_count(const rs_codeword *word)
{
    return word->errors;
}

const uint8_t *rs_codeword_message(const rs_codeword *word)
{
    return word->message;
}

const uint8_t *rs_codeword_parity(const rs_codeword *word)
{
    return word->parity;
}
