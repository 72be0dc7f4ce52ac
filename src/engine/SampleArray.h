#pragma once
#include <vector>

namespace sondrel {

// One chunk of decoded audio: interleaved float samples in -1..1. An empty array marks the
// end of the source.
using SampleArray = std::vector<float>;

} // namespace sondrel
