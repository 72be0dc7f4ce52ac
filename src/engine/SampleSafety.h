#pragma once
#include <algorithm>
#include <cmath>
#include <cstddef>

namespace sondrel {

// Copies samples for an encoder: NaN and infinities become silence (an encoder's analysis
// can abort the process on them), values beyond full scale are clipped to -1..1.
inline void makeSamplesSafe(const float* in, float* out, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const float v = in[i];
        out[i] = std::isfinite(v) ? std::clamp(v, -1.0f, 1.0f) : 0.0f;
    }
}

} // namespace sondrel
