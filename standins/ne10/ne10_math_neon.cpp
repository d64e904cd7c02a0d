// NEON variants of the stand-in's float vector functions: blocks of four, the
// remainder in scalar code. Each block is loaded before it is stored, so dst
// may be a source.
#if defined(__ARM_NEON)

#include "standins/ne10/ne10.h"

#include <arm_neon.h>

extern "C" {

ne10_result_t ne10_add_float_neon(ne10_float32_t *dst, ne10_float32_t *src1, ne10_float32_t *src2,
                                  ne10_uint32_t count)
{
    ne10_uint32_t i = 0;
    for (; i + 4 <= count; i += 4)
        vst1q_f32(dst + i, vaddq_f32(vld1q_f32(src1 + i), vld1q_f32(src2 + i)));
    for (; i < count; ++i)
        dst[i] = src1[i] + src2[i];
    return NE10_OK;
}

ne10_result_t ne10_sub_float_neon(ne10_float32_t *dst, ne10_float32_t *src1, ne10_float32_t *src2,
                                  ne10_uint32_t count)
{
    ne10_uint32_t i = 0;
    for (; i + 4 <= count; i += 4)
        vst1q_f32(dst + i, vsubq_f32(vld1q_f32(src1 + i), vld1q_f32(src2 + i)));
    for (; i < count; ++i)
        dst[i] = src1[i] - src2[i];
    return NE10_OK;
}

ne10_result_t ne10_mul_float_neon(ne10_float32_t *dst, ne10_float32_t *src1, ne10_float32_t *src2,
                                  ne10_uint32_t count)
{
    ne10_uint32_t i = 0;
    for (; i + 4 <= count; i += 4)
        vst1q_f32(dst + i, vmulq_f32(vld1q_f32(src1 + i), vld1q_f32(src2 + i)));
    for (; i < count; ++i)
        dst[i] = src1[i] * src2[i];
    return NE10_OK;
}

ne10_result_t ne10_mulc_float_neon(ne10_float32_t *dst, ne10_float32_t *src, const ne10_float32_t cst,
                                   ne10_uint32_t count)
{
    ne10_uint32_t i = 0;
    for (; i + 4 <= count; i += 4)
        vst1q_f32(dst + i, vmulq_n_f32(vld1q_f32(src + i), cst));
    for (; i < count; ++i)
        dst[i] = src[i] * cst;
    return NE10_OK;
}

} // extern "C"

#endif
