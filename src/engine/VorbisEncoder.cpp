#include "VorbisEncoder.h"

#include "CpuState.h"
#include "EngineError.h"
#include "FfmpegSupport.h"

#include <vorbis/vorbisenc.h>

#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sondrel {
namespace {

// Bit rates in kbps as libvorbisenc wants them: bits/s, -1 for "no limit".
long bitsPerSecond(int kbps)
{
    return kbps > 0 ? long(kbps) * 1000 : -1;
}

// Samples handed to the analysis at a time, as oggenc does.
constexpr int kBlockFrames = 1024;

} // namespace

bool vorbisManagedSupported(int rate, int channels, int kbps, int maxKbps, int minKbps)
{
    if (rate <= 0 || channels <= 0)
        return false;
    vorbis_info vi;
    vorbis_info_init(&vi);
    const int rc = vorbis_encode_setup_managed(&vi, channels, rate, bitsPerSecond(maxKbps), bitsPerSecond(kbps),
                                               bitsPerSecond(minKbps));
    vorbis_info_clear(&vi);
    return rc == 0;
}

float vorbisQuality(int quality)
{
    return 1.0f - 1.1f * float(std::clamp(quality, 0, 1000)) / 1000.0f;
}

struct VorbisEncoder::State {
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    ogg_stream_state stream;
    bool hasDsp = false, hasBlock = false, hasStream = false;

    State()
    {
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    ~State()
    {
        if (hasStream)
            ogg_stream_clear(&stream);
        if (hasBlock)
            vorbis_block_clear(&block);
        if (hasDsp)
            vorbis_dsp_clear(&dsp);
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
};

VorbisEncoder::VorbisEncoder(const QString& path, const OggOutput& output) : m_path(path), m_output(output)
{
    m_file.reset(std::fopen(ff::localPath(path).c_str(), "wb"));
    if (!m_file)
        throw EngineError(describe("cannot be created (" + std::string(std::strerror(errno)) + ")"));
    std::setvbuf(m_file.get(), nullptr, _IOFBF, 1 << 16);
}

VorbisEncoder::~VorbisEncoder() = default;

std::string VorbisEncoder::describe(const std::string& what) const
{
    return "\"" + m_path.toStdString() + "\" " + what;
}

std::pair<int, int> VorbisEncoder::defaultInput() const
{
    return {m_output.rate > 0 ? m_output.rate : 44100, m_output.channels > 0 ? m_output.channels : 2};
}

void VorbisEncoder::start(int channels, int rate)
{
    const int outRate = m_output.rate > 0 ? m_output.rate : rate;
    const int outChannels = m_output.channels > 0 ? m_output.channels : channels;
    m_state = std::make_unique<State>();
    State& s = *m_state;
    int rc;
    std::string mode;
    if (m_output.quality >= 0) {
        const float q = vorbisQuality(m_output.quality);
        rc = vorbis_encode_init_vbr(&s.info, outChannels, outRate, q);
        mode = "quality " + std::to_string(q);
    } else {
        rc = vorbis_encode_init(&s.info, outChannels, outRate, bitsPerSecond(m_output.maxKbps),
                                bitsPerSecond(m_output.kbps), bitsPerSecond(m_output.minKbps));
        mode = std::to_string(m_output.kbps) + " kbps (max " + std::to_string(m_output.maxKbps) + ", min "
               + std::to_string(m_output.minKbps) + ")";
    }
    if (rc != 0)
        throw EngineError(describe("cannot be encoded: libvorbis does not support " + std::to_string(outRate) + " Hz, "
                                   + std::to_string(outChannels) + " channels at " + mode));
    if (vorbis_analysis_init(&s.dsp, &s.info) != 0)
        throw EngineError(describe("cannot be encoded (libvorbis set-up failed)"));
    s.hasDsp = true;
    vorbis_block_init(&s.dsp, &s.block);
    s.hasBlock = true;
    ogg_stream_init(&s.stream, int(QRandomGenerator::global()->generate() & 0x7fffffff));
    s.hasStream = true;

    ogg_packet ident, comments, codebooks;
    vorbis_analysis_headerout(&s.dsp, &s.comment, &ident, &comments, &codebooks);
    ogg_stream_packetin(&s.stream, &ident);
    ogg_stream_packetin(&s.stream, &comments);
    ogg_stream_packetin(&s.stream, &codebooks);
    writePages(true); // audio starts on a page of its own

    m_converter = std::make_unique<SampleConverter>(channels, rate, outChannels, outRate, AV_SAMPLE_FMT_FLTP);
}

WrittenLength VorbisEncoder::writtenLength() const
{
    // The last granule position is the exact length.
    WrittenLength w{m_framesFed, m_framesEncoded, m_converter ? m_converter->outRate() : 0, 0};
    w.method = CountMethod::OggGranule;
    return w;
}

void VorbisEncoder::write(const float* samples, int frames)
{
    if (frames <= 0 || m_finished)
        return;
    if (!m_state)
        throw EngineError(describe("is not ready: the input format was not set"));
    m_framesFed += frames;
    const int capacity = m_converter->capacityFor(frames);
    stage(capacity, [&](std::uint8_t** planes) { return m_converter->convert(samples, frames, planes, capacity); });
    feed(false);
}

template <typename Convert>
void VorbisEncoder::stage(int capacity, Convert convert)
{
    const int channels = m_converter->outChannels();
    m_staged.resize(std::size_t(channels));
    std::vector<std::uint8_t*> planes(static_cast<std::size_t>(channels));
    for (int c = 0; c < channels; ++c) {
        auto& plane = m_staged[std::size_t(c)];
        if (plane.size() < std::size_t(m_stagedFrames + capacity))
            plane.resize(std::size_t(m_stagedFrames + capacity));
        planes[std::size_t(c)] = reinterpret_cast<std::uint8_t*>(plane.data() + m_stagedFrames);
    }
    const int converted = std::max(0, convert(planes.data()));
    m_stagedFrames += converted;
    m_framesEncoded += converted;
}

void VorbisEncoder::feed(bool all)
{
    // libvorbis decides its block sizes from what it has been given so far, so its output
    // depends on how the samples arrive: hand them over in blocks of a fixed size (as
    // oggenc does), whatever the caller's chunks.
    const int channels = m_converter->outChannels();
    int done = 0;
    while (m_stagedFrames - done >= kBlockFrames || (all && m_stagedFrames > done)) {
        const int n = std::min(kBlockFrames, m_stagedFrames - done);
        float** buffer = vorbis_analysis_buffer(&m_state->dsp, n);
        for (int c = 0; c < channels; ++c)
            std::memcpy(buffer[c], m_staged[std::size_t(c)].data() + done, std::size_t(n) * sizeof(float));
        vorbis_analysis_wrote(&m_state->dsp, n);
        pump();
        done += n;
    }
    if (done > 0) {
        for (auto& plane : m_staged)
            std::memmove(plane.data(), plane.data() + done, std::size_t(m_stagedFrames - done) * sizeof(float));
        m_stagedFrames -= done;
    }
}

void VorbisEncoder::pump()
{
    State& s = *m_state;
    ogg_packet packet;
    clearUpperVectorState();
    while (vorbis_analysis_blockout(&s.dsp, &s.block) == 1) {
        vorbis_analysis(&s.block, nullptr);
        vorbis_bitrate_addblock(&s.block);
        while (vorbis_bitrate_flushpacket(&s.dsp, &packet) == 1) {
            ogg_stream_packetin(&s.stream, &packet);
            writePages(false);
        }
    }
}

void VorbisEncoder::writePages(bool flush)
{
    ogg_page page;
    while ((flush ? ogg_stream_flush(&m_state->stream, &page) : ogg_stream_pageout(&m_state->stream, &page)) != 0) {
        if (std::fwrite(page.header, 1, std::size_t(page.header_len), m_file.get()) != std::size_t(page.header_len)
            || std::fwrite(page.body, 1, std::size_t(page.body_len), m_file.get()) != std::size_t(page.body_len))
            throw EngineError(describe("cannot be written (" + std::string(std::strerror(errno)) + ")"));
    }
}

void VorbisEncoder::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (!m_state)
        throw EngineError(describe("is not ready: the input format was not set"));
    // What the resampler still holds, then whatever is staged.
    const int capacity = m_converter->capacityFor(0) + 256;
    stage(capacity, [&](std::uint8_t** planes) { return m_converter->flush(planes, capacity); });
    feed(true);
    vorbis_analysis_wrote(&m_state->dsp, 0); // the end: the last page carries the exact length
    pump();
    writePages(true);
    std::FILE* f = m_file.release();
    const bool failed = std::ferror(f) != 0;
    if (std::fclose(f) != 0 || failed)
        throw EngineError(describe("cannot be completed (" + std::string(std::strerror(errno)) + ")"));
}

} // namespace sondrel
