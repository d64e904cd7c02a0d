#include "modem/receiver/decoder_settings.h"

#include "coding/coding_params.h"
#include "coding/modulation_params.h"
#include "support/hex_vector.h"
#include "support/memory_fixture.h"
#include "support/protocol_helpers.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kStandardBytes = 1464;

std::vector<uint8_t> write(const decoder_settings *s, uint64_t room = 4096)
{
    std::vector<uint8_t> out(room);
    uint64_t pos = 0;
    decoder_settings_to_bytes(s, out.data(), &pos);
    out.resize(pos);
    return out;
}

float f32_at(const std::vector<uint8_t> &b, uint64_t at)
{
    const uint32_t v = b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

// One detector with the given shift; no curve.
decoder_settings *single(int8_t shift, uint8_t hop = 64, uint16_t fft_size = 2048, uint8_t count = 1)
{
    const float smoothing = 0.95f, subtraction = 0.5f, threshold = 0.85f, factor = 1.0f;
    return new_decoder_settings("one", 1, hop, count, 44100, fft_size, &smoothing, &subtraction, &shift, 0,
                                nullptr, &threshold, &factor);
}

protocol *protocol_with_slot(float symbol_duration)
{
    const uint64_t frontdoor[2] = {17, 19};
    coding_params *c = new_coding_params(5, 1, 1, 6, 0, 6, 6);
    modulation_params *m = new_modulation_params(1, frontdoor, 2, nullptr, 1760.0f, 0.0f, 0.0f, 0.0872f,
                                                 symbol_duration, 0.015f, 0.015f, 0.005f, 0.0f, 0.0f);
    return new_test_protocol("slot", c, m);
}

} // namespace

class DecoderSettingsTest : public TrackedHeapTest {};

TEST_F(DecoderSettingsTest, StandardSettingsMatchTheVectorAndReadBackEqual)
{
    const std::vector<uint8_t> vec = load_hex_vector("settings/standard_settings.hex");
    ASSERT_EQ(vec.size(), kStandardBytes);
    decoder_settings *dflt = new_default_decoder_settings();
    ASSERT_NE(dflt, nullptr);
    const std::vector<uint8_t> out = write(dflt);
    ASSERT_EQ(out.size(), kStandardBytes);
    EXPECT_EQ(out, vec);

    // Offsets from the layout: n = 8, D = 5, P = 34.
    const uint64_t n = 8, d = 5, p = 34;
    EXPECT_EQ(out[0], n);
    EXPECT_EQ(out[2 + n], 64);                                                // hop
    EXPECT_EQ(out[4 + n] | out[5 + n] << 8 | out[6 + n] << 16, 44100);       // sample rate
    EXPECT_EQ(out[8 + n] | out[9 + n] << 8, 2048);                           // FFT size
    EXPECT_EQ(f32_at(out, 10 + n + 4 * d + 4), 0.1875f);                     // subtraction of detector 1
    EXPECT_EQ(static_cast<int8_t>(out[10 + n + 8 * d + 3]), -20);            // shift of detector 3
    EXPECT_EQ(out[10 + n + 9 * d], p);
    const uint64_t curves = 11 + n + 9 * d;
    EXPECT_EQ(f32_at(out, curves + 8 * p * 4 + 8 * 18 + 4), -11.397876f);    // curve 4, 1000 Hz
    EXPECT_EQ(f32_at(out, curves + 8 * p - 8), 25100.0f);                    // curve 0, last Hz
    EXPECT_EQ(f32_at(out, 11 + n + 9 * d + 8 * p * d + 4 * 2), 0.8968689f); // threshold of detector 2
    EXPECT_EQ(f32_at(out, kStandardBytes - 4), 1.0f);                        // last window factor

    // Read at a running position, as after a protocol part.
    std::vector<uint8_t> body = {0xAA, 0xBB, 0xCC};
    body.insert(body.end(), vec.begin(), vec.end());
    for (uint8_t format : {5, 6}) {
        SCOPED_TRACE(int(format));
        uint64_t pos = 3;
        decoder_settings *back = decoder_settings_from_bytes(body.data(), body.size(), &pos, format);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(pos, 3 + kStandardBytes);
        EXPECT_TRUE(decoder_settings_equals(back, dflt));
        EXPECT_TRUE(decoder_settings_equals(dflt, back));
        del_decoder_settings(back);
    }
    del_decoder_settings(dflt);
}

TEST_F(DecoderSettingsTest, RefusesOtherFormatsAndEveryTruncationWithoutAllocating)
{
    const std::vector<uint8_t> vec = load_hex_vector("settings/standard_settings.hex");
    for (uint8_t format : {0, 4, 7, 255}) {
        uint64_t pos = 0;
        memory_manager_fail_at(0, false);
        EXPECT_EQ(decoder_settings_from_bytes(vec.data(), vec.size(), &pos, format), nullptr) << int(format);
        EXPECT_EQ(pos, 0u);
        EXPECT_EQ(memory_manager_requests_seen(), 0u);
    }
    for (uint64_t length = 0; length < vec.size(); ++length) {
        uint64_t pos = 0;
        memory_manager_fail_at(0, false);
        EXPECT_EQ(decoder_settings_from_bytes(vec.data(), length, &pos, 6), nullptr) << length;
        EXPECT_EQ(pos, 0u) << length;
        EXPECT_EQ(memory_manager_requests_seen(), 0u) << length;
    }
}

TEST_F(DecoderSettingsTest, RefusesNoiseValuesTheFilterCannotTake)
{
    struct Case {
        const char *what;
        void (*change)(detector_settings *);
        bool ok;
    } const cases[] = {
        {"the standard values", [](detector_settings *) {}, true},
        {"no smoothing, full subtraction",
         [](detector_settings *d) { d->noise_smoothing = 0.0f, d->noise_subtraction = 1.0f; }, true},
        {"full smoothing", [](detector_settings *d) { d->noise_smoothing = 1.0f; }, true},
        {"NaN smoothing", [](detector_settings *d) { d->noise_smoothing = NAN; }, false},
        {"NaN smoothing without a filter",
         [](detector_settings *d) { d->noise_smoothing = NAN, d->noise_subtraction = 0.0f; }, false},
        {"smoothing above 1", [](detector_settings *d) { d->noise_smoothing = 1.0000001f; }, false},
        {"negative smoothing", [](detector_settings *d) { d->noise_smoothing = -0.5f; }, false},
        {"NaN subtraction", [](detector_settings *d) { d->noise_subtraction = NAN; }, false},
        {"subtraction above 1", [](detector_settings *d) { d->noise_subtraction = 1.5f; }, false},
        {"negative subtraction", [](detector_settings *d) { d->noise_subtraction = -0.1f; }, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        decoder_settings *s = new_default_decoder_settings();
        ASSERT_NE(s, nullptr);
        c.change(&s->detectors[3]);
        EXPECT_EQ(detector_settings_valid(&s->detectors[3]), c.ok);
        const std::vector<uint8_t> out = write(s);
        del_decoder_settings(s);
        uint64_t pos = 0;
        decoder_settings *back = decoder_settings_from_bytes(out.data(), out.size(), &pos, 6);
        EXPECT_EQ(back != nullptr, c.ok);
        EXPECT_EQ(pos, c.ok ? out.size() : 0u);
        del_decoder_settings(back);
    }
}

TEST_F(DecoderSettingsTest, AllocationFailuresLeaveNothing)
{
    const std::vector<uint8_t> vec = load_hex_vector("settings/standard_settings.hex");
    sweep_allocation_failures([&] {
        uint64_t pos = 0;
        decoder_settings *s = decoder_settings_from_bytes(vec.data(), vec.size(), &pos, 6);
        if (s == nullptr) {
            EXPECT_EQ(pos, 0u);
        }
        del_decoder_settings(s);
        return s != nullptr;
    });
    sweep_allocation_failures([] {
        decoder_settings *s = new_default_decoder_settings();
        del_decoder_settings(s);
        return s != nullptr;
    });
}

// Settings without detectors take eleven bytes and the name, whose length
// byte cuts a longer one to 255 characters.
TEST_F(DecoderSettingsTest, SettingsWithoutDetectorsTakeElevenBytesAndTheName)
{
    const std::string long_name(300, 'n');
    const struct {
        std::string name;
        uint8_t format;
        uint64_t bytes;
    } cases[] = {{"one", 5, 11 + 3}, {long_name, 6, 11 + 255}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bytes);
        decoder_settings *s = new_decoder_settings(c.name.c_str(), 1, 64, 0, 44100, 2048, nullptr, nullptr, nullptr,
                                                   0, nullptr, nullptr, nullptr);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->detectors, nullptr);
        const std::vector<uint8_t> out = write(s);
        EXPECT_EQ(out.size(), c.bytes);
        uint64_t pos = 0;
        decoder_settings *back = decoder_settings_from_bytes(out.data(), out.size(), &pos, c.format);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->detector_count, 0);
        EXPECT_EQ(std::string(back->name), c.name.substr(0, 255));
        EXPECT_EQ(decoder_settings_equals(back, s), c.name.size() <= 255);
        del_decoder_settings(back);
        del_decoder_settings(s);
    }
}

TEST_F(DecoderSettingsTest, ConstructionCopiesAndRefusesMissingArrays)
{
    char name[] = "mine";
    float curve[4] = {0.0f, -3.0f, 100.0f, 3.0f};
    const float *curves[1] = {curve};
    const float a = 0.9f, b = 0.25f, t = 0.8f, w = 1.5f;
    const int8_t shift = -4;
    decoder_settings *s = new_decoder_settings(name, 2, 32, 1, 48000, 1024, &a, &b, &shift, 2, curves, &t, &w);
    ASSERT_NE(s, nullptr);
    name[0] = 'X';
    curve[1] = 99.0f;
    EXPECT_STREQ(s->name, "mine");
    EXPECT_EQ(s->detectors[0].curve[1], -3.0f);
    EXPECT_EQ(s->detectors[0].time_shift, -4);
    EXPECT_EQ(s->detectors[0].window_factor, 1.5f);
    del_decoder_settings(s);

    EXPECT_EQ(new_decoder_settings(nullptr, 0, 64, 0, 44100, 2048, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                   nullptr),
              nullptr);
    EXPECT_EQ(new_decoder_settings("x", 0, 64, 1, 44100, 2048, &a, &b, &shift, 2, nullptr, &t, &w), nullptr);
    del_decoder_settings(nullptr);
}

TEST_F(DecoderSettingsTest, FitAllowsShiftsBelowHalfADataSlot)
{
    // Standard protocol at 44100 Hz, hop 64: F = trunc(0.0872 / (64 / 44100)) = 60, limit 30.
    protocol *p = new_default_protocol();
    ASSERT_NE(p, nullptr);
    struct Case {
        int8_t shift;
        bool fits;
    } cases[] = {{0, true},    {10, true},   {-10, true},   {20, true},   {-20, true}, {29, true},
                 {-29, true},  {30, false},  {-30, false},  {127, false}, {-128, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.shift));
        decoder_settings *s = single(c.shift);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(decoder_settings_fit_protocol(s, 44100, p), c.fits);
        del_decoder_settings(s);
    }
    decoder_settings *dflt = new_default_decoder_settings();
    ASSERT_NE(dflt, nullptr);
    EXPECT_TRUE(decoder_settings_fit_protocol(dflt, 44100, p));
    EXPECT_TRUE(decoder_settings_fit_protocol(dflt, 48000, p));
    EXPECT_FALSE(decoder_settings_fit_protocol(dflt, 0, p));
    del_decoder_settings(dflt);
    del_protocol(p);
}

TEST_F(DecoderSettingsTest, FitHandlesDegenerateSizesAndRates)
{
    protocol *p = new_default_protocol();
    ASSERT_NE(p, nullptr);
    struct Case {
        const char *what;
        uint8_t hop;
        uint16_t fft_size;
        uint8_t detectors;
        uint32_t rate;
        bool fits;
    } cases[] = {
        {"hop 0: no room for any shift", 0, 2048, 1, 44100, false},
        {"hop 0 without detectors: only the rate counts", 0, 2048, 0, 44100, true},
        {"FFT size 0", 64, 0, 1, 44100, false},
        {"FFT size 0 without detectors", 64, 0, 0, 44100, false},
        {"rate below twice the top tone", 64, 2048, 0, 21000, false},
        {"rate with room for the top tone", 64, 2048, 0, 21200, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        decoder_settings *s = single(0, c.hop, c.fft_size, c.detectors);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(decoder_settings_fit_protocol(s, c.rate, p), c.fits);
        del_decoder_settings(s);
    }
    del_protocol(p);

    // 1.4884 s slots at hop 1 make F = 65638: saturated at 65535, not wrapped
    // to 102, so a shift of 100 fits.
    protocol *slow = protocol_with_slot(1.4884f);
    ASSERT_NE(slow, nullptr);
    decoder_settings *s = single(100, 1);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(decoder_settings_fit_protocol(s, 44100, slow));
    del_decoder_settings(s);
    del_protocol(slow);
}

TEST_F(DecoderSettingsTest, EqualityComparesEveryDetector)
{
    struct Case {
        const char *what;
        void (*change)(decoder_settings *);
    } cases[] = {
        {"second detector's threshold", [](decoder_settings *s) { s->detectors[1].frontdoor_threshold = 0.5f; }},
        {"last detector's shift", [](decoder_settings *s) { s->detectors[4].time_shift = 3; }},
        {"first detector's smoothing", [](decoder_settings *s) { s->detectors[0].noise_smoothing = 0.9f; }},
        {"one curve value of detector 3", [](decoder_settings *s) { s->detectors[3].curve[40] += 1.0f; }},
        {"a NaN window factor", [](decoder_settings *s) { s->detectors[2].window_factor = NAN; }},
        {"the version", [](decoder_settings *s) { s->version = 1; }},
        {"the name", [](decoder_settings *s) { s->name[0] = 'S'; }},
    };
    decoder_settings *reference = new_default_decoder_settings();
    ASSERT_NE(reference, nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        decoder_settings *s = new_default_decoder_settings();
        ASSERT_NE(s, nullptr);
        EXPECT_TRUE(decoder_settings_equals(s, reference));
        c.change(s);
        EXPECT_FALSE(decoder_settings_equals(s, reference));
        EXPECT_FALSE(decoder_settings_equals(reference, s));
        del_decoder_settings(s);
    }
    EXPECT_FALSE(decoder_settings_equals(reference, nullptr));
    EXPECT_FALSE(detector_settings_equals(&reference->detectors[1], &reference->detectors[2]));
    del_decoder_settings(reference);
}
