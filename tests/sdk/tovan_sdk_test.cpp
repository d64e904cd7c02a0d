// The contract of every export against every kind of handle: NULL,
// unconfigured, and configured in each state.
#include "sdk/tovan_sdk.h"

#include "sdk/sdk_harness.h"

#include <cmath>
#include <functional>

namespace {

using namespace sdk_test;

class TovanSdkTest : public SdkTest {};

enum context { null_handle, unconfigured, stopped, running, sending, receiving, context_count };

const char *const context_names[context_count] = {"NULL", "unconfigured", "STOPPED", "RUNNING", "SENDING", "RECEIVING"};

const std::vector<uint8_t> three{1, 2, 3};

// A handle in the given context; NULL for null_handle.
sdk_handle *make(context c, const std::string &config)
{
    if (c == null_handle)
        return nullptr;
    sdk_handle *h = new_tovan_sdk();
    if (c == unconfigured)
        return h;
    EXPECT_EQ(tovan_sdk_set_config(h, config.c_str()), TOVAN_SDK_OK);
    if (c == stopped)
        return h;
    EXPECT_EQ(tovan_sdk_start(h), TOVAN_SDK_OK);
    if (c == sending) {
        EXPECT_EQ(tovan_sdk_send(h, three.data(), three.size()), TOVAN_SDK_OK);
    } else if (c == receiving) {
        feed_until(h, payload_audio(h, {9, 8, 7, 6}), 512, TOVAN_SDK_STATE_RECEIVING);
    }
    return h;
}

// Every answer as a double: codes, values, and 1 / 0 for a present / absent
// pointer (blocks handed out are given back).
using probe = std::function<double(sdk_handle *&)>;

double present(const void *p)
{
    return p != nullptr ? 1.0 : 0.0;
}

TEST_F(TovanSdkTest, EveryExportAnswersEveryContext)
{
    const std::string config = standard_config();
    float in[64] = {}, out[64] = {};
    int16_t in16[64] = {}, out16[64] = {};
    const double none = 0xFFFFFFFFu;
    const double d6 = 2.0056005f; // seconds of a 6-byte payload

    const struct {
        const char *name;
        probe call;
        double expected[context_count]; // NULL, unconfigured, STOPPED, RUNNING, SENDING, RECEIVING
    } rows[] = {
        {"new_tovan_sdk",
         [](sdk_handle *&) {
             sdk_handle *other = new_tovan_sdk();
             const double made = present(other);
             del_tovan_sdk(&other);
             return made;
         },
         {1, 1, 1, 1, 1, 1}},
        {"del_tovan_sdk", [](sdk_handle *&h) { return double(del_tovan_sdk(&h)); }, {22, 0, 0, 0, 0, 0}},
        {"set_config", [&](sdk_handle *&h) { return double(tovan_sdk_set_config(h, config.c_str())); },
         {22, 0, 0, 0, 0, 0}},
        {"set_callbacks", [](sdk_handle *&h) { return double(tovan_sdk_set_callbacks(h, sdk_callbacks{})); },
         {2, 2, 0, 0, 0, 0}},
        {"set_callback_ptr", [](sdk_handle *&h) { return double(tovan_sdk_set_callback_ptr(h, &h)); },
         {2, 0, 0, 0, 0, 0}},
        {"start", [](sdk_handle *&h) { return double(tovan_sdk_start(h)); }, {2, 2, 0, 7, 7, 7}},
        {"stop", [](sdk_handle *&h) { return double(tovan_sdk_stop(h)); }, {2, 2, 8, 0, 0, 0}},
        {"trigger_callbacks", [](sdk_handle *&h) { return double(tovan_sdk_trigger_callbacks(h, three.data(), 3)); },
         {2, 2, 0, 0, 0, 0}},
        {"get_state", [](sdk_handle *&h) { return double(tovan_sdk_get_state(h)); }, {0, 0, 1, 2, 3, 4}},
        {"send", [](sdk_handle *&h) { return double(tovan_sdk_send(h, three.data(), 3)); }, {2, 2, 6, 0, 9, 0}},
        {"random_payload",
         [](sdk_handle *&h) {
             size_t n = 3;
             uint8_t *p = tovan_sdk_random_payload(h, &n);
             tovan_sdk_free(p);
             return present(p);
         },
         {0, 0, 1, 1, 1, 1}},
        {"free", [](sdk_handle *&) { tovan_sdk_free(nullptr); return 0.0; }, {0, 0, 0, 0, 0, 0}},
        {"is_valid", [](sdk_handle *&h) { return double(tovan_sdk_is_valid(h, nullptr, 3)); }, {2, 2, 0, 0, 0, 0}},
        {"process_payload",
         [&](sdk_handle *&h) { return double(tovan_sdk_process_payload(h, three.data(), 3, out, 64)); },
         {22, 2, 0, 0, 0, 0}},
        {"process", [&](sdk_handle *&h) { return double(tovan_sdk_process(h, in, out, 64)); }, {2, 2, 6, 0, 0, 0}},
        {"process_input", [&](sdk_handle *&h) { return double(tovan_sdk_process_input(h, in, 64)); },
         {2, 2, 6, 0, 0, 0}},
        {"process_output", [&](sdk_handle *&h) { return double(tovan_sdk_process_output(h, out, 64)); },
         {2, 2, 6, 0, 0, 0}},
        {"process_shorts", [&](sdk_handle *&h) { return double(tovan_sdk_process_shorts(h, in16, out16, 64)); },
         {2, 2, 6, 0, 0, 0}},
        {"process_shorts_input", [&](sdk_handle *&h) { return double(tovan_sdk_process_shorts_input(h, in16, 64)); },
         {2, 2, 6, 0, 0, 0}},
        {"process_shorts_output",
         [&](sdk_handle *&h) { return double(tovan_sdk_process_shorts_output(h, out16, 64)); },
         {2, 2, 6, 0, 0, 0}},
        {"process_playthrough", [](sdk_handle *&h) { return double(tovan_sdk_process_playthrough(h, 64)); },
         {2, 2, 6, 0, 0, 0}},
        // A NULL buffer is judged before the state.
        {"process, NULL output", [&](sdk_handle *&h) { return double(tovan_sdk_process(h, in, nullptr, 64)); },
         {2, 2, 21, 21, 21, 21}},
        {"process_shorts, NULL input",
         [&](sdk_handle *&h) { return double(tovan_sdk_process_shorts(h, nullptr, out16, 64)); },
         {2, 2, 21, 21, 21, 21}},
        {"process_shorts_output, NULL",
         [](sdk_handle *&h) { return double(tovan_sdk_process_shorts_output(h, nullptr, 64)); },
         {2, 2, 21, 21, 21, 21}},
        {"set_volume", [](sdk_handle *&h) { return double(tovan_sdk_set_volume(h, 0.5f)); }, {2, 2, 0, 0, 0, 0}},
        {"get_volume", [](sdk_handle *&h) { return double(tovan_sdk_get_volume(h)); }, {-1, -1, 1, 1, 1, 1}},
        {"set_input_sample_rate", [](sdk_handle *&h) { return double(tovan_sdk_set_input_sample_rate(h, 48000)); },
         {2, 2, 0, 0, 0, 0}},
        {"get_input_sample_rate", [](sdk_handle *&h) { return double(tovan_sdk_get_input_sample_rate(h)); },
         {0, 0, 44100, 44100, 44100, 44100}},
        {"set_output_sample_rate", [](sdk_handle *&h) { return double(tovan_sdk_set_output_sample_rate(h, 48000)); },
         {2, 2, 0, 0, 0, 0}},
        {"get_output_sample_rate", [](sdk_handle *&h) { return double(tovan_sdk_get_output_sample_rate(h)); },
         {0, 0, 44100, 44100, 44100, 44100}},
        {"set_transmission_channel", [](sdk_handle *&h) { return double(tovan_sdk_set_transmission_channel(h, 0)); },
         {2, 2, 0, 0, 0, 0}},
        {"get_transmission_channel", [](sdk_handle *&h) { return double(tovan_sdk_get_transmission_channel(h)); },
         {-1, -1, 0, 0, 0, 0}},
        {"set_listen_to_self", [](sdk_handle *&h) { return double(tovan_sdk_set_listen_to_self(h, true)); },
         {2, 0, 0, 0, 0, 0}},
        {"get_listen_to_self", [](sdk_handle *&h) { return double(tovan_sdk_get_listen_to_self(h)); },
         {0, 0, 0, 0, 0, 0}},
        {"set_frequency_correction",
         [](sdk_handle *&h) { return double(tovan_sdk_set_frequency_correction(h, 1.02f)); }, {22, 2, 0, 0, 0, 0}},
        {"set_random_seed", [](sdk_handle *&h) { return double(tovan_sdk_set_random_seed(h, 7)); },
         {2, 0, 0, 0, 0, 0}},
        {"get_state_for_channel", [](sdk_handle *&h) { return double(tovan_sdk_get_state_for_channel(h, 0)); },
         {0, 0, 1, 2, 3, 4}},
        {"get_state_for_channel 1", [](sdk_handle *&h) { return double(tovan_sdk_get_state_for_channel(h, 1)); },
         {0, 0, 1, 0, 0, 0}},
        {"get_protocol_name", [](sdk_handle *&h) { return double(std::strlen(tovan_sdk_get_protocol_name(h))); },
         {0, 0, 8, 8, 8, 8}},
        {"get_protocol_version", [](sdk_handle *&h) { return double(tovan_sdk_get_protocol_version(h)); },
         {0, 0, 0, 0, 0, 0}},
        {"get_channel_count", [](sdk_handle *&h) { return double(tovan_sdk_get_channel_count(h)); },
         {0, 0, 1, 1, 1, 1}},
        {"get_max_payload_length", [](sdk_handle *&h) { return double(tovan_sdk_get_max_payload_length(h)); },
         {0, 0, 6, 6, 6, 6}},
        {"get_duration_for_payload_length",
         [](sdk_handle *&h) { return double(tovan_sdk_get_duration_for_payload_length(h, 6)); },
         {0, 0, d6, d6, d6, d6}},
        {"get_info",
         [](sdk_handle *&h) {
             char *text = tovan_sdk_get_info(h);
             tovan_sdk_free(text);
             return present(text);
         },
         {0, 0, 1, 1, 1, 1}},
        {"get_heap_usage", [](sdk_handle *&h) { return double(tovan_sdk_get_heap_usage(h)); },
         {none, none, -1, -1, -1, -1}}, // -1: any figure but the sentinel
        {"error_code_to_string", [](sdk_handle *&) { return present(tovan_sdk_error_code_to_string(22)); },
         {1, 1, 1, 1, 1, 1}},
        {"get_library_name", [](sdk_handle *&) { return double(std::strlen(tovan_sdk_get_library_name())); },
         {9, 9, 9, 9, 9, 9}},
        {"get_version", [](sdk_handle *&) { return double(std::strlen(tovan_sdk_get_version())); },
         {5, 5, 5, 5, 5, 5}},
        {"get_build_number", [](sdk_handle *&) { return double(std::strlen(tovan_sdk_get_build_number())); },
         {4, 4, 4, 4, 4, 4}},
    };
    for (int c = 0; c < context_count; ++c) {
        for (const auto &row : rows) {
            SCOPED_TRACE(std::string(row.name) + " on " + context_names[c]);
            sdk_handle *h = make(static_cast<context>(c), config);
            const double answer = row.call(h);
            const double expected = row.expected[c];
            if (expected == -1 && std::string(row.name) == "get_heap_usage") {
                EXPECT_NE(answer, none);
                EXPECT_GT(answer, 0);
            } else {
                EXPECT_EQ(answer, expected);
            }
            if (h != nullptr) {
                EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
            }
        }
    }
}

} // namespace
