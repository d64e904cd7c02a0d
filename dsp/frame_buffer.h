// Frame FIFO: cuts a stream of samples, pushed in blocks of any size, into
// overlapping frames of frame_length elements that advance by hop elements.
//
// Linear, not circular: pushes append behind the stored data, frames are handed
// out as pointers into the store, and the bytes no frame needs any more are
// dropped by moving the unread rest to the front at the next push.
//
// Invariant: counting every element pushed since creation or the last reset as
// one stream, the k-th frame popped is stream elements
// [k x hop, k x hop + frame_length).
#pragma once

#include <cstdint>

struct frame_buffer {
    uint16_t frame_length;   // elements per frame, >= 1
    uint16_t hop;            // elements between frame starts, 1 .. frame_length
    uint8_t *data;           // frame_length x element_size x capacity_frames bytes
    uint32_t write_pos;      // bytes: end of the stored data
    int32_t read_pos;        // bytes: start of the next frame, 0 .. write_pos
    uint8_t capacity_frames; // store size in frames, 2 .. 255
    uint64_t element_size;   // bytes per element (4 for float samples)
};

// None, allocating nothing, when element_size is 0, frame_length is 0,
// frame_length < hop, capacity_frames < 2, or the store would reach 2^31
// bytes. hop 0 means hop = frame_length (frames do not overlap).
frame_buffer *new_frame_buffer(uint16_t frame_length, uint16_t hop, uint8_t capacity_frames,
                               uint64_t element_size);
// Appends `bytes` bytes of src (borrowed for the call; may be NULL when bytes is
// 0). False, changing nothing, when the unread bytes plus the new ones exceed
// the store, or when bytes is not a whole number of elements. Invalidates every
// frame pointer handed out before.
bool frame_buffer_push(frame_buffer *fb, const void *src, uint64_t bytes);
// The next frame (frame_length elements inside the store), or NULL when fewer
// than frame_length elements are unread. Never moves data: frames popped in a
// row all stay valid until the next push, reset or delete.
const void *frame_buffer_pop(frame_buffer *fb);
// Zeroes the whole store and empties the FIFO.
void frame_buffer_reset(frame_buffer *fb);
// NULL is ignored.
void del_frame_buffer(frame_buffer *fb);
