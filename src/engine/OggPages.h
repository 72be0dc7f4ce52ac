#pragma once
// Reading Ogg page headers directly: which logical streams a file starts, and the last
// granule position a stream reached. Both leave the reading position where it was.
#include <cstdint>
#include <optional>
#include <vector>

struct AVIOContext;

namespace sondrel::ogg {

// Serial numbers of the streams begun at the start of the file, in order (the order in
// which libavformat numbers them).
std::vector<std::uint32_t> startSerials(AVIOContext* io);

// Granule position of the last complete page (valid checksum) of stream `serial` that has
// one, searched in the last `window` bytes of the file.
std::optional<std::int64_t> lastGranule(AVIOContext* io, std::uint32_t serial, std::int64_t window = 256 * 1024);

} // namespace sondrel::ogg
