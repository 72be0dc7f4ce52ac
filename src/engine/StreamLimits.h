#pragma once
// The decoded streams every writer can take. A file whose stream lies outside them is not
// opened for reading, so every file that opens can also be converted.
namespace sondrel::limits {

inline constexpr int MaxChannels = 8;
// Below 1 kHz there is no audio, only a damaged header: converting such a file would blow a
// few seconds of data up into hours of output.
inline constexpr int MinSampleRate = 1000;
inline constexpr int MaxSampleRate = 768000;

} // namespace sondrel::limits
