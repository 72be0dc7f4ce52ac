#pragma once
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace sondrel {

// Copies samples for an encoder: NaN and infinities become silence (an encoder's analysis
// can abort the process on them), values beyond full scale are clipped to -1..1.
// Written without branches, so that the compiler turns it into vector instructions.
inline void makeSamplesSafe(const float* in, float* out, std::size_t count)
{
    constexpr float largest = std::numeric_limits<float>::max();
    for (std::size_t i = 0; i < count; ++i) {
        const float v = in[i];
        const float clipped = v < -1.0f ? -1.0f : (v > 1.0f ? 1.0f : v);
        out[i] = std::fabs(v) <= largest ? clipped : 0.0f; // false for NaN and infinities
    }
}

} // namespace sondrel
