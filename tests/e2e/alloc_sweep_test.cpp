// Allocation failures through a whole application scenario: create,
// configure, start, send, render, receive, stop, reconfigure in the middle of
// a transmission, send again through the int16 and float paths, hand out
// blocks, delete. For every N the N-th tracked allocation fails, once
// (transient) or from then on (persistent). Every call must then answer with
// a code its contract names for exhausted memory, leave the handle as the
// contract says (unconfigured after a failed config, nothing loaded after a
// failed send), work again once a transient fault has passed, never hand a
// wrong payload to a callback, and del_tovan_sdk must find nothing in use.
#include "sdk/sdk_harness.h"

#include <functional>
#include <initializer_list>
#include <sstream>

namespace {

using namespace sdk_test;

struct sweep_run {
    uint64_t n = 0; // the allocation that fails; 0: none
    bool persistent = false;

    bool fired() const { return n != 0 && memory_manager_requests_seen() >= n; }
};

bool contains(std::initializer_list<sdk_error> codes, sdk_error e)
{
    return std::find(codes.begin(), codes.end(), e) != codes.end();
}

// An acting call that may meet the fault. A refusal must be one of
// `failures`, must come from the fault, and must leave the handle as
// `after_failure` checks; after a transient fault the same call must work.
// True when the call (or its retry) succeeded.
bool step(const sweep_run &run, const char *what, const std::function<sdk_error()> &call,
          std::initializer_list<sdk_error> failures, const std::function<void()> &after_failure)
{
    sdk_error e = call();
    if (e == TOVAN_SDK_OK)
        return true;
    EXPECT_TRUE(contains(failures, e)) << what << " answered " << e;
    EXPECT_TRUE(run.fired()) << what << " failed (" << e << ") before any fault";
    after_failure();
    if (run.persistent)
        return false;
    e = call();
    EXPECT_EQ(e, TOVAN_SDK_OK) << what << " still refused once the transient fault had passed";
    return e == TOVAN_SDK_OK;
}

// A refused config leaves the handle unconfigured, reporting its old state.
std::function<void()> unconfigured(sdk_handle *h, sdk_state old_state)
{
    return [h, old_state] {
        EXPECT_EQ(tovan_sdk_get_channel_count(h), 0);
        EXPECT_EQ(tovan_sdk_start(h), TOVAN_SDK_NOT_INITIALISED);
        EXPECT_EQ(tovan_sdk_get_state(h), old_state);
    };
}

// A refused send loaded nothing: no on_sending, the state as it was.
std::function<void()> nothing_loaded(sdk_handle *h, const recorder &rec, size_t events_before)
{
    return [h, &rec, events_before] {
        EXPECT_EQ(tovan_sdk_get_state(h), TOVAN_SDK_STATE_RUNNING);
        EXPECT_EQ(rec.events.size(), events_before);
    };
}

std::function<void()> no_check()
{
    return [] {};
}

// Every payload a callback saw is the one sent, or none where the contract
// allows none (a reception that could not be decoded).
void check_payloads(const recorder &rec, const std::vector<std::vector<uint8_t>> &sent)
{
    for (const event &e : rec.events) {
        if (e.what == kind::state || e.what == kind::receiving)
            continue;
        if (e.what == kind::received && !e.has_payload)
            continue;
        EXPECT_TRUE(e.has_payload) << "a sending or sent callback without its payload";
        EXPECT_NE(std::find(sent.begin(), sent.end(), e.payload), sent.end())
            << "a callback saw a payload that was never sent";
    }
}

// Renders and hears the handle's own output in blocks until on_received, or
// `limit` samples. False when an audio call was refused for good.
bool loop_back(const sweep_run &run, sdk_handle *h, const recorder &rec, size_t limit)
{
    const size_t block = 1024;
    for (size_t done = 0; done < limit && rec.of(kind::received).empty(); done += block)
        if (!step(run, "playthrough", [&] { return tovan_sdk_process_playthrough(h, block); },
                  {TOVAN_SDK_OUT_OF_MEMORY}, no_check()))
            return false;
    return true;
}

// The scenario; returns true when it ran to its end. del_tovan_sdk runs in
// every case and must find nothing in use.
bool scenario(const sweep_run &run, const std::string &first, const std::string &second, bool *received)
{
    *received = false;
    sdk_handle *h = new_tovan_sdk();
    if (h == nullptr) {
        EXPECT_TRUE(run.fired()) << "new_tovan_sdk failed before any fault";
        if (run.persistent)
            return false;
        h = new_tovan_sdk();
        EXPECT_NE(h, nullptr) << "new_tovan_sdk failed once the transient fault had passed";
        if (h == nullptr)
            return false;
    }
    recorder rec;
    std::vector<std::vector<uint8_t>> sent;
    const auto finish = [&](bool completed) {
        check_payloads(rec, sent);
        EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK) << "tracked bytes left in use";
        return completed;
    };
    EXPECT_EQ(tovan_sdk_set_random_seed(h, 1234), TOVAN_SDK_OK);
    EXPECT_EQ(tovan_sdk_set_listen_to_self(h, true), TOVAN_SDK_OK);

    // Configure, start, send, hear it back, stop.
    if (!step(run, "set_config", [&] { return tovan_sdk_set_config(h, first.c_str()); },
              {TOVAN_SDK_OUT_OF_MEMORY, TOVAN_SDK_INTERNAL_ERROR}, unconfigured(h, TOVAN_SDK_STATE_NOT_CONFIGURED)))
        return finish(false);
    rec.attach(h);
    EXPECT_EQ(tovan_sdk_start(h), TOVAN_SDK_OK);
    const std::vector<uint8_t> one{0x42, 0x17};
    const size_t before = rec.events.size();
    if (!step(run, "send", [&] { return tovan_sdk_send(h, one.data(), one.size()); },
              {TOVAN_SDK_OUT_OF_MEMORY, TOVAN_SDK_UNKNOWN_ERROR}, nothing_loaded(h, rec, before)))
        return finish(false);
    sent.push_back(one);
    if (!loop_back(run, h, rec, 44100 * 3))
        return finish(false);
    *received = !rec.of(kind::received).empty() && rec.of(kind::received)[0].payload == one;
    EXPECT_EQ(tovan_sdk_stop(h), TOVAN_SDK_OK);

    // Reconfigure halfway through a transmission rendered as int16.
    EXPECT_EQ(tovan_sdk_start(h), TOVAN_SDK_OK);
    const std::vector<uint8_t> two{1, 2, 3, 4, 5, 6};
    if (!step(run, "send", [&] { return tovan_sdk_send(h, two.data(), two.size()); },
              {TOVAN_SDK_OUT_OF_MEMORY, TOVAN_SDK_UNKNOWN_ERROR}, nothing_loaded(h, rec, rec.events.size())))
        return finish(false);
    sent.push_back(two);
    std::vector<int16_t> in16(2048), out16(2048);
    for (int i = 0; i < 4; ++i)
        if (!step(run, "process_shorts", [&] { return tovan_sdk_process_shorts(h, in16.data(), out16.data(), 2048); },
                  {TOVAN_SDK_OUT_OF_MEMORY}, no_check()))
            return finish(false);
    if (!step(run, "set_config", [&] { return tovan_sdk_set_config(h, second.c_str()); },
              {TOVAN_SDK_OUT_OF_MEMORY, TOVAN_SDK_INTERNAL_ERROR}, unconfigured(h, TOVAN_SDK_STATE_SENDING)))
        return finish(false);
    EXPECT_EQ(tovan_sdk_get_state(h), TOVAN_SDK_STATE_STOPPED);

    // Send on the new pipeline through the float path, then hand out blocks.
    EXPECT_EQ(tovan_sdk_start(h), TOVAN_SDK_OK);
    const std::vector<uint8_t> three{9, 9, 9};
    if (!step(run, "send", [&] { return tovan_sdk_send(h, three.data(), three.size()); },
              {TOVAN_SDK_OUT_OF_MEMORY, TOVAN_SDK_UNKNOWN_ERROR}, nothing_loaded(h, rec, rec.events.size())))
        return finish(false);
    sent.push_back(three);
    std::vector<float> in(1500), out(1500);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(tovan_sdk_process(h, in.data(), out.data(), in.size()), TOVAN_SDK_OK);
    EXPECT_EQ(tovan_sdk_stop(h), TOVAN_SDK_OK);
    size_t length = 0;
    uint8_t *payload = tovan_sdk_random_payload(h, &length);
    char *info = tovan_sdk_get_info(h);
    EXPECT_TRUE((payload != nullptr && info != nullptr) || run.fired()) << "a block refused before any fault";
    tovan_sdk_free(payload);
    tovan_sdk_free(info);
    return finish(true);
}

// A quick protocol, so that the whole scenario, run once per allocation,
// stays short: 40 ms slots 128 Hz apart, heard by two detectors over a
// 1024-point FFT every 128 samples, on `channels` bands.
std::string quick_config(uint8_t channels)
{
    coding_params *coding = new_default_coding_params();
    modulation_params *modulation = new_modulation_params(channels, TOVAN_DEFAULT_FRONTDOOR, 2, "1", 1000.0f, 128.0f,
                                                          200.0f, 0.04f, 0.04f, 0.005f, 0.005f, 0.002f, 0.0f, 0.0f);
    const float smoothing[2] = {0.95f, 0.95f};
    const float subtraction[2] = {0.0f, 0.375f};
    const int8_t shifts[2] = {0, 2};
    const float flat[4] = {0.0f, 0.0f, 22050.0f, 0.0f};
    const float *curves[2] = {flat, flat};
    const float thresholds[2] = {0.85f, 0.85f};
    const float factors[2] = {1.0f, 1.0f};
    return config_of(new_protocol("quick", 1, coding, modulation),
                     new_decoder_settings("quick", 0, 128, 2, 44100, 1024, smoothing, subtraction, shifts, 2, curves,
                                          thresholds, factors));
}

class AllocationSweepTest : public SdkTest, public ::testing::WithParamInterface<bool> {};

TEST_P(AllocationSweepTest, EveryFailedAllocationEndsCleanly)
{
    const bool persistent = GetParam();
    const std::string first = quick_config(1);
    const std::string second = quick_config(2);

    memory_manager_fail_at(0, false);
    bool received = false;
    ASSERT_TRUE(scenario(sweep_run{}, first, second, &received));
    const uint64_t total = memory_manager_requests_seen();
    EXPECT_TRUE(received) << "the fault-free scenario did not hear its own payload";
    EXPECT_FALSE(heap_exists());
    ASSERT_GT(total, 50u) << "the scenario should allocate all along its way";
    std::printf("sweeping %llu allocations\n", static_cast<unsigned long long>(total));

    for (uint64_t n = 1; n <= total && !HasFailure(); ++n) {
        std::ostringstream trace;
        trace << "allocation " << n << " of " << total << (persistent ? ", persistent" : ", transient");
        SCOPED_TRACE(trace.str());
        const sweep_run run{n, persistent};
        memory_manager_fail_at(n, persistent);
        const bool completed = scenario(run, first, second, &received);
        const bool fired = run.fired();
        memory_manager_fail_at(0, false);
        // A transient fault leaves every call able to work again, so the
        // scenario always runs to its end.
        EXPECT_TRUE(completed || persistent) << "the scenario stopped early";
        EXPECT_TRUE(fired || (completed && received)) << "a run the fault never reached went otherwise";
        EXPECT_FALSE(heap_exists()) << "the tracked heap outlived every handle";
        while (heap_exists())
            memory_manager_release();
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, AllocationSweepTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return info.param ? "Persistent" : "Transient";
                         });

} // namespace
