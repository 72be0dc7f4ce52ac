#pragma once
// The length of a native FLAC stream from its STREAMINFO block, trusted only when the last
// frame of the file ends exactly there (a cut file, or one with more frames than its header
// states, gets nothing and is counted another way).
#include <cstdint>
#include <optional>

namespace sondrel {

class InputFile;

std::optional<std::int64_t> flacLengthFromStreamInfo(InputFile& input, int streamIndex);

namespace flac {

// One FLAC frame header: where its samples start and how many it holds.
struct FrameHeader {
    std::int64_t number = 0;   // frame number (fixed block size) or first sample (variable)
    bool variable = false;
    int blockSize = 0;
    int length = 0;            // bytes of the header, CRC-8 included
};

// Parses the frame header at data (size bytes available); none unless the sync code, every
// reserved field and the CRC-8 are right.
std::optional<FrameHeader> parseFrameHeader(const std::uint8_t* data, std::size_t size);

// Whether data is one whole frame: a valid header, and the CRC-16 of its last two bytes.
bool frameIsWhole(const std::uint8_t* data, std::size_t size);

} // namespace flac
} // namespace sondrel
