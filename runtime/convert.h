// The one float-to-integer conversion for values that can come from a config or
// from audio: truncates toward zero like a cast, but saturates at the target's
// limits and maps NaN to 0, so no input makes the conversion undefined.
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>

template <typename I, typename F>
constexpr I saturate_cast(F x)
{
    static_assert(std::is_integral_v<I> && std::is_floating_point_v<F>);
    if (!(x == x))
        return 0;
    // Compare in long double where the limit is exact: the nearest float or
    // double of INT64_MAX rounds up and would let the cast overflow.
    const long double v = static_cast<long double>(x);
    constexpr long double lo = static_cast<long double>(std::numeric_limits<I>::min());
    constexpr long double hi = static_cast<long double>(std::numeric_limits<I>::max());
    if (v <= lo)
        return std::numeric_limits<I>::min();
    if (v >= hi)
        return std::numeric_limits<I>::max();
    return static_cast<I>(x);
}
