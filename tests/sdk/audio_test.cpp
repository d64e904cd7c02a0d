// The audio calls: float and int16 twins, the input FIFO's limit, loopback.
#include "sdk/audio.h"

#include "sdk/handle.h"
#include "sdk/sdk_harness.h"

#include <cmath>
#include <limits>

namespace {

using namespace sdk_test;

class AudioTest : public SdkTest {};

const std::vector<uint8_t> kSix{0x10, 0x20, 0x30, 0x40, 0x50, 0x60};
const std::vector<uint8_t> kTwo{0xAB, 0xCD};
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Renders the transmission of `payload` by the float or the int16 output call
// in blocks cycling through `blocks`, from a fresh pipeline; int16 samples
// come back as their integer values.
std::vector<float> render_with(sdk_handle *h, const std::string &config, bool shorts,
                               const std::vector<size_t> &blocks, size_t total)
{
    EXPECT_EQ(tovan_sdk_set_config(h, config.c_str()), TOVAN_SDK_OK);
    EXPECT_EQ(tovan_sdk_start(h), TOVAN_SDK_OK);
    EXPECT_EQ(tovan_sdk_send(h, kSix.data(), kSix.size()), TOVAN_SDK_OK);
    std::vector<float> out;
    for (size_t i = 0; out.size() < total; ++i) {
        const size_t n = blocks[i % blocks.size()];
        if (shorts) {
            std::vector<int16_t> b(n);
            EXPECT_EQ(tovan_sdk_process_shorts_output(h, b.data(), n), TOVAN_SDK_OK);
            out.insert(out.end(), b.begin(), b.end());
        } else {
            std::vector<float> b(n);
            EXPECT_EQ(tovan_sdk_process_output(h, b.data(), n), TOVAN_SDK_OK);
            out.insert(out.end(), b.begin(), b.end());
        }
    }
    out.resize(total);
    return out;
}

TEST_F(AudioTest, ShortTwinsConvertWithTheScale32768)
{
    const std::string config = standard_config();
    sdk_handle *h = new_handle(config, true);
    // Input: exact scaling by 2^-15 into the conversion buffer.
    const struct {
        int16_t in;
        float out;
    } inputs[] = {{-32768, -1.0f}, {32767, 0.999969482421875f}, {0, 0.0f}, {1, 1.0f / 32768}, {-1, -1.0f / 32768}};
    for (const auto &c : inputs) {
        SCOPED_TRACE(c.in);
        ASSERT_EQ(tovan_sdk_process_shorts_input(h, &c.in, 1), TOVAN_SDK_OK);
        EXPECT_EQ(h->shorts_input_buffer[0], c.out);
    }
    // Output: the float render, times 32768 and truncated toward zero, in any
    // blocks; a smaller block after a larger one consumes exactly its size.
    const size_t total = 100000;
    const std::vector<float> floats = render_with(h, config, false, {4096}, total);
    const std::vector<float> shorts = render_with(h, config, true, {4096, 512, 1, 1013}, total);
    size_t nonzero = 0;
    for (size_t i = 0; i < total; ++i) {
        ASSERT_EQ(shorts[i], std::trunc(floats[i] * 32768.0f)) << i;
        nonzero += shorts[i] != 0.0f;
    }
    EXPECT_GT(nonzero, total / 2);
    EXPECT_EQ(h->shorts_output_capacity, 4096u) << "grown once, never shrunk";
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

// A block the input FIFO cannot hold is refused whole; the FIFO keeps what
// it had, and the next block goes on from there.
TEST_F(AudioTest, OversizedBlockIsRefusedWhole)
{
    sdk_handle *h = new_handle(standard_config(), true);
    recorder log;
    log.attach(h);
    const std::vector<float> audio = payload_audio(h, kTwo);
    std::vector<float> huge(131073, 0.0f);
    std::vector<int16_t> huge16(131073, 0);
    std::vector<float> out(131073, kNaN);
    const size_t first = 1500; // fewer samples than a frame: kept for later
    ASSERT_EQ(tovan_sdk_process_input(h, audio.data(), first), TOVAN_SDK_OK);
    EXPECT_EQ(tovan_sdk_process_input(h, huge.data(), huge.size()), TOVAN_SDK_PROCESSING_ERROR);
    EXPECT_EQ(tovan_sdk_process_shorts_input(h, huge16.data(), huge16.size()), TOVAN_SDK_PROCESSING_ERROR);
    EXPECT_EQ(tovan_sdk_process(h, huge.data(), out.data(), huge.size()), TOVAN_SDK_PROCESSING_ERROR);
    EXPECT_TRUE(std::isnan(out[0]) && std::isnan(out.back())) << "the output is left as it was";
    EXPECT_TRUE(log.events.empty());
    std::vector<float> rest(audio.begin() + first, audio.end());
    feed(h, rest, 4096);
    ASSERT_EQ(log.count(kind::received), 1u);
    EXPECT_EQ(log.of(kind::received)[0].payload, kTwo);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

// A callback that stops the handle while the input is fed leaves silence in
// the output, never the caller's old samples.
TEST_F(AudioTest, StopWhileFeedingZeroesTheOutput)
{
    const std::string config = standard_config();
    for (bool shorts : {false, true}) {
        SCOPED_TRACE(shorts ? "int16" : "float");
        sdk_handle *h = new_handle(config, true);
        recorder log;
        log.attach(h);
        log.hook = [](recorder &r, const event &e) {
            if (e.what == kind::received) {
                EXPECT_EQ(tovan_sdk_stop(r.handle), TOVAN_SDK_OK);
            }
        };
        const std::vector<float> audio = payload_audio(h, kTwo);
        std::vector<int16_t> audio16(audio.size());
        for (size_t i = 0; i < audio.size(); ++i)
            audio16[i] = static_cast<int16_t>(audio[i] * 32768.0f);
        sdk_error code = TOVAN_SDK_OK;
        const size_t block = 4096;
        std::vector<float> out(block);
        std::vector<int16_t> out16(block);
        for (size_t at = 0; code == TOVAN_SDK_OK && at + block <= audio.size(); at += block) {
            std::fill(out.begin(), out.end(), kNaN);
            std::fill(out16.begin(), out16.end(), int16_t{-7});
            code = shorts ? tovan_sdk_process_shorts(h, audio16.data() + at, out16.data(), block)
                          : tovan_sdk_process(h, audio.data() + at, out.data(), block);
        }
        EXPECT_EQ(code, TOVAN_SDK_NOT_RUNNING);
        EXPECT_EQ(log.count(kind::received), 1u);
        if (shorts) {
            EXPECT_EQ(out16, std::vector<int16_t>(block, 0));
        } else {
            EXPECT_EQ(out, std::vector<float>(block, 0.0f));
        }
        EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
    }
}

// The playthrough renders, then feeds what it rendered: a stop from on_sent
// in between ends the call with NOT_RUNNING, and nothing is fed.
TEST_F(AudioTest, StopFromOnSentEndsThePlaythrough)
{
    sdk_handle *h = new_handle(standard_config(), true);
    ASSERT_EQ(tovan_sdk_set_listen_to_self(h, true), TOVAN_SDK_OK);
    recorder log;
    log.attach(h);
    log.hook = [](recorder &r, const event &e) {
        if (e.what == kind::sent) {
            EXPECT_EQ(tovan_sdk_stop(r.handle), TOVAN_SDK_OK);
        }
    };
    ASSERT_EQ(tovan_sdk_send(h, kTwo.data(), kTwo.size()), TOVAN_SDK_OK);
    // Over 4 s, twice the transmission, unless on_sent comes.
    sdk_error code = TOVAN_SDK_OK;
    for (int i = 0; log.of(kind::sent).empty() && i < 400; ++i)
        code = tovan_sdk_process_playthrough(h, 512);
    EXPECT_EQ(log.count(kind::sent), 1u);
    EXPECT_EQ(code, TOVAN_SDK_NOT_RUNNING) << "from the call that raised on_sent";
    EXPECT_EQ(tovan_sdk_get_state(h), TOVAN_SDK_STATE_STOPPED);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

// Once the buffers have grown, steady audio calls take no memory.
TEST_F(AudioTest, SteadyBlocksAllocateNothing)
{
    sdk_handle *h = new_handle(standard_config(), true);
    std::vector<float> in(1024, 0.0f), out(1024);
    std::vector<int16_t> in16(1024, 0), out16(1024);
    const auto round = [&] {
        EXPECT_EQ(tovan_sdk_process(h, in.data(), out.data(), 1024), TOVAN_SDK_OK);
        EXPECT_EQ(tovan_sdk_process_shorts(h, in16.data(), out16.data(), 1024), TOVAN_SDK_OK);
        EXPECT_EQ(tovan_sdk_process_playthrough(h, 1024), TOVAN_SDK_OK);
    };
    round();
    memory_manager_fail_at(0, false); // restarts the request count
    for (int i = 0; i < 50; ++i)
        round();
    EXPECT_EQ(memory_manager_requests_seen(), 0u);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

} // namespace
