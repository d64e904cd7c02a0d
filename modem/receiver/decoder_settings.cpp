#include "modem/receiver/decoder_settings.h"

#include "coding/param_body.h"
#include "coding/protocol_frame.h"
#include "coding/protocol_tones.h"
#include "runtime/convert.h"
#include "runtime/float_math.h"
#include "runtime/memory_manager.h"

#include <cstring>
#include <limits>

namespace {

constexpr uint32_t kMaxNameBytes = 255; // the length travels in one byte

bool is_finite(float x)
{
    return math_abs(x) <= std::numeric_limits<float>::max();
}

bool read_f32s(const uint8_t *body, uint64_t length, uint64_t *position, float *out, uint64_t count)
{
    for (uint64_t i = 0; i < count; ++i)
        if (!body_read_f32(body, length, position, &out[i]))
            return false;
    return true;
}

bool arrays_present(uint8_t count, const float *noise_smoothing, const float *noise_subtraction,
                    const int8_t *time_shift, uint8_t curve_points, const float *const *curves,
                    const float *frontdoor_thresholds, const float *window_factors)
{
    if (count == 0)
        return true;
    if (noise_smoothing == nullptr || noise_subtraction == nullptr || time_shift == nullptr ||
        frontdoor_thresholds == nullptr || window_factors == nullptr)
        return false;
    if (curve_points == 0)
        return true;
    if (curves == nullptr)
        return false;
    for (uint32_t i = 0; i < count; ++i)
        if (curves[i] == nullptr)
            return false;
    return true;
}

} // namespace

decoder_settings *new_decoder_settings(const char *name, uint8_t version, uint8_t hop, uint8_t detector_count,
                                       uint32_t sample_rate, uint16_t fft_size, const float *noise_smoothing,
                                       const float *noise_subtraction, const int8_t *time_shift,
                                       uint8_t curve_points, const float *const *curves,
                                       const float *frontdoor_thresholds, const float *window_factors)
{
    if (name == nullptr || !arrays_present(detector_count, noise_smoothing, noise_subtraction, time_shift,
                                           curve_points, curves, frontdoor_thresholds, window_factors))
        return nullptr;
    decoder_settings *s = tracked_alloc<decoder_settings>(1);
    if (s == nullptr)
        return nullptr;
    const size_t name_length = std::strlen(name);
    s->name = tracked_alloc<char>(name_length + 1);
    if (s->name == nullptr) {
        del_decoder_settings(s);
        return nullptr;
    }
    std::memcpy(s->name, name, name_length);
    s->version = version;
    s->hop = hop;
    s->sample_rate = sample_rate;
    s->fft_size = fft_size;
    if (detector_count == 0)
        return s;
    s->detectors = tracked_alloc<detector_settings>(detector_count);
    if (s->detectors == nullptr) {
        del_decoder_settings(s);
        return nullptr;
    }
    // Counted before the curves are taken, so a failure part-way frees those
    // already copied (the others are still NULL).
    s->detector_count = detector_count;
    const uint64_t curve_floats = 2u * static_cast<uint64_t>(curve_points);
    for (uint32_t i = 0; i < detector_count; ++i) {
        detector_settings *d = &s->detectors[i];
        d->noise_smoothing = noise_smoothing[i];
        d->noise_subtraction = noise_subtraction[i];
        d->time_shift = time_shift[i];
        d->curve_points = curve_points;
        d->frontdoor_threshold = frontdoor_thresholds[i];
        d->window_factor = window_factors[i];
        if (curve_points == 0)
            continue;
        d->curve = tracked_alloc<float>(curve_floats);
        if (d->curve == nullptr) {
            del_decoder_settings(s);
            return nullptr;
        }
        std::memcpy(d->curve, curves[i], curve_floats * sizeof(float));
    }
    return s;
}

decoder_settings *decoder_settings_from_bytes(const uint8_t *body, uint64_t length, uint64_t *position,
                                              uint8_t format)
{
    if (!body_format_supported(format) || body == nullptr || position == nullptr)
        return nullptr;
    uint64_t pos = *position;
    uint8_t name_length = 0;
    char name[kMaxNameBytes + 1] = {};
    uint8_t version = 0;
    uint8_t hop = 0;
    uint8_t count = 0;
    uint32_t sample_rate = 0;
    uint16_t fft_size = 0;
    if (!body_read_u8(body, length, &pos, &name_length) ||
        !body_read_bytes(body, length, &pos, reinterpret_cast<uint8_t *>(name), name_length) ||
        !body_read_u8(body, length, &pos, &version) || !body_read_u8(body, length, &pos, &hop) ||
        !body_read_u8(body, length, &pos, &count) || !body_read_u32(body, length, &pos, &sample_rate) ||
        !body_read_u16(body, length, &pos, &fft_size))
        return nullptr;

    float smoothing[255];
    float subtraction[255];
    int8_t shifts[255];
    float thresholds[255];
    float factors[255];
    bool ok = read_f32s(body, length, &pos, smoothing, count) && read_f32s(body, length, &pos, subtraction, count);
    // Refused here rather than left to the detector, whose noise filter would
    // quietly keep its own defaults for them.
    for (uint32_t i = 0; ok && i < count; ++i) {
        const detector_settings noise = {smoothing[i], subtraction[i], 0, 0, nullptr, 0.0f, 0.0f};
        ok = detector_settings_valid(&noise);
    }
    for (uint32_t i = 0; ok && i < count; ++i) {
        uint8_t raw = 0;
        ok = body_read_u8(body, length, &pos, &raw);
        shifts[i] = static_cast<int8_t>(raw);
    }
    uint8_t points = 0;
    ok = ok && body_read_u8(body, length, &pos, &points);
    // The curves may claim half a megabyte: the rest of the part must be in
    // the body before any memory is taken for them.
    const uint64_t curve_floats = 2u * static_cast<uint64_t>(points) * count;
    if (!ok || !body_has_bytes(length, pos, 4 * curve_floats + 8u * count))
        return nullptr;

    float *curve_data = nullptr;
    const float *curves[255] = {};
    if (curve_floats > 0) {
        curve_data = tracked_alloc<float>(curve_floats);
        if (curve_data == nullptr)
            return nullptr;
        for (uint32_t i = 0; i < count; ++i)
            curves[i] = curve_data + 2u * static_cast<uint64_t>(points) * i;
    }
    ok = read_f32s(body, length, &pos, curve_data, curve_floats) &&
         read_f32s(body, length, &pos, thresholds, count) && read_f32s(body, length, &pos, factors, count);
    decoder_settings *s = nullptr;
    if (ok)
        s = new_decoder_settings(name, version, hop, count, sample_rate, fft_size, smoothing, subtraction, shifts,
                                 points, curves, thresholds, factors);
    tracked_free(curve_data);
    if (s != nullptr)
        *position = pos;
    return s;
}

void decoder_settings_to_bytes(const decoder_settings *s, uint8_t *out, uint64_t *position)
{
    size_t name_length = s->name == nullptr ? 0 : std::strlen(s->name);
    if (name_length > kMaxNameBytes)
        name_length = kMaxNameBytes;
    body_write_u8(out, position, static_cast<uint8_t>(name_length));
    if (name_length > 0)
        body_write_bytes(out, position, reinterpret_cast<const uint8_t *>(s->name), name_length);
    body_write_u8(out, position, s->version);
    body_write_u8(out, position, s->hop);
    body_write_u8(out, position, s->detector_count);
    body_write_u32(out, position, s->sample_rate);
    body_write_u16(out, position, s->fft_size);
    const uint32_t count = s->detectors == nullptr ? 0 : s->detector_count;
    const detector_settings *d = s->detectors;
    for (uint32_t i = 0; i < count; ++i)
        body_write_f32(out, position, d[i].noise_smoothing);
    for (uint32_t i = 0; i < count; ++i)
        body_write_f32(out, position, d[i].noise_subtraction);
    for (uint32_t i = 0; i < count; ++i)
        body_write_u8(out, position, static_cast<uint8_t>(d[i].time_shift));
    const uint8_t points = count == 0 ? 0 : d[0].curve_points;
    body_write_u8(out, position, points);
    // One count serves every record; a record holding fewer values than it
    // (impossible through new_decoder_settings) is padded with zeros so the
    // layout still holds.
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t held = d[i].curve == nullptr ? 0 : 2u * d[i].curve_points;
        for (uint32_t v = 0; v < 2u * points; ++v)
            body_write_f32(out, position, v < held ? d[i].curve[v] : 0.0f);
    }
    for (uint32_t i = 0; i < count; ++i)
        body_write_f32(out, position, d[i].frontdoor_threshold);
    for (uint32_t i = 0; i < count; ++i)
        body_write_f32(out, position, d[i].window_factor);
}

bool decoder_settings_fit_protocol(const decoder_settings *s, uint32_t sample_rate, const protocol *p)
{
    if (s == nullptr || p == nullptr || s->fft_size == 0)
        return false;
    // Seconds per frame first, then frames per data slot. A hop or rate of 0
    // gives no finite count and so no room for any shift.
    const float frame_seconds = static_cast<float>(s->hop) / static_cast<float>(sample_rate);
    const float frames = protocol_symbol_duration(p) / frame_seconds;
    const uint16_t slot_frames = is_finite(frames) ? saturate_cast<uint16_t>(frames) : 0;
    const int32_t limit = slot_frames / 2;
    const uint32_t count = s->detectors == nullptr ? 0 : s->detector_count;
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t shift = s->detectors[i].time_shift;
        if ((shift < 0 ? -shift : shift) >= limit)
            return false;
    }
    return protocol_sample_rate_ok(p, sample_rate, sample_rate / s->fft_size);
}

bool decoder_settings_equals(const decoder_settings *a, const decoder_settings *b)
{
    if (a == nullptr || b == nullptr || a->name == nullptr || b->name == nullptr)
        return false;
    if (std::strcmp(a->name, b->name) != 0 || a->version != b->version || a->hop != b->hop ||
        a->detector_count != b->detector_count || a->sample_rate != b->sample_rate ||
        a->fft_size != b->fft_size)
        return false;
    if (a->detector_count > 0 && (a->detectors == nullptr || b->detectors == nullptr))
        return false;
    for (uint32_t i = 0; i < a->detector_count; ++i)
        if (!detector_settings_equals(&a->detectors[i], &b->detectors[i]))
            return false;
    return true;
}

void del_decoder_settings(decoder_settings *s)
{
    if (s == nullptr)
        return;
    if (s->detectors != nullptr) {
        for (uint32_t i = 0; i < s->detector_count; ++i)
            tracked_free(s->detectors[i].curve);
        tracked_free(s->detectors);
    }
    tracked_free(s->name);
    tracked_free(s);
}
