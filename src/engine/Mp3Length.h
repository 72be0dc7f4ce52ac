#pragma once
// The length of an MP3 stream (samples per channel the decoder delivers) without decoding or
// demuxing it: from its Xing/Info/VBRI header where that can be trusted, or by walking its
// frame headers where it has none. Both leave the input's reading position unchanged and
// give nothing when the file does not meet their conditions.
#include <cstdint>
#include <optional>

namespace sondrel {

class InputFile;

std::optional<std::int64_t> mp3LengthFromHeader(InputFile& input, int streamIndex);
std::optional<std::int64_t> mp3LengthFromFrames(InputFile& input, int streamIndex);

} // namespace sondrel
