#include "dsp/frame_buffer.h"
#include "support/memory_fixture.h"

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace {

class FrameBufferTest : public TrackedHeapTest {};

std::vector<float> ramp(size_t count, float start = 0.0f)
{
    std::vector<float> x(count);
    for (size_t i = 0; i < count; ++i)
        x[i] = start + static_cast<float>(i);
    return x;
}

TEST_F(FrameBufferTest, CreationChecksArgumentsBeforeAllocating)
{
    struct Case {
        uint16_t length, hop;
        uint8_t capacity;
        uint64_t element_size;
        bool valid;
    };
    const Case cases[] = {
        {4, 0, 2, 4, true},      {4, 4, 2, 4, true},       {4, 5, 2, 4, false},     {4, 2, 1, 4, false},
        {4, 2, 2, 0, false},     {0, 0, 2, 4, false},      {1, 1, 255, 1, true},
        // The store must stay below 2^31 bytes, whatever the element size.
        {32768, 1, 128, 512, false}, {32768, 1, 128, 511, true}, {65535, 64, 255, UINT64_MAX, false},
        {2, 1, 2, uint64_t{1} << 62, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.length << " " << c.hop << " " << int(c.capacity) << " "
                                        << c.element_size);
        // Every allocation fails, so only the argument checks decide, and a
        // refusal must not even ask for memory.
        memory_manager_fail_at(1, true);
        EXPECT_EQ(new_frame_buffer(c.length, c.hop, c.capacity, c.element_size), nullptr);
        EXPECT_EQ(memory_manager_requests_seen() > 0, c.valid);
        memory_manager_fail_at(0, false);
    }
    frame_buffer *fb = new_frame_buffer(4, 0, 2, 4);
    ASSERT_NE(fb, nullptr);
    EXPECT_EQ(fb->hop, 4);
    del_frame_buffer(fb);
    del_frame_buffer(nullptr);
}

TEST_F(FrameBufferTest, WorkedExample)
{
    frame_buffer *fb = new_frame_buffer(4, 2, 4, sizeof(float));
    ASSERT_NE(fb, nullptr);
    const std::vector<float> x = ramp(10);
    ASSERT_TRUE(frame_buffer_push(fb, x.data(), 8 * sizeof(float)));
    for (float start : {0.0f, 2.0f, 4.0f}) {
        const auto *frame = static_cast<const float *>(frame_buffer_pop(fb));
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame[0], start);
        EXPECT_EQ(frame[3], start + 3.0f);
    }
    EXPECT_EQ(frame_buffer_pop(fb), nullptr);
    // The unread elements 6 and 7 move to the front.
    ASSERT_TRUE(frame_buffer_push(fb, x.data() + 8, 2 * sizeof(float)));
    const auto *frame = static_cast<const float *>(frame_buffer_pop(fb));
    ASSERT_EQ(static_cast<const void *>(frame), static_cast<const void *>(fb->data));
    EXPECT_EQ(std::vector<float>(frame, frame + 4), (std::vector<float>{6, 7, 8, 9}));
    EXPECT_EQ(frame_buffer_pop(fb), nullptr);
    del_frame_buffer(fb);
}

TEST_F(FrameBufferTest, FramesAreTheSameWhateverTheBlockSize)
{
    const uint16_t length = 256, hop = 24;
    const std::vector<float> stream = ramp(20000, 1.0f);
    const size_t want_frames = (stream.size() - length) / hop + 1;
    const size_t fixed_sizes[] = {1, 2, 3, 23, 24, 25, 255, 256, 257, 441, 1000, 1791};
    for (size_t variant = 0; variant < std::size(fixed_sizes) + 3; ++variant) {
        SCOPED_TRACE(variant);
        frame_buffer *fb = new_frame_buffer(length, hop, 8, sizeof(float));
        ASSERT_NE(fb, nullptr);
        std::mt19937 gen(static_cast<uint32_t>(variant));
        std::uniform_int_distribution<size_t> random_size(0, 1700);
        size_t pushed = 0, frames = 0, mismatches = 0;
        while (pushed < stream.size()) {
            size_t block = variant < std::size(fixed_sizes) ? fixed_sizes[variant] : random_size(gen);
            block = std::min(block, stream.size() - pushed);
            ASSERT_TRUE(frame_buffer_push(fb, stream.data() + pushed, block * sizeof(float)));
            pushed += block;
            while (const void *frame = frame_buffer_pop(fb)) {
                mismatches += std::memcmp(frame, stream.data() + frames * hop, length * sizeof(float)) != 0;
                ++frames;
            }
        }
        EXPECT_EQ(frames, want_frames);
        EXPECT_EQ(mismatches, 0u);
        del_frame_buffer(fb);
    }
}

TEST_F(FrameBufferTest, RoomCountsOnlyUnreadBytes)
{
    // 4 frames of 4 floats: 64 bytes of store.
    frame_buffer *fb = new_frame_buffer(4, 2, 4, sizeof(float));
    ASSERT_NE(fb, nullptr);
    const std::vector<float> x = ramp(40);
    EXPECT_FALSE(frame_buffer_push(fb, x.data(), 17 * sizeof(float)));
    EXPECT_FALSE(frame_buffer_push(fb, x.data(), 6)); // not whole floats
    EXPECT_EQ(fb->write_pos, 0u);
    ASSERT_TRUE(frame_buffer_push(fb, x.data(), 16 * sizeof(float)));
    int frames = 0;
    while (frame_buffer_pop(fb) != nullptr)
        ++frames;
    EXPECT_EQ(frames, 7); // elements 14 and 15 remain unread
    // 14 more fit beside the 2 unread elements although the consumed bytes
    // still sit in the store; 15 do not, and a refused push changes nothing.
    EXPECT_FALSE(frame_buffer_push(fb, x.data() + 16, 15 * sizeof(float)));
    EXPECT_EQ(fb->write_pos, 64u);
    EXPECT_EQ(fb->read_pos, 56);
    // A push of nothing still drops the consumed bytes.
    ASSERT_TRUE(frame_buffer_push(fb, nullptr, 0));
    EXPECT_EQ(fb->read_pos, 0);
    EXPECT_EQ(fb->write_pos, 2 * sizeof(float));
    ASSERT_TRUE(frame_buffer_push(fb, x.data() + 16, 14 * sizeof(float)));
    const auto *frame = static_cast<const float *>(frame_buffer_pop(fb));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(std::vector<float>(frame, frame + 4), (std::vector<float>{14, 15, 16, 17}));
    del_frame_buffer(fb);
}

TEST_F(FrameBufferTest, ResetZeroesTheStore)
{
    frame_buffer *fb = new_frame_buffer(4, 2, 2, sizeof(float));
    ASSERT_NE(fb, nullptr);
    const std::vector<float> x = ramp(8, 1.0f);
    ASSERT_TRUE(frame_buffer_push(fb, x.data(), 8 * sizeof(float)));
    ASSERT_NE(frame_buffer_pop(fb), nullptr);
    frame_buffer_reset(fb);
    EXPECT_EQ(frame_buffer_pop(fb), nullptr);
    EXPECT_EQ(std::vector<uint8_t>(fb->data, fb->data + 32), std::vector<uint8_t>(32, 0));
    ASSERT_TRUE(frame_buffer_push(fb, x.data() + 4, 4 * sizeof(float)));
    const auto *frame = static_cast<const float *>(frame_buffer_pop(fb));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame[0], 5.0f);
    del_frame_buffer(fb);
}

TEST_F(FrameBufferTest, AllocationFailuresLeaveNothing)
{
    const uint64_t allocations = sweep_allocation_failures([] {
        frame_buffer *fb = new_frame_buffer(64, 16, 4, sizeof(float));
        if (fb == nullptr)
            return false;
        const std::vector<float> x = ramp(100);
        const bool ok = frame_buffer_push(fb, x.data(), x.size() * sizeof(float)) && frame_buffer_pop(fb) != nullptr;
        del_frame_buffer(fb);
        return ok;
    });
    EXPECT_EQ(allocations, 2u);
}

} // namespace
