// Kept apart from the other vector operations: a build that replaces those may
// still use this portable search.
#include "dsp/backend/dsp_backend.h"

#include <cfloat>

// Strict < against a running minimum that starts at FLT_MAX: the first of equal
// smallest values wins, NaN is never chosen, and when nothing is below FLT_MAX
// the caller's index is left as it was while *min reads FLT_MAX. Positions are
// reported in 32 bits.
void vector_min_index(const float *v, uint64_t count, uint32_t *index, float *min)
{
    if (count == 0)
        return;
    float best = FLT_MAX;
    bool found = false;
    uint32_t at = 0;
    for (uint64_t i = 0; i < count; ++i) {
        if (v[i] < best) {
            best = v[i];
            at = static_cast<uint32_t>(i);
            found = true;
        }
    }
    *min = best;
    if (found)
        *index = at;
}
