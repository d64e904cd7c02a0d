// Plain C variants of the stand-in's float vector functions.
#include "standins/ne10/ne10.h"

extern "C" {

ne10_result_t ne10_add_float_c(ne10_float32_t *dst, ne10_float32_t *src1, ne10_float32_t *src2,
                               ne10_uint32_t count)
{
    for (ne10_uint32_t i = 0; i < count; ++i)
        dst[i] = src1[i] + src2[i];
    return NE10_OK;
}

ne10_result_t ne10_sub_float_c(ne10_float32_t *dst, ne10_float32_t *src1, ne10_float32_t *src2,
                               ne10_uint32_t count)
{
    for (ne10_uint32_t i = 0; i < count; ++i)
        dst[i] = src1[i] - src2[i];
    return NE10_OK;
}

ne10_result_t ne10_mul_float_c(ne10_float32_t *dst, ne10_float32_t *src1, ne10_float32_t *src2,
                               ne10_uint32_t count)
{
    for (ne10_uint32_t i = 0; i < count; ++i)
        dst[i] = src1[i] * src2[i];
    return NE10_OK;
}

ne10_result_t ne10_mulc_float_c(ne10_float32_t *dst, ne10_float32_t *src, const ne10_float32_t cst,
                                ne10_uint32_t count)
{
    for (ne10_uint32_t i = 0; i < count; ++i)
        dst[i] = src[i] * cst;
    return NE10_OK;
}

} // extern "C"
