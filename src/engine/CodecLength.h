#pragma once
// Sample counts of Opus in Ogg and of AAC in any container, found without decoding the stream
// (see SampleCounting.h for the others).
#include <cstdint>
#include <optional>

namespace sondrel {

class InputFile;

// Opus in Ogg: the last page's granule position less the pre-skip of the OpusHead header,
// for streams that start at granule 0 (where libavformat puts the first packet at -pre-skip).
std::optional<std::int64_t> oggOpusCount(InputFile& input, int streamIndex);

// AAC: libavcodec's decoder turns every packet into one whole frame (the encoder's padding at
// the end included) and trims only what the container marks, so the count is packets times
// the frame size of the first decoded frame, less that trimming. Nothing when the decoded
// rate is not the stream's (implicit SBR), or no frame decodes.
// An MP4 file states where an AAC track ends within its last frame (its edit list, or without
// one the duration of its last sample), and the count ends there.
std::optional<std::int64_t> aacFrameCount(InputFile& input, int streamIndex);

// The length of an AAC track in MP4 as the file states it, in samples: libavformat gives the
// stream the length of its edit list (or of its sample durations), which is what its decoder
// leaves untrimmed at the end. Nothing for other containers and codecs, or where the track's
// time scale is not its sample rate.
std::optional<std::int64_t> mp4StatedLength(const InputFile& input, int streamIndex);

} // namespace sondrel
