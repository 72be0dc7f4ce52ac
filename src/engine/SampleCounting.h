#pragma once
// How many samples per channel a decode of an input will deliver, found without decoding
// where the file allows it (reading goes to the real end of the stream whatever the count;
// the count is what the list shows and what progress is measured against):
//   - Matroska/WebM (any codec), and MP4 tracks whose time scale is not their sample rate:
//     a full decode, because their time stamps are rounded or say nothing about samples;
//   - PCM in WAV/RF64: the data chunk's size, limited to the bytes really present;
//   - MP3 whose Xing/Info/VBRI header agrees with the data: frame count, encoder delay and
//     padding from the header;
//   - MP3 without a VBR header whose frames follow each other cleanly: a walk over the frame
//     headers;
//   - FLAC whose STREAMINFO total agrees with the last frame of the file: that total;
//   - Vorbis in Ogg: the last granule position, less where the first packet ends;
//   - Opus in Ogg: the last granule position less the pre-skip;
//   - AAC: packets times the decoder's frame size, less the trimming the container marks;
//   - MP3 (without such a header, or cut), Vorbis, FLAC, ALAC, WavPack, PCM in other
//     containers: a pass over the packets without decoding (packet durations and the
//     trimming data libavformat attaches), where the time base counts whole samples;
//   - WMA without the bit reservoir (what libavcodec writes): one frame per packet;
//   - anything else (WMA with the bit reservoir, WMA Pro and Lossless, AC-3, Opus outside
//     Ogg, ...): a full decode, because their packets do not tell how many samples they hold.
// The packet rules follow what libavcodec does with the trimming side data, so the figure is
// the decoder's real output for undamaged files.
#include <QString>
#include <cstdint>

struct AVFormatContext;

namespace sondrel {

class InputFile;

// The trimming libavcodec applies to decoded audio from AV_PKT_DATA_SKIP_SAMPLES: a packet
// carrying that data sets the samples still to skip at the start (replacing any left over)
// and the padding to drop from its own end; padding larger than the frame is ignored.
class TrimModel {
public:
    // One packet that decodes to `samples` samples (0 if none), with or without side data.
    void add(std::int64_t samples, bool hasSideData = false, std::int64_t skip = 0, std::int64_t discard = 0);
    std::int64_t total() const { return m_total; }

private:
    std::int64_t m_skip = 0;
    std::int64_t m_total = 0;
};

enum class CountMethod { WavHeader, Mp3Header, Mp3Frames, FlacHeader, OggGranule, AacFrames, PacketScan, FullDecode, NotCounted };

struct SampleCount {
    std::int64_t samples = 0;
    CountMethod method = CountMethod::FullDecode;
};

// Counts the samples of stream streamIndex of input, which must not have been read from yet
// (the reading position of input is left where it was). May open the file a second time.
// Throws EngineError.
SampleCount countSamples(InputFile& input, int streamIndex);

// Only the count that reading itself needs: the last granule position of Vorbis and Opus in
// Ogg, where the stream's end is trimmed. Every other stream is read to its decoder's end and
// is not counted here (0 samples, NotCounted): for a reader that needs no length, such as
// playing, which must not wait for the full decode some containers need.
SampleCount countForReading(InputFile& input, int streamIndex);

// The count by a full decode of a second opening of the file (always exact, always slow).
std::int64_t countByDecoding(InputFile& input, int streamIndex);

const char* methodName(CountMethod method);

} // namespace sondrel
