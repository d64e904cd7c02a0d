#include "modem/receiver/detector_settings.h"

#include <cstring>

namespace {

// Written so that NaN fails it.
bool in_unit_range(float x)
{
    return x >= 0.0f && x <= 1.0f;
}

} // namespace

bool detector_settings_valid(const detector_settings *d)
{
    return d != nullptr && in_unit_range(d->noise_smoothing) && in_unit_range(d->noise_subtraction);
}

bool detector_settings_equals(const detector_settings *a, const detector_settings *b)
{
    if (a == nullptr || b == nullptr)
        return false;
    if (!(a->noise_smoothing == b->noise_smoothing && a->noise_subtraction == b->noise_subtraction &&
          a->frontdoor_threshold == b->frontdoor_threshold && a->window_factor == b->window_factor))
        return false;
    if (a->time_shift != b->time_shift || a->curve_points != b->curve_points)
        return false;
    if (a->curve_points == 0)
        return true;
    if (a->curve == nullptr || b->curve == nullptr)
        return a->curve == b->curve;
    return std::memcmp(a->curve, b->curve, 2u * a->curve_points * sizeof(float)) == 0;
}
