#pragma once
// A source already in the output's codec, copied packet for packet into the output's
// container instead of being decoded and encoded again: the same audio data, the same
// priming and padding where the container marks them (MP3's LAME header, Opus pre-skip, the
// MP4 edit list), so a decoder of the copy gives exactly what the source gives.
#include "AudioEncoder.h"

#include <QString>
#include <atomic>
#include <cstdint>

namespace sondrel {

// The codec an output selection writes, by libavcodec's name ("mp3", "vorbis", "flac",
// "opus", "aac"), when its files can take a copied stream; empty for outputs that are always
// encoded (WAV and WMA, whose settings choose what the samples become).
QString copiedCodecOf(const OutputSelection& selection);

// Whether source's audio stream is in codec and its container hands over all that the
// output's container needs to carry it as it is. Opens only the source's headers. Never
// throws: a source that cannot be opened is not copied (encoding reports why).
bool canCopyStream(const QString& source, const QString& codec);

// Copies the audio stream of source into a new file at path in the container of codec.
// decodedFrames and rate are the source's decoded length and rate: the copy's length as the
// output gate must find it. Throws EngineError when the source is not in codec or cannot be
// copied, CancelledError once cancel is set; the file at path is then the caller's to remove.
WrittenLength copyStream(const QString& source, const QString& path, const QString& codec,
                         std::int64_t decodedFrames, int rate, const std::atomic<bool>* cancel = nullptr);

} // namespace sondrel
