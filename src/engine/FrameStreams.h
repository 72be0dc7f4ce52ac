#pragma once
// Audio streams without a container header (MPEG audio, ADTS AAC, AC-3 and E-AC-3) known by
// their frames: each frame header states the frame's size, so the next header sits where
// that size says. Random bytes almost never chain like that; audio always does.
#include <cstdint>

struct AVIOContext;

namespace sondrel {

// Whether three MPEG audio frames of one kind follow each other from offset on: what an MP3
// (or MP2) stream looks like, and what no other container's start does by chance.
bool mpegFramesAt(AVIOContext* io, std::int64_t offset);

// For the demuxer a content probe named (libavformat's "mp3", "aac", "ac3" or "eac3"):
// whether, somewhere in the 64 KiB from offset on, frames of that kind follow each other
// three times, or to the end of the file. False for any other demuxer. The reading position
// is back at 0 afterwards.
bool frameStreamNear(AVIOContext* io, std::int64_t offset, const char* demuxer);

} // namespace sondrel
