#include "dsp/frame_buffer.h"

#include "runtime/memory_manager.h"

#include <cstring>

namespace {

// Positions are 32-bit (read_pos signed), so the store stays below 2^31 bytes.
constexpr uint64_t kMaxStoreBytes = (uint64_t{1} << 31) - 1;

uint64_t store_bytes(const frame_buffer *fb)
{
    return static_cast<uint64_t>(fb->frame_length) * fb->capacity_frames * fb->element_size;
}

} // namespace

frame_buffer *new_frame_buffer(uint16_t frame_length, uint16_t hop, uint8_t capacity_frames,
                               uint64_t element_size)
{
    if (element_size == 0 || frame_length == 0 || frame_length < hop || capacity_frames < 2)
        return nullptr;
    const uint64_t elements = static_cast<uint64_t>(frame_length) * capacity_frames;
    if (element_size > kMaxStoreBytes / elements)
        return nullptr;

    frame_buffer *fb = tracked_alloc<frame_buffer>(1);
    if (fb == nullptr)
        return nullptr;
    fb->frame_length = frame_length;
    fb->hop = hop == 0 ? frame_length : hop;
    fb->capacity_frames = capacity_frames;
    fb->element_size = element_size;
    fb->data = tracked_alloc<uint8_t>(elements * element_size);
    if (fb->data == nullptr) {
        del_frame_buffer(fb);
        return nullptr;
    }
    return fb;
}

bool frame_buffer_push(frame_buffer *fb, const void *src, uint64_t bytes)
{
    if (bytes % fb->element_size != 0)
        return false;
    // Room is what the unread data leaves free: consumed bytes are dropped below
    // before the copy.
    const uint64_t unread = fb->write_pos - static_cast<uint64_t>(fb->read_pos);
    if (bytes > store_bytes(fb) - unread)
        return false;
    if (fb->read_pos > 0) {
        std::memmove(fb->data, fb->data + fb->read_pos, static_cast<size_t>(unread));
        fb->write_pos = static_cast<uint32_t>(unread);
        fb->read_pos = 0;
    }
    if (bytes > 0) {
        std::memcpy(fb->data + fb->write_pos, src, static_cast<size_t>(bytes));
        fb->write_pos += static_cast<uint32_t>(bytes);
    }
    return true;
}

const void *frame_buffer_pop(frame_buffer *fb)
{
    const uint64_t unread = fb->write_pos - static_cast<uint64_t>(fb->read_pos);
    if (unread < fb->frame_length * fb->element_size)
        return nullptr;
    const uint8_t *frame = fb->data + fb->read_pos;
    fb->read_pos += static_cast<int32_t>(fb->hop * fb->element_size);
    return frame;
}

void frame_buffer_reset(frame_buffer *fb)
{
    std::memset(fb->data, 0, static_cast<size_t>(store_bytes(fb)));
    fb->write_pos = 0;
    fb->read_pos = 0;
}

void del_frame_buffer(frame_buffer *fb)
{
    if (fb == nullptr)
        return;
    tracked_free(fb->data);
    tracked_free(fb);
}
