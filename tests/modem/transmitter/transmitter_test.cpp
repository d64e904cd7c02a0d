#include "modem/transmitter/transmitter.h"

#include "coding/core_info.h"
#include "coding/protocol_frame.h"
#include "coding/protocol_tones.h"
#include "runtime/random.h"
#include "support/memory_fixture.h"
#include "support/protocol_helpers.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

namespace {

using bytes = std::vector<uint8_t>;

struct shape {
    uint8_t coding[7]; // tone_bits, tones per symbol, min, max, crc, min and max parity
    const char *pattern;
    uint8_t channels = 1;
    float spacing = 0.0f, channel_gap = 0.0f;
    float attack = 0.015f, release = 0.015f, glide = 0.005f;
    float frontdoor_gap = 0.0f, symbol_gap = 0.0f;
    const char *name = "p";
    float base = 1000.0f;
};

protocol *make_protocol(const shape &s)
{
    const uint64_t fd[2] = {17, 19};
    const uint8_t *c = s.coding;
    coding_params *coding = new_coding_params(c[0], c[1], c[2], c[3], c[4], c[5], c[6]);
    modulation_params *modulation =
        new_modulation_params(s.channels, fd, 2, s.pattern, s.base, s.spacing, s.channel_gap, 0.0872f, 0.0872f,
                              s.attack, s.release, s.glide, s.frontdoor_gap, s.symbol_gap);
    return new_test_protocol(s.name, coding, modulation);
}

tovan *message(const protocol *p, const bytes &payload)
{
    tovan *m = new_tovan(p);
    symbol_buffer *b = new_symbol_buffer(protocol_bits_per_symbol(p), static_cast<uint8_t>(payload.size()));
    symbol_buffer_set_bytes(b, payload.data());
    EXPECT_EQ(tovan_encode(m, b), TOVAN_CORE_OK);
    del_symbol_buffer(b);
    return m;
}

// Counts callbacks and remembers the hex text of each finished message; sends
// the queued messages one by one from the finished callback.
struct recorder {
    int started = 0;
    std::vector<std::string> finished;
    std::vector<const tovan *> queue;
};

void on_started(transmitter *, const tovan *, void *user)
{
    static_cast<recorder *>(user)->started += 1;
}

void on_finished(transmitter *t, const tovan *m, void *user)
{
    auto *r = static_cast<recorder *>(user);
    EXPECT_EQ(transmitter_state(t), TRANSMITTER_STATE_IDLE);
    r->finished.push_back(m != nullptr ? tovan_get_hex(m) : "");
    if (!r->queue.empty()) {
        EXPECT_EQ(transmitter_send(t, r->queue.front()), TOVAN_CORE_OK);
        r->queue.erase(r->queue.begin());
    }
}

void listen(transmitter *t, recorder *r)
{
    transmitter_set_started_callback(t, on_started, r);
    transmitter_set_finished_callback(t, on_finished, r);
}

std::vector<float> render(transmitter *t, size_t count)
{
    std::vector<float> out(count, 0.5f);
    transmitter_render(t, out.data(), count);
    return out;
}

// Power of x[from, to) at f Hz (Goertzel).
double power_at(const std::vector<float> &x, size_t from, size_t to, double f, double rate)
{
    const double w = 2.0 * 3.14159265358979323846 * f / rate;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (size_t i = from; i < to; ++i) {
        const double s = x[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return s1 * s1 + s2 * s2 - coeff * s1 * s2;
}

const bytes kSix = {1, 2, 3, 4, 5, 6};

class TransmitterTest : public TrackedHeapTest {
protected:
    void SetUp() override
    {
        TrackedHeapTest::SetUp();
        standard_ = new_default_protocol();
        ASSERT_NE(standard_, nullptr);
    }
    void TearDown() override
    {
        del_protocol(standard_);
        TrackedHeapTest::TearDown();
    }
    protocol *standard_ = nullptr;
};

} // namespace

// Slot 0 of D = 3845 samples: a linear fade-in over positions 0 to A - 1,
// the volume, then a linear fade-out over the R samples that end where the
// gap of G samples starts. The default protocol has A = R = 661 and no gap;
// the uneven one tells the attack from the release and has a gap.
TEST_F(TransmitterTest, SlotEnvelope)
{
    struct Case {
        const char *name;
        shape s; // an empty pattern selects the default protocol
        float volume;
        int attack, release, gap; // samples
    };
    shape uneven{{5, 1, 1, 6, 0, 6, 6}, "1"};
    uneven.base = 1760.0f;
    uneven.attack = 0.01f;
    uneven.release = 0.02f;
    uneven.frontdoor_gap = 0.005f;
    const Case cases[] = {
        {"default", {{}, ""}, 1.0f, 661, 661, 0},
        {"default at half volume", {{}, ""}, 0.5f, 661, 661, 0},
        {"attack, release and gap apart", uneven, 1.0f, 441, 882, 220},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        protocol *p = c.s.pattern[0] == '\0' ? nullptr : make_protocol(c.s);
        const protocol *proto = p != nullptr ? p : standard_;
        transmitter *t = new_transmitter(proto);
        ASSERT_NE(t, nullptr);
        transmitter_set_volume(t, c.volume);
        EXPECT_EQ(t->attack_samples, static_cast<uint32_t>(c.attack));
        EXPECT_EQ(t->release_samples, static_cast<uint32_t>(c.release));
        tovan *m = message(proto, kSix);
        ASSERT_EQ(transmitter_send(t, m), TOVAN_CORE_OK);
        // A fresh oscillator on the first front-door tone repeats slot 0's sound.
        oscillator *ref = new_oscillator(44100);
        oscillator_set_frequency(ref, protocol_tone_frequency(proto, 17.0f, 0));
        const std::vector<float> out = render(t, 3846);
        const int sound_end = 3845 - c.gap;
        const int release_start = sound_end - c.release;
        for (int s = 0; s < 3845; ++s) {
            double gain = 1.0;
            if (s < c.attack)
                gain = s / static_cast<double>(c.attack);
            else if (s >= sound_end)
                gain = 0.0;
            else if (s >= release_start)
                gain = 1.0 - (s - release_start) / static_cast<double>(c.release);
            const float r = oscillator_next_sample(ref);
            ASSERT_NEAR(out[s], r * gain * c.volume, 2e-6) << "position " << s;
            if (s >= c.attack && s < release_start) {
                ASSERT_EQ(out[s], r * c.volume) << "position " << s;
            }
        }
        EXPECT_EQ(out[3845], 0.0f); // slot 1's position 0: the old tone at gain 0
        del_oscillator(ref);
        del_tovan(m);
        del_transmitter(t);
        del_protocol(p);
    }
}

// Whole transmissions last the sum of their slots; the sample after the last
// one ends it inside the call that renders it, which writes 0 from there on.
TEST_F(TransmitterTest, TransmissionLengthsAndTheFinishedCallback)
{
    struct Case {
        const char *name;
        shape s; // an empty pattern selects the default protocol
        uint32_t rate;
        float volume;
        bytes payload;
        size_t samples;
        int draws; // '*' slots: one number of the shared generator each
    };
    const Case cases[] = {
        {"default, 1 byte", {{}, ""}, 44100, 1.0f, {9}, 57675, 0},
        {"default, 6 bytes", {{}, ""}, 44100, 1.0f, kSix, 88435, 0},
        {"default at 48 kHz", {{}, ""}, 48000, 1.0f, kSix, 23 * 4185, 0},
        {"volume 0", {{}, ""}, 44100, 0.0f, kSix, 88435, 0},
        // 3 header slots, then 12 data slots each after a silent one.
        {"silent slots", {{5, 1, 1, 6, 0, 6, 6}, " 1"}, 44100, 1.0f, {9}, 28 * 3845, 0},
        // 3 header slots, then 12 double data slots each followed by an
        // effect slot of the same 7691 samples, whatever it draws.
        {"effect slots", {{5, 1, 1, 6, 0, 6, 6}, "2*"}, 44100, 1.0f, {9}, 3 * 3845 + 24 * 7691, 12},
        {"single effect slots", {{5, 1, 1, 6, 0, 6, 6}, "1*"}, 44100, 1.0f, {9}, 15 * 3845 + 12 * 7691, 12},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        protocol *p = c.s.pattern[0] == '\0' ? nullptr : make_protocol(c.s);
        const protocol *proto = p != nullptr ? p : standard_;
        transmitter *t = new_transmitter(proto);
        ASSERT_TRUE(transmitter_set_sample_rate(t, c.rate));
        transmitter_set_volume(t, c.volume);
        recorder r;
        listen(t, &r);
        tovan *m = message(proto, c.payload);
        random_set_seed(3);
        ASSERT_EQ(transmitter_send(t, m), TOVAN_CORE_OK);
        del_tovan(m); // the transmitter sends its own copy
        EXPECT_EQ(r.started, 1);
        std::vector<float> out(c.samples);
        size_t done = 0;
        while (done < c.samples) {
            const size_t n = std::min<size_t>(1000, c.samples - done);
            ASSERT_EQ(transmitter_render(t, out.data() + done, n), TRANSMITTER_STATE_SENDING);
            done += n;
        }
        EXPECT_TRUE(r.finished.empty());
        const std::vector<float> tail = render(t, 10);
        EXPECT_EQ(transmitter_state(t), TRANSMITTER_STATE_IDLE);
        ASSERT_EQ(r.finished.size(), 1u);
        EXPECT_EQ(transmitter_current(t), nullptr);
        EXPECT_EQ(tail, std::vector<float>(10, 0.0f));
        const uint32_t next = random_next_u32();
        random_set_seed(3);
        for (int i = 0; i < c.draws; ++i)
            random_range(0, 4);
        EXPECT_EQ(random_next_u32(), next);
        const float peak = std::fabs(*std::max_element(out.begin(), out.end(), [](float a, float b) {
            return std::fabs(a) < std::fabs(b);
        }));
        EXPECT_EQ(peak > 0.9f, c.volume > 0.0f);
        del_transmitter(t);
        del_protocol(p);
    }
}

// The samples depend on nothing but the transmission: blocks of any size give
// the same ones, they stay within [-1, 1] at volume 1, and rendering takes no
// memory.
TEST_F(TransmitterTest, BlockSizesChangeNothingAndRenderingDoesNotAllocate)
{
    const shape shapes[] = {
        {{5, 1, 1, 6, 0, 6, 6}, "1*2 c"},
        {{5, 2, 1, 6, 2, 4, 8}, "1ab", 1, 0.0f, 0.0f, 0.0f, 0.0f},                  // k = 2, no envelope
        {{4, 3, 1, 6, 0, 6, 6}, "31", 1, 100.0f, 0.0f, 0.01f, 0.03f, 0.02f, 0.06f, 0.01f}, // k = 3, gaps
        // A release and a gap longer than a header slot.
        {{5, 1, 1, 6, 0, 6, 6}, "1", 1, 0.0f, 0.0f, 0.0f, 0.06f, 0.005f, 0.05f, 0.0f},
    };
    const size_t blocks[] = {0, 1, 7, 4096, 333, 1, 0, 65536, 12345};
    for (const shape &s : shapes) {
        SCOPED_TRACE(s.pattern);
        protocol *p = make_protocol(s);
        ASSERT_NE(p, nullptr);
        tovan *m = message(p, kSix);
        transmitter *whole = new_transmitter(p);
        transmitter *pieces = new_transmitter(p);
        random_set_seed(11);
        ASSERT_EQ(transmitter_send(whole, m), TOVAN_CORE_OK);
        std::vector<float> expected(1 << 20);
        ASSERT_EQ(transmitter_render(whole, expected.data(), expected.size()), TRANSMITTER_STATE_IDLE);

        random_set_seed(11);
        ASSERT_EQ(transmitter_send(pieces, m), TOVAN_CORE_OK);
        std::vector<float> got(expected.size());
        size_t done = 0;
        memory_manager_fail_at(0, false); // restarts the request count
        for (size_t i = 0; transmitter_state(pieces) == TRANSMITTER_STATE_SENDING && done < got.size(); ++i) {
            const size_t n = std::min(blocks[i % std::size(blocks)], got.size() - done);
            transmitter_render(pieces, got.data() + done, n);
            done += n;
        }
        EXPECT_EQ(transmitter_state(pieces), TRANSMITTER_STATE_IDLE);
        EXPECT_EQ(memory_manager_requests_seen(), 0u);
        got.resize(done);
        expected.resize(done);
        EXPECT_EQ(got, expected);
        for (float x : expected)
            ASSERT_LE(std::fabs(x), 1.0f);
        del_transmitter(pieces);
        del_transmitter(whole);
        del_tovan(m);
        del_protocol(p);
    }
}

// Between its fade-in (which also covers the glide) and its fade-out, each
// data slot sounds exactly its symbol's k tones at the protocol's frequencies
// on the transmission channel.
TEST_F(TransmitterTest, DataSlotsSoundTheirSymbolsTones)
{
    protocol *linear = make_protocol({{4, 2, 1, 6, 0, 6, 6}, "1", 2, 100.0f, 200.0f});
    ASSERT_NE(linear, nullptr);
    struct Case {
        const protocol *p;
        uint8_t channel;
    };
    const Case cases[] = {{standard_, 0}, {linear, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.channel));
        transmitter *t = new_transmitter(c.p);
        ASSERT_TRUE(transmitter_set_channel(t, c.channel));
        tovan *m = message(c.p, kSix);
        ASSERT_EQ(transmitter_send(t, m), TOVAN_CORE_OK);
        std::vector<float> out(1 << 17);
        transmitter_render(t, out.data(), out.size());
        uint64_t *symbols = tovan_symbols(m);
        const uint8_t k = protocol_tones_per_symbol(c.p);
        const uint16_t tones = protocol_tone_count(c.p);
        for (uint8_t i = 0; i < tovan_symbol_count(m); ++i) {
            const size_t from = i * 3845u + 661u, to = (i + 1) * 3845u - 661u;
            std::vector<std::pair<double, int>> powers;
            for (int x = 0; x < tones; ++x)
                powers.push_back({power_at(out, from, to, protocol_tone_frequency(c.p, float(x), c.channel), 44100.0),
                                  x});
            std::sort(powers.rbegin(), powers.rend());
            std::vector<int> loudest;
            for (uint8_t j = 0; j < k; ++j)
                loudest.push_back(powers[j].second);
            std::sort(loudest.begin(), loudest.end());
            uint8_t expected[8];
            ASSERT_EQ(protocol_tones_from_symbol(c.p, symbols[i], expected), 0);
            EXPECT_EQ(loudest, std::vector<int>(expected, expected + k)) << "slot " << int(i);
            EXPECT_GT(powers[k - 1].first, 20.0 * powers[k].first) << "slot " << int(i);
        }
        tracked_free(symbols);
        del_tovan(m);
        del_transmitter(t);
    }
    del_protocol(linear);
}

TEST_F(TransmitterTest, SendingFromTheFinishedCallback)
{
    transmitter *t = new_transmitter(standard_);
    recorder r;
    listen(t, &r);
    tovan *first = message(standard_, {0xAB});
    tovan *second = message(standard_, kSix);
    r.queue = {second};
    ASSERT_EQ(transmitter_send(t, first), TOVAN_CORE_OK);
    del_tovan(first);
    render(t, 57675);
    // The call that ends the first transmission starts the second, which
    // sounds from the next call on.
    EXPECT_EQ(render(t, 3), std::vector<float>(3, 0.0f));
    EXPECT_EQ(transmitter_state(t), TRANSMITTER_STATE_SENDING);
    EXPECT_EQ(r.started, 2);
    ASSERT_EQ(r.finished, std::vector<std::string>{"ab"});
    EXPECT_STREQ(tovan_get_hex(transmitter_current(t)), "010203040506");
    render(t, 88435);
    EXPECT_EQ(transmitter_state(t), TRANSMITTER_STATE_SENDING);
    render(t, 1);
    EXPECT_EQ(r.finished, (std::vector<std::string>{"ab", "010203040506"}));
    EXPECT_EQ(transmitter_state(t), TRANSMITTER_STATE_IDLE);
    del_tovan(second);
    del_transmitter(t);
}

// A send that runs out of memory leaves the running transmission exactly as
// it was: same copy, same position, same samples to come.
TEST_F(TransmitterTest, FailedSendKeepsTheTransmission)
{
    transmitter *t = new_transmitter(standard_);
    transmitter *reference = new_transmitter(standard_);
    tovan *a = message(standard_, kSix);
    tovan *b = message(standard_, {0xCD});
    ASSERT_EQ(transmitter_send(t, a), TOVAN_CORE_OK);
    ASSERT_EQ(transmitter_send(reference, a), TOVAN_CORE_OK);
    render(t, 5000);
    render(reference, 5000);
    uint32_t rc = TOVAN_CORE_UNKNOWN_ERROR;
    for (uint64_t n = 1; rc != TOVAN_CORE_OK; ++n) {
        memory_manager_fail_at(n, true);
        rc = transmitter_send(t, b);
        memory_manager_fail_at(0, false);
        if (rc == TOVAN_CORE_OK)
            break;
        ASSERT_EQ(rc, TOVAN_CORE_UNKNOWN_ERROR);
        EXPECT_STREQ(tovan_get_hex(transmitter_current(t)), "010203040506");
        ASSERT_EQ(render(t, 700), render(reference, 700)) << "after failing allocation " << n;
    }
    EXPECT_STREQ(tovan_get_hex(transmitter_current(t)), "cd");
    del_tovan(b);
    del_tovan(a);
    del_transmitter(reference);
    del_transmitter(t);
}

// Refused sends and loads change nothing, whether idle or sending.
TEST_F(TransmitterTest, RefusalsChangeNothing)
{
    shape bigger_parity{{5, 1, 1, 6, 0, 6, 12}, "1"};
    bigger_parity.name = "standard"; // equal to the default by protocol_equals
    bigger_parity.base = 1760.0f;
    protocol *other = make_protocol(bigger_parity);
    shape renamed = bigger_parity;
    renamed.name = "other";
    protocol *foreign = make_protocol(renamed);
    ASSERT_TRUE(other && foreign);
    transmitter *t = new_transmitter(standard_);
    recorder r;
    listen(t, &r);
    tovan *empty = new_tovan(standard_);
    tovan *longer = message(other, kSix);    // 32 symbols for a table of 23 rows
    tovan *alien = message(foreign, {1});
    tovan *good = message(standard_, {1});
    uint64_t *symbols = tovan_symbols(good);
    uint64_t bad_symbols[3] = {17, 19, 32}; // 32 has no tone set of 32 tones
    float sentinel[4] = {2.0f, 2.0f, 2.0f, 2.0f};
    EXPECT_EQ(transmitter_render(t, sentinel, 4), TRANSMITTER_STATE_IDLE);
    EXPECT_EQ(sentinel[3], 2.0f);

    for (int sending = 0; sending < 2; ++sending) {
        SCOPED_TRACE(sending);
        EXPECT_EQ(transmitter_send(t, nullptr), TOVAN_CORE_EMPTY_MESSAGE);
        EXPECT_EQ(transmitter_send(t, empty), TOVAN_CORE_EMPTY_MESSAGE);
        EXPECT_EQ(transmitter_send(t, alien), TOVAN_CORE_INVALID_PROTOCOL);
        EXPECT_EQ(transmitter_send(t, longer), TOVAN_CORE_INVALID_SYMBOL_COUNT);
        EXPECT_EQ(transmitter_load_symbols(t, nullptr, 3), TOVAN_CORE_EMPTY_MESSAGE);
        EXPECT_EQ(transmitter_load_symbols(t, symbols, 0), TOVAN_CORE_EMPTY_MESSAGE);
        EXPECT_EQ(transmitter_load_symbols(t, bad_symbols, 3), TOVAN_CORE_UNKNOWN_SYMBOLS);
        EXPECT_EQ(r.started, sending);
        EXPECT_EQ(transmitter_state(t), static_cast<uint32_t>(sending));
        if (sending == 0) {
            EXPECT_EQ(transmitter_current(t), nullptr);
            ASSERT_EQ(transmitter_send(t, good), TOVAN_CORE_OK);
            EXPECT_EQ(transmitter_render(t, sentinel, 0), TRANSMITTER_STATE_SENDING);
            render(t, 100);
        } else {
            EXPECT_TRUE(tovan_equal(transmitter_current(t), good));
            EXPECT_EQ(t->slot_index, 0u);
            EXPECT_EQ(t->sample_in_slot, 100u);
        }
    }
    // Sending while sending restarts at slot 0 without callbacks; stopping
    // ends without one.
    render(t, 5000);
    ASSERT_EQ(transmitter_send(t, good), TOVAN_CORE_OK);
    EXPECT_EQ(t->slot_index, 0u);
    EXPECT_EQ(t->sample_in_slot, 0u);
    transmitter_stop(t);
    EXPECT_EQ(transmitter_current(t), nullptr);
    EXPECT_EQ(r.started, 1);
    EXPECT_TRUE(r.finished.empty());
    tracked_free(symbols);
    del_tovan(good);
    del_tovan(alien);
    del_tovan(longer);
    del_tovan(empty);
    del_transmitter(t);
    del_protocol(foreign);
    del_protocol(other);
}

TEST_F(TransmitterTest, Settings)
{
    transmitter *t = new_transmitter(standard_);
    struct Volume {
        float in, stored;
    };
    const Volume volumes[] = {{NAN, 1.0f}, {-0.5f, 0.0f}, {2.0f, 1.0f}, {0.25f, 0.25f}};
    for (const Volume &v : volumes) {
        transmitter_set_volume(t, v.in);
        EXPECT_EQ(transmitter_volume(t), v.stored) << v.in;
    }
    // The top tone is 10548 Hz and the margin one step above it, 627 Hz.
    struct Rate {
        uint32_t rate;
        bool ok;
        uint32_t attack;
    };
    const Rate rates[] = {{21723, false, 661}, {0, false, 661}, {21724, true, 325}, {48000, true, 720}};
    for (const Rate &r : rates) {
        SCOPED_TRACE(r.rate);
        EXPECT_EQ(transmitter_set_sample_rate(t, r.rate), r.ok);
        EXPECT_EQ(transmitter_sample_rate(t), r.ok ? r.rate : 44100u);
        EXPECT_EQ(t->attack_samples, r.attack);
        transmitter_set_sample_rate(t, 44100);
    }
    EXPECT_FALSE(transmitter_set_channel(t, 1));
    EXPECT_TRUE(transmitter_set_channel(t, 0));
    EXPECT_EQ(transmitter_channel(t), 0);
    EXPECT_EQ(transmitter_protocol(t), standard_);
    del_transmitter(t);
}

TEST(TransmitterAllocationTest, FailuresAreCleanAndNothingLeaks)
{
    memory_manager_init(TOVAN_MEMORY_MANAGER_LEVEL_LOW);
    protocol *p = new_default_protocol();
    tovan *m = message(p, kSix);
    const uint64_t runs = sweep_allocation_failures([p, m] {
        transmitter *t = new_transmitter(p);
        if (t == nullptr)
            return false;
        const uint32_t rc = transmitter_send(t, m);
        EXPECT_TRUE(rc == TOVAN_CORE_OK || rc == TOVAN_CORE_UNKNOWN_ERROR);
        EXPECT_EQ(transmitter_state(t), rc == TOVAN_CORE_OK ? 1u : 0u);
        std::vector<float> out(100000);
        transmitter_render(t, out.data(), out.size());
        del_transmitter(t);
        return rc == TOVAN_CORE_OK;
    });
    EXPECT_GT(runs, 10u);
    del_tovan(m);
    del_protocol(p);
    memory_manager_release();
}
