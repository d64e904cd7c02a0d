#include "sdk/handle.h"

#include "runtime/memory_manager.h"
#include "runtime/random.h"
#include "sdk/config.h"
#include "sdk/pipeline.h"
#include "support/memory_fixture.h"

#include <cstddef>
#include <cstdint>

#include <gtest/gtest.h>

extern "C" {
size_t c_consumer_callbacks_size(void);
size_t c_consumer_on_received_offset(void);
int c_consumer_round_trip(void);
}

namespace {

constexpr uint32_t kNoFigure = 0xFFFFFFFFu;

bool manager_exists()
{
    return memory_manager_get_header_bytes() != kNoFigure;
}

// Every test starts with no live handle and no tracked heap, and leaves none.
class HandleTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(manager_exists()) << "another holder is still alive"; }
    void TearDown() override
    {
        memory_manager_fail_at(0, false);
        memory_manager_fail_init(false);
        EXPECT_FALSE(manager_exists()) << "a handle or hold was left behind";
        while (manager_exists())
            memory_manager_release();
    }
};

// A handle with a real pipeline for the standard config.
sdk_handle *configured_handle()
{
    sdk_handle *h = new_tovan_sdk();
    EXPECT_NE(h, nullptr);
    char *config = sdk_standard_config_text();
    EXPECT_EQ(tovan_sdk_set_config(h, config), TOVAN_SDK_OK);
    tracked_free(config);
    return h;
}

TEST_F(HandleTest, LeakResultCountsTheWholeProcess)
{
    struct {
        const char *name;
        bool second_handle;
        bool keep_block;
        sdk_error first, last;
    } const cases[] = {
        {"one handle", false, false, TOVAN_SDK_OK, TOVAN_SDK_OK},
        {"two handles", true, false, TOVAN_SDK_MEMORY_LEAK, TOVAN_SDK_OK},
        {"a block not given back", false, true, TOVAN_SDK_MEMORY_LEAK, TOVAN_SDK_MEMORY_LEAK},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sdk_handle *a = new_tovan_sdk();
        sdk_handle *b = c.second_handle ? new_tovan_sdk() : nullptr;
        ASSERT_NE(a, nullptr);
        // As a random payload or an info text would be handed to the caller.
        uint8_t *block = tracked_alloc<uint8_t>(16);
        ASSERT_NE(block, nullptr);
        if (!c.keep_block)
            tovan_sdk_free(block);
        EXPECT_EQ(del_tovan_sdk(&a), c.first);
        EXPECT_EQ(a, nullptr) << "destroyed all the same";
        if (b != nullptr) {
            EXPECT_EQ(del_tovan_sdk(&b), c.last);
        }
        if (c.keep_block)
            tovan_sdk_free(block); // the tracked heap is gone: released uncounted
        EXPECT_FALSE(manager_exists());
    }
    tovan_sdk_free(nullptr);
    EXPECT_EQ(del_tovan_sdk(nullptr), TOVAN_SDK_NULL_POINTER);
}

TEST_F(HandleTest, ConfiguredTestNeedsTheWholePipeline)
{
    sdk_handle *h = configured_handle();
    ASSERT_TRUE(sdk_is_initialised(h));
    EXPECT_FALSE(sdk_is_initialised(nullptr));
    EXPECT_EQ(sdk_get_protocol(h), h->protocol);
    EXPECT_EQ(sdk_get_decoder_settings(h), h->decoder_settings);

    // Each member taken away for a moment, then put back.
    struct {
        const char *missing;
        void **member;
    } const cases[] = {
        {"protocol", reinterpret_cast<void **>(&h->protocol)},
        {"receiver settings", reinterpret_cast<void **>(&h->decoder_settings)},
        {"transmitter", reinterpret_cast<void **>(&h->transmitter)},
        {"spectrum", reinterpret_cast<void **>(&h->spectrum)},
        {"frame FIFO", reinterpret_cast<void **>(&h->input_frames)},
        {"receiver array", reinterpret_cast<void **>(&h->receivers)},
        {"receiver 0", reinterpret_cast<void **>(&h->receivers[0])},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.missing);
        void *kept = *c.member;
        *c.member = nullptr;
        EXPECT_FALSE(sdk_is_initialised(h));
        EXPECT_EQ(sdk_get_protocol(h), nullptr);
        EXPECT_EQ(sdk_get_decoder_settings(h), nullptr);
        EXPECT_EQ(tovan_sdk_get_heap_usage(h), kNoFigure);
        *c.member = kept;
        EXPECT_TRUE(sdk_is_initialised(h));
    }
    h->initialised = false;
    EXPECT_TRUE(sdk_is_initialised(h)) << "the flag takes no part";
    h->initialised = true;

    EXPECT_TRUE(sdk_teardown_pipeline(h));
    EXPECT_EQ(h->receivers, nullptr);
    EXPECT_EQ(h->protocol, nullptr);
    EXPECT_EQ(h->transmitter, nullptr);
    EXPECT_EQ(h->channel_count, 0);
    EXPECT_FALSE(h->initialised);
    EXPECT_FALSE(sdk_is_initialised(h));
    EXPECT_TRUE(sdk_teardown_pipeline(h)) << "a second teardown finds nothing to free";
    EXPECT_FALSE(sdk_teardown_pipeline(nullptr));
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

TEST_F(HandleTest, TeardownKeepsWhatOutlivesThePipeline)
{
    sdk_handle *h = configured_handle();
    ASSERT_EQ(tovan_sdk_start(h), TOVAN_SDK_OK);
    ASSERT_EQ(tovan_sdk_set_listen_to_self(h, true), TOVAN_SDK_OK);
    int user = 0;
    ASSERT_EQ(tovan_sdk_set_callback_ptr(h, &user), TOVAN_SDK_OK);
    sdk_callbacks callbacks{};
    callbacks.on_sent = [](void *, const uint8_t *, size_t, uint8_t) {};
    ASSERT_EQ(tovan_sdk_set_callbacks(h, callbacks), TOVAN_SDK_OK);
    int16_t samples[32] = {};
    ASSERT_EQ(tovan_sdk_process_shorts_input(h, samples, 32), TOVAN_SDK_OK);
    ASSERT_TRUE(sdk_teardown_pipeline(h));
    EXPECT_EQ(h->state, TOVAN_SDK_STATE_RUNNING);
    EXPECT_TRUE(h->listen_to_self);
    EXPECT_EQ(h->callback_ptr, &user);
    EXPECT_NE(h->callbacks.on_sent, nullptr);
    EXPECT_NE(h->shorts_input_buffer, nullptr);
    EXPECT_EQ(h->shorts_input_capacity, 32u);
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK) << "the conversion buffer goes with the handle";
}

TEST_F(HandleTest, HeapUsageGrowsWithEveryAllocation)
{
    sdk_handle *h = configured_handle();
    const uint32_t before = tovan_sdk_get_heap_usage(h);
    EXPECT_NE(before, kNoFigure);
    uint8_t *block = tracked_alloc<uint8_t>(100);
    EXPECT_EQ(tovan_sdk_get_heap_usage(h), before + 100 + 8);
    tracked_free(block);
    EXPECT_EQ(tovan_sdk_get_heap_usage(h), before + 8) << "a freed allocation still counts its 8 bytes";
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

TEST_F(HandleTest, NewHandleReseedsTheSharedGenerator)
{
    random_set_seed(1);
    const auto ms = [](double s) {
        return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(s * 1000.0)));
    };
    const uint32_t before = ms(clock_seconds());
    sdk_handle *h = new_tovan_sdk();
    const uint32_t after = ms(clock_seconds());
    ASSERT_NE(h, nullptr);
    EXPECT_LE(random_get_seed() - before, after - before) << "seeded from the clock in milliseconds";
    EXPECT_EQ(del_tovan_sdk(&h), TOVAN_SDK_OK);
}

TEST_F(HandleTest, FailedCreationGivesBackItsHold)
{
    memory_manager_fail_at(1, false);
    EXPECT_EQ(new_tovan_sdk(), nullptr);
    memory_manager_fail_at(0, false);
    EXPECT_FALSE(manager_exists());
    const uint64_t allocations = sweep_allocation_failures([] {
        sdk_handle *h = new_tovan_sdk();
        return h != nullptr && del_tovan_sdk(&h) == TOVAN_SDK_OK;
    });
    EXPECT_EQ(allocations, 1u);
}

// A handle made while the tracked heap could not be created holds nothing,
// so deleting it must neither drop another handle's hold nor complain.
TEST_F(HandleTest, HandleWithoutHeapHoldReleasesNothing)
{
    memory_manager_fail_init(true);
    sdk_handle *orphan = new_tovan_sdk();
    sdk_handle *alone = new_tovan_sdk();
    memory_manager_fail_init(false);
    ASSERT_NE(orphan, nullptr) << "made all the same, uncounted";
    ASSERT_NE(alone, nullptr);
    EXPECT_FALSE(orphan->holds_memory_manager);
    EXPECT_FALSE(manager_exists());

    // Configured and working, but with no heap there is no figure to add up.
    char *config = sdk_standard_config_text();
    ASSERT_EQ(tovan_sdk_set_config(alone, config), TOVAN_SDK_OK);
    tracked_free(config);
    EXPECT_EQ(tovan_sdk_get_heap_usage(alone), kNoFigure);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(del_tovan_sdk(&alone), TOVAN_SDK_OK) << "no figure to judge, so no leak reported";
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    sdk_handle *holder = new_tovan_sdk();
    ASSERT_NE(holder, nullptr);
    EXPECT_TRUE(holder->holds_memory_manager);
    EXPECT_EQ(del_tovan_sdk(&orphan), TOVAN_SDK_OK);
    EXPECT_TRUE(manager_exists()) << "the holder's hold survives";
    EXPECT_EQ(del_tovan_sdk(&holder), TOVAN_SDK_OK) << "the orphan's block never counted against this heap";
    EXPECT_FALSE(manager_exists());
}

// A payload handed out by one handle may be freed once every handle is gone
// and a new heap exists: it must not count against that heap.
TEST_F(HandleTest, BlockFreedUnderALaterHeapCountsAgainstNone)
{
    sdk_handle *first = configured_handle();
    size_t length = 0;
    uint8_t *payload = tovan_sdk_random_payload(first, &length);
    ASSERT_NE(payload, nullptr);
    EXPECT_EQ(del_tovan_sdk(&first), TOVAN_SDK_MEMORY_LEAK) << "the payload is still out";

    sdk_handle *second = configured_handle();
    const uint32_t usage = tovan_sdk_get_heap_usage(second);
    tovan_sdk_free(payload);
    EXPECT_EQ(tovan_sdk_get_heap_usage(second), usage);
    EXPECT_EQ(del_tovan_sdk(&second), TOVAN_SDK_OK);
}

TEST(PublicHeaderTest, CompilesAsCAndAgreesWithCpp)
{
    EXPECT_EQ(c_consumer_callbacks_size(), sizeof(sdk_callbacks));
    EXPECT_EQ(c_consumer_on_received_offset(), offsetof(sdk_callbacks, on_received));
    EXPECT_EQ(c_consumer_round_trip(), 1);
}

} // namespace
