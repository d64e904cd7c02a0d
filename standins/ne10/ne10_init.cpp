// The stand-in's dispatch table and its initialisation.
#include "standins/ne10/ne10.h"
#include "standins/ne10/ne10_standin_hooks.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Reached only through a dispatch entry used before ne10_init: the real
// library would jump through an unset pointer, so stop here with a message.
[[noreturn]] void called_before_init(const char *name)
{
    std::fprintf(stderr, "%s called before ne10_init\n", name);
    std::fflush(stderr);
    std::abort();
}

void r2c_trap(ne10_fft_cpx_float32_t *, ne10_float32_t *, ne10_fft_r2c_cfg_float32_t)
{
    called_before_init("ne10_fft_r2c_1d_float32");
}
ne10_result_t add_trap(ne10_float32_t *, ne10_float32_t *, ne10_float32_t *, ne10_uint32_t)
{
    called_before_init("ne10_add_float");
}
ne10_result_t sub_trap(ne10_float32_t *, ne10_float32_t *, ne10_float32_t *, ne10_uint32_t)
{
    called_before_init("ne10_sub_float");
}
ne10_result_t mul_trap(ne10_float32_t *, ne10_float32_t *, ne10_float32_t *, ne10_uint32_t)
{
    called_before_init("ne10_mul_float");
}
ne10_result_t mulc_trap(ne10_float32_t *, ne10_float32_t *, const ne10_float32_t, ne10_uint32_t)
{
    called_before_init("ne10_mulc_float");
}

bool fail_next_init = false;

} // namespace

extern "C" {

void (*ne10_fft_r2c_1d_float32)(ne10_fft_cpx_float32_t *, ne10_float32_t *, ne10_fft_r2c_cfg_float32_t) = r2c_trap;
ne10_result_t (*ne10_add_float)(ne10_float32_t *, ne10_float32_t *, ne10_float32_t *, ne10_uint32_t) = add_trap;
ne10_result_t (*ne10_sub_float)(ne10_float32_t *, ne10_float32_t *, ne10_float32_t *, ne10_uint32_t) = sub_trap;
ne10_result_t (*ne10_mul_float)(ne10_float32_t *, ne10_float32_t *, ne10_float32_t *, ne10_uint32_t) = mul_trap;
ne10_result_t (*ne10_mulc_float)(ne10_float32_t *, ne10_float32_t *, const ne10_float32_t,
                                 ne10_uint32_t) = mulc_trap;

// The variant is chosen when the library is built: a build that targets NEON
// runs only on processors that have it.
ne10_result_t ne10_init(void)
{
    if (fail_next_init) {
        fail_next_init = false;
        return NE10_ERR;
    }
#if defined(__ARM_NEON)
    ne10_fft_r2c_1d_float32 = ne10_fft_r2c_1d_float32_neon;
    ne10_add_float = ne10_add_float_neon;
    ne10_sub_float = ne10_sub_float_neon;
    ne10_mul_float = ne10_mul_float_neon;
    ne10_mulc_float = ne10_mulc_float_neon;
#else
    ne10_fft_r2c_1d_float32 = ne10_fft_r2c_1d_float32_c;
    ne10_add_float = ne10_add_float_c;
    ne10_sub_float = ne10_sub_float_c;
    ne10_mul_float = ne10_mul_float_c;
    ne10_mulc_float = ne10_mulc_float_c;
#endif
    return NE10_OK;
}

} // extern "C"

void ne10_standin_fail_next_init()
{
    fail_next_init = true;
}

void ne10_standin_reset_dispatch()
{
    ne10_fft_r2c_1d_float32 = r2c_trap;
    ne10_add_float = add_trap;
    ne10_sub_float = sub_trap;
    ne10_mul_float = mul_trap;
    ne10_mulc_float = mulc_trap;
}
