#include "LameEncoder.h"

#include "CpuState.h"
#include "EngineError.h"
#include "FfmpegSupport.h"
#include "LameTag.h"

#include <lame/lame.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace sondrel {
namespace {

constexpr std::array<int, 9> kMpegRates{8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};

bool isMpegRate(int rate)
{
    return std::find(kMpegRates.begin(), kMpegRates.end(), rate) != kMpegRates.end();
}

// The MPEG rate for an input that has none: the highest one not above it.
int mpegRateFor(int rate)
{
    int best = kMpegRates.front();
    for (int r : kMpegRates)
        if (r <= rate)
            best = r;
    return best;
}

// The most sample frames handed to LAME per call, and LAME's own rule for the output size.
constexpr int kChunkFrames = 1 << 16;
constexpr std::size_t mp3BufferFor(int frames) { return std::size_t(frames) * 5 / 4 + 7200; }

} // namespace

LameEncoder::LameEncoder(const QString& path, const LameEncSettings& settings)
    : m_path(path), m_settings(settings), m_lame(nullptr, &lame_close)
{
    m_file.reset(std::fopen(ff::localPath(path).c_str(), "wb"));
    if (!m_file)
        throw EngineError(describe("cannot be created (" + std::string(std::strerror(errno)) + ")"));
    std::setvbuf(m_file.get(), nullptr, _IOFBF, 1 << 16);
}

LameEncoder::~LameEncoder() = default;

std::string LameEncoder::describe(const std::string& what) const
{
    return "\"" + m_path.toStdString() + "\" " + what;
}

std::pair<int, int> LameEncoder::defaultInput() const
{
    return {isMpegRate(m_settings.Frequency) ? m_settings.Frequency : 44100,
            m_settings.Channels == 1 ? 1 : 2};
}

void LameEncoder::start(int channels, int rate)
{
    const LameEncSettings& s = m_settings;
    m_channels = (s.Channels == 1 || s.Channels == 2) ? s.Channels : std::min(channels, 2);
    // Frequency 0 follows the input; a rate MP3 cannot carry becomes the nearest below it.
    const int outRate = isMpegRate(s.Frequency) ? s.Frequency : mpegRateFor(s.Frequency > 0 ? s.Frequency : rate);
    m_converter = std::make_unique<SampleConverter>(channels, rate, m_channels, outRate, AV_SAMPLE_FMT_FLT);

    m_lame.reset(lame_init());
    if (!m_lame)
        throw std::bad_alloc();
    lame_t l = m_lame.get();
    lame_set_num_channels(l, m_channels);
    lame_set_in_samplerate(l, outRate);
    lame_set_out_samplerate(l, outRate);
    lame_set_mode(l, m_channels == 1 ? MONO : JOINT_STEREO);
    lame_set_quality(l, std::clamp(s.Quality, 0, 9));
    lame_set_bWriteVbrTag(l, 1);
    lame_set_write_id3tag_automatic(l, 0); // tags are written separately, after encoding
    if (s.VbrDisabled) {
        lame_set_VBR(l, vbr_off);
        lame_set_brate(l, s.Bitrate);
    } else {
        lame_set_VBR(l, vbr_default);
        lame_set_VBR_quality(l, float(std::clamp(s.VbrQuality, 0, 9)));
        if (s.VbrBitrate > 0)
            lame_set_VBR_max_bitrate_kbps(l, s.VbrBitrate);
    }
    if (lame_init_params(l) < 0)
        throw EngineError(describe("cannot be encoded: LAME rejects " + std::to_string(outRate) + " Hz, "
                                   + std::to_string(m_channels) + " channels with these settings"));
    // Where LAME's own tag does not fit (low CBR bit rates), keep room for ours in front.
    if (!lametag::lameWritesTag(lame_get_version(l), lame_get_out_samplerate(l), m_channels,
                                lame_get_VBR(l) != vbr_off, lame_get_brate(l))) {
        const std::vector<unsigned char> room(std::size_t(lametag::infoFrameSize(outRate, m_channels)), 0);
        put(room.data(), room.size());
        m_ownTagBytes = room.size();
        m_streamBytes = 0;
    }
    m_mp3.resize(mp3BufferFor(kChunkFrames));
}

WrittenLength LameEncoder::writtenLength() const
{
    // The LAME tag (or ours) states the encoder's delay and padding: decoders give exactly
    // what LAME was given.
    WrittenLength w{m_framesFed, m_framesIn, m_lame ? lame_get_out_samplerate(m_lame.get()) : 0, 0};
    w.framesAdded = m_silence;
    w.method = CountMethod::Mp3Header;
    return w;
}

void LameEncoder::write(const float* samples, int frames)
{
    if (frames <= 0 || m_finished)
        return;
    if (!m_lame)
        throw EngineError(describe("is not ready: the input format was not set"));
    m_framesFed += frames;
    if (m_converter->passthrough()) {
        encode(samples, frames);
        return;
    }
    const int capacity = m_converter->capacityFor(frames);
    m_converted.resize(std::size_t(capacity) * m_channels);
    auto* out = reinterpret_cast<std::uint8_t*>(m_converted.data());
    const int n = m_converter->convert(samples, frames, &out, capacity);
    encode(m_converted.data(), n);
}

void LameEncoder::encode(const float* pcm, int frames)
{
    m_framesIn += frames;
    while (frames > 0) {
        const int n = std::min(frames, kChunkFrames);
        clearUpperVectorState();
        const int bytes = m_channels == 2
            ? lame_encode_buffer_interleaved_ieee_float(m_lame.get(), pcm, n, m_mp3.data(), int(m_mp3.size()))
            : lame_encode_buffer_ieee_float(m_lame.get(), pcm, pcm, n, m_mp3.data(), int(m_mp3.size()));
        if (bytes < 0)
            throw EngineError(describe("cannot be encoded (LAME error " + std::to_string(bytes) + ")"));
        put(m_mp3.data(), std::size_t(bytes));
        pcm += std::size_t(n) * m_channels;
        frames -= n;
    }
}

void LameEncoder::put(const unsigned char* data, std::size_t size)
{
    if (size > 0 && std::fwrite(data, 1, size, m_file.get()) != size)
        throw EngineError(describe("cannot be written (" + std::string(std::strerror(errno)) + ")"));
    m_streamBytes += size;
}

void LameEncoder::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (!m_lame)
        throw EngineError(describe("is not ready: the input format was not set"));
    if (!m_converter->passthrough()) {
        const int capacity = m_converter->capacityFor(0) + 256;
        m_converted.resize(std::size_t(capacity) * m_channels);
        auto* out = reinterpret_cast<std::uint8_t*>(m_converted.data());
        encode(m_converted.data(), m_converter->flush(&out, capacity));
    }
    padEnd();
    const int bytes = lame_encode_flush(m_lame.get(), m_mp3.data(), int(m_mp3.size()));
    if (bytes < 0)
        throw EngineError(describe("cannot be completed (LAME error " + std::to_string(bytes) + ")"));
    put(m_mp3.data(), std::size_t(bytes));
    writeInfoFrames();
    std::FILE* f = m_file.release();
    const bool failed = std::ferror(f) != 0;
    if (std::fclose(f) != 0 || failed)
        throw EngineError(describe("cannot be completed (" + std::string(std::strerror(errno)) + ")"));
}

void LameEncoder::padEnd()
{
    const int frameSize = lame_get_framesize(m_lame.get());
    // Decoders refuse an MP3 of one frame: give an empty file a frame of silence.
    std::int64_t silence = m_framesIn == 0 ? frameSize : 0;
    // Decoders skip the encoder's delay and their own (529 samples) at the start; with the
    // 576-sample frames below 32 kHz that reaches into the second frame. libavformat marks
    // the trimming at the end on its packet too, and libavcodec then forgets the rest of the
    // skip: a stream that ends in that frame must fill it up with silence.
    const std::int64_t skip = lame_get_encoder_delay(m_lame.get()) + 529;
    if (m_framesIn > 0 && skip > frameSize)
        silence = std::max<std::int64_t>(0, (skip / frameSize + 1) * frameSize - skip - m_framesIn);
    if (silence > 0) {
        const std::vector<float> zeros(std::size_t(silence) * m_channels, 0.0f);
        encode(zeros.data(), int(silence));
        m_silence = silence;
    }
}

void LameEncoder::writeInfoFrames()
{
    // The LAME tag replaces the empty frame LAME put first; or ours fills the room kept.
    std::array<unsigned char, 2880> tag{};
    const std::size_t tagSize = lame_get_lametag_frame(m_lame.get(), tag.data(), tag.size());
    if (tagSize > 0 && tagSize <= tag.size()) {
        if (std::fseek(m_file.get(), long(m_ownTagBytes), SEEK_SET) != 0)
            throw EngineError(describe("cannot be completed (" + std::string(std::strerror(errno)) + ")"));
        put(tag.data(), tagSize);
    }
    if (m_ownTagBytes == 0)
        return;
    lame_t l = m_lame.get();
    lametag::InfoFrame info;
    info.sampleRate = lame_get_out_samplerate(l);
    info.channels = m_channels;
    info.frames = std::uint32_t(lame_get_frameNum(l));
    info.streamBytes = std::uint32_t(m_streamBytes);
    info.encoderDelay = lame_get_encoder_delay(l);
    info.padding = lame_get_encoder_padding(l);
    info.lowpassHz = lame_get_lowpassfreq(l);
    info.cbrKbps = lame_get_brate(l);
    info.quality = 100 - 10 * lame_get_VBR_q(l) - lame_get_quality(l);
    const std::vector<std::uint8_t> frame = lametag::buildInfoFrame(info);
    if (frame.size() != m_ownTagBytes || std::fseek(m_file.get(), 0, SEEK_SET) != 0)
        throw EngineError(describe("cannot be completed (MP3 info frame)"));
    put(frame.data(), frame.size());
}

} // namespace sondrel
