#pragma once
// The iTunSMPB tag of an M4A file: the encoder's delay, the padding of its last frame and the
// length of the audio, for players that take gapless playback from it rather than from the
// file's edit list.
#include <QString>
#include <cstdint>

namespace sondrel {

// The freeform atom that holds it.
inline constexpr const char* ITunSmpbAtom = "----:com.apple.iTunes:iTunSMPB";

// " 00000000 DDDDDDDD PPPPPPPP LLLLLLLLLLLLLLLL 00000000 ..." (delay, padding, length in
// hexadecimal; twelve fields in all).
QString iTunSmpbText(std::int64_t delay, std::int64_t padding, std::int64_t length);

// Writes the tag into the closed M4A file at path, replacing any there. Throws WriteFailure
// for a failed write, EngineError when the file cannot take it.
void writeITunSmpb(const QString& path, std::int64_t delay, std::int64_t padding, std::int64_t length);

} // namespace sondrel
