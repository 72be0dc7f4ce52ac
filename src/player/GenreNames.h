#pragma once
#include <array>

namespace sondrel {

// The genres the tag editor offers, in the order and count of the extended ID3v1 list.
extern const std::array<const char*, 148> genre_names;

} // namespace sondrel
