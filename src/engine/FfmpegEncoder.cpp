#include "FfmpegEncoder.h"

#include "EngineError.h"
#include "Mp4Gapless.h"

#include <algorithm>
#include <cstring>

namespace sondrel {
namespace {

// ASF packet layout of libavformat's muxer: a packet header with multiple payloads, then per
// payload a header and the data. Audio payloads are never split, so a packet size that holds
// a whole number of wmav2 blocks wastes nothing (the default of 3200 bytes pads a 1857-byte
// 320 kbps block to 3200 and inflates the file by 70 %).
constexpr int kAsfPacketHeader = 16;
constexpr int kAsfPayloadHeader = 17;
constexpr int kAsfPacketTarget = 8192;
constexpr int kAsfMaxPayloads = 63;

int asfPacketSize(int blockAlign)
{
    const int per = blockAlign + kAsfPayloadHeader;
    const int count = std::clamp((kAsfPacketTarget - kAsfPacketHeader) / std::max(per, 1), 1, kAsfMaxPayloads);
    return std::clamp(kAsfPacketHeader + count * per, 100, 65536);
}

// The encoder's own rate when it has a list: the input's rate if listed, else the next
// higher one it has, else its highest (44.1 kHz for Opus becomes 48 kHz).
int supportedRate(const AVCodec* codec, int rate)
{
    const int* rates = codec->supported_samplerates;
    if (!rates)
        return rate;
    int above = 0, highest = 0;
    for (; *rates; ++rates) {
        if (*rates == rate)
            return rate;
        if (*rates > rate && (above == 0 || *rates < above))
            above = *rates;
        highest = std::max(highest, *rates);
    }
    return above > 0 ? above : highest;
}

// The encoder's layout for a channel count: the usual one if it takes it, else the first it
// lists with as many channels (the samples keep their order), else none.
bool chooseLayout(const AVCodec* codec, int channels, AVChannelLayout* out)
{
    av_channel_layout_default(out, channels);
    const AVChannelLayout* layouts = codec->ch_layouts;
    if (!layouts)
        return true;
    for (const AVChannelLayout* l = layouts; l->nb_channels; ++l)
        if (av_channel_layout_compare(l, out) == 0)
            return true;
    for (const AVChannelLayout* l = layouts; l->nb_channels; ++l)
        if (l->nb_channels == channels) {
            av_channel_layout_uninit(out);
            av_channel_layout_copy(out, l);
            return true;
        }
    return false;
}

} // namespace

FfmpegEncoder::FfmpegEncoder(const QString& path, const FfmpegTarget& target) : m_path(path), m_target(target)
{
    ff::quietLogs();
    AVIOContext* io = nullptr;
    const int rc = avio_open(&io, ff::localPath(path).c_str(), AVIO_FLAG_WRITE);
    if (rc < 0)
        throw EngineError(describe("cannot be created (" + ff::errorText(rc) + ")"));
    m_io.reset(io);
}

FfmpegEncoder::~FfmpegEncoder() = default;

std::string FfmpegEncoder::describe(const std::string& what) const
{
    return "\"" + m_path.toStdString() + "\" " + what;
}

std::pair<int, int> FfmpegEncoder::defaultInput() const
{
    return {m_target.rate > 0 ? m_target.rate : 44100, m_target.channels > 0 ? m_target.channels : 2};
}

namespace {

// Where a reader finds the length of a file of this codec (in its container).
CountMethod lengthMethodOf(AVCodecID codec)
{
    switch (codec) {
    case AV_CODEC_ID_FLAC: return CountMethod::FlacHeader;
    case AV_CODEC_ID_OPUS: return CountMethod::OggGranule;
    case AV_CODEC_ID_AAC: return CountMethod::AacFrames;
    case AV_CODEC_ID_WMAV2: return CountMethod::PacketScan;
    default: return CountMethod::WavHeader; // PCM in WAV
    }
}

} // namespace

void FfmpegEncoder::start(int channels, int rate)
{
    const AVCodec* codec = m_target.encoder ? avcodec_find_encoder_by_name(m_target.encoder)
                                            : avcodec_find_encoder(m_target.codec);
    if (!codec)
        throw EngineError(describe("cannot be written: no encoder for "
                                   + std::string(m_target.encoder ? m_target.encoder : avcodec_get_name(m_target.codec))));
    int wanted = m_target.rate > 0 ? m_target.rate : rate;
    if (m_target.rate <= 0 && m_target.highestFollowedRate > 0)
        wanted = std::min(wanted, m_target.highestFollowedRate);
    int outRate = supportedRate(codec, wanted);
    if (m_target.codec == AV_CODEC_ID_FLAC && outRate > 655350)
        outRate = 384000; // beyond what a FLAC header can state
    if (m_target.followSourceBits > 0) {
        const int bits = m_sourceBits > 16 ? 24 : m_sourceBits > 0 ? 16 : m_target.followSourceBits;
        m_target.sampleFormat = bits > 16 ? AV_SAMPLE_FMT_S32 : AV_SAMPLE_FMT_S16;
        m_target.rawBits = bits > 16 ? 24 : 0;
    }
    const int outChannels = setUpEncoder(codec, outRate, m_target.channels > 0 ? m_target.channels : channels);
    openMuxer();
    openEncoder(codec);
    writeHeader();

    AVCodecContext* enc = m_encoder.get();
    m_converter = std::make_unique<SampleConverter>(channels, rate, outChannels, outRate, m_target.sampleFormat,
                                                    reducesDepth(channels, rate, outChannels, outRate));
    const bool fixedFrames = !(codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) && enc->frame_size > 0;
    m_frameSize = fixedFrames ? enc->frame_size : 0;
    if (m_frameSize > 0) {
        m_fifo.reset(av_audio_fifo_alloc(m_target.sampleFormat, outChannels, m_frameSize * 2));
        if (!m_fifo)
            throw std::bad_alloc();
    }
    if (m_target.codec == AV_CODEC_ID_WMAV2) {
        // wmav2's first frame only primes its transform: the decoder never outputs it. A
        // frame of silence in front keeps every source sample at its place.
        m_addedFrames = m_frameSize;
        writeSilence(m_frameSize);
    }
}

int FfmpegEncoder::outputBits() const
{
    switch (m_target.codec) {
    case AV_CODEC_ID_FLAC: return m_target.rawBits > 0 ? m_target.rawBits : 16;
    case AV_CODEC_ID_PCM_U8:
    case AV_CODEC_ID_PCM_S16LE:
    case AV_CODEC_ID_PCM_S24LE:
    case AV_CODEC_ID_PCM_S32LE: return av_get_bits_per_sample(m_target.codec);
    default: return 0;
    }
}

bool FfmpegEncoder::reducesDepth(int inChannels, int inRate, int outChannels, int outRate) const
{
    const int bits = outputBits();
    if (bits == 0 || bits > 16)
        return false;
    // Samples that are on the output's grid already (a source of no more bits, copied or
    // only widened to more channels) are written exactly; anything else is rounded.
    const bool onGrid = m_sourceBits > 0 && m_sourceBits <= bits && inRate == outRate && outChannels >= inChannels;
    return !onGrid;
}

int FfmpegEncoder::setUpEncoder(const AVCodec* codec, int outRate, int outChannels)
{
    m_encoder.reset(avcodec_alloc_context3(codec));
    if (!m_encoder)
        throw std::bad_alloc();
    AVCodecContext* enc = m_encoder.get();
    enc->sample_fmt = m_target.sampleFormat;
    enc->sample_rate = outRate;
    if (!chooseLayout(codec, outChannels, &enc->ch_layout)) {
        // More channels than the encoder takes: stereo.
        outChannels = 2;
        chooseLayout(codec, outChannels, &enc->ch_layout);
    }
    enc->bit_rate = m_target.bitRate;
    enc->time_base = AVRational{1, outRate};
    if (m_target.rawBits > 0)
        enc->bits_per_raw_sample = m_target.rawBits;
    if (m_target.compressionLevel >= 0)
        enc->compression_level = m_target.compressionLevel;
    return outChannels;
}

void FfmpegEncoder::openMuxer()
{
    AVFormatContext* oc = nullptr;
    const int rc = avformat_alloc_output_context2(&oc, nullptr, m_target.muxer, nullptr);
    if (rc < 0 || !oc)
        throw EngineError(describe("cannot be written as " + std::string(m_target.muxer)));
    m_muxer.reset(oc);
    oc->pb = m_io.get();
    // No "encoder" text of the muxer's own: in WAV it becomes an INFO chunk behind the audio,
    // and the tags written after closing would then make TagLib move the whole file.
    oc->flags |= AVFMT_FLAG_BITEXACT;
    if (oc->oformat->flags & AVFMT_GLOBALHEADER)
        m_encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
}

void FfmpegEncoder::openEncoder(const AVCodec* codec)
{
    AVCodecContext* enc = m_encoder.get();
    AVDictionary* codecOptions = nullptr;
    if (m_target.rateControl)
        av_dict_set(&codecOptions, "vbr", m_target.rateControl, 0);
    int rc = avcodec_open2(enc, codec, &codecOptions);
    av_dict_free(&codecOptions);
    if (rc < 0)
        throw EngineError(describe("cannot be encoded as " + std::string(codec->name) + " at "
                                   + std::to_string(enc->sample_rate) + " Hz, "
                                   + std::to_string(enc->ch_layout.nb_channels) + " channels (" + ff::errorText(rc) + ")"));
    AVStream* st = avformat_new_stream(m_muxer.get(), nullptr);
    if (!st)
        throw std::bad_alloc();
    rc = avcodec_parameters_from_context(st->codecpar, enc);
    if (rc < 0)
        throw EngineError(describe("cannot be written (" + ff::errorText(rc) + ")"));
    st->time_base = enc->time_base;
}

void FfmpegEncoder::writeHeader()
{
    AVDictionary* options = nullptr;
    if (std::strcmp(m_target.muxer, "asf") == 0)
        av_dict_set_int(&options, "packet_size", asfPacketSize(m_encoder->block_align), 0);
    if (std::strcmp(m_target.muxer, "wav") == 0)
        av_dict_set(&options, "rf64", "auto", 0); // past 4 GiB the file becomes RF64
    // The edit list that marks the encoder's delay states the audio's length in the movie's
    // time scale. In milliseconds (the default) it ends the track up to a millisecond early,
    // which drops the last frame or, for a source shorter than that, all of it.
    if (std::strcmp(m_target.muxer, "ipod") == 0)
        av_dict_set_int(&options, "movie_timescale", m_encoder->sample_rate, 0);
    const int rc = avformat_write_header(m_muxer.get(), &options);
    av_dict_free(&options);
    if (rc < 0)
        throw EngineError(describe("cannot be written (" + ff::errorText(rc) + ")"));
}

WrittenLength FfmpegEncoder::writtenLength() const
{
    WrittenLength w;
    w.framesFed = m_framesFed;
    // (wmav2's priming frame comes out as the frame of silence added at its end.)
    w.framesEncoded = m_sourceFrames + m_addedFrames;
    w.framesAdded = m_addedFrames;
    w.outputRate = m_converter ? m_converter->outRate() : 0;
    if (m_target.codec == AV_CODEC_ID_OPUS && w.outputRate > 0) {
        // Opus is encoded at 8 to 48 kHz but always decoded at 48 kHz, a whole multiple.
        w.framesEncoded *= 48000 / w.outputRate;
        w.framesAdded *= 48000 / w.outputRate;
        w.outputRate = 48000;
    }
    w.method = lengthMethodOf(m_target.codec);
    w.outputChannels = m_converter ? m_converter->outChannels() : 0;
    w.outputBits = outputBits();
    // M4A states its exact length (edit list, iTunSMPB); ASF cannot mark wmav2's end fill.
    w.slack = m_endFill;
    return w;
}

void FfmpegEncoder::write(const float* samples, int frames)
{
    if (frames <= 0 || m_finished)
        return;
    if (!m_encoder)
        throw EngineError(describe("is not ready: the input format was not set"));
    m_framesFed += frames;
    const int outChannels = m_converter->outChannels();
    const int capacity = m_converter->capacityFor(frames);
    if (capacity <= 0)
        return;
    if (m_frameSize == 0) {
        // PCM: any frame size; convert straight into the frame.
        av_frame_unref(m_frame.get());
        m_frame->format = m_target.sampleFormat;
        m_frame->sample_rate = m_converter->outRate();
        av_channel_layout_default(&m_frame->ch_layout, outChannels);
        m_frame->nb_samples = capacity;
        const int rc = av_frame_get_buffer(m_frame.get(), 0);
        if (rc < 0)
            throw std::bad_alloc();
        const int n = m_converter->convert(samples, frames, m_frame->extended_data, capacity);
        if (n > 0) {
            m_frame->nb_samples = n;
            m_sourceFrames += n;
            send(m_frame.get());
        }
        return;
    }
    // Fixed frame sizes: through the FIFO.
    const bool planar = av_sample_fmt_is_planar(m_target.sampleFormat);
    const int planes = planar ? outChannels : 1;
    const std::size_t bytes = std::size_t(capacity) * av_get_bytes_per_sample(m_target.sampleFormat) * (planar ? 1 : outChannels);
    m_scratch.resize(std::size_t(planes));
    m_scratchPlanes.resize(std::size_t(planes));
    for (int p = 0; p < planes; ++p) {
        if (m_scratch[size_t(p)].size() < bytes)
            m_scratch[size_t(p)].resize(bytes);
        m_scratchPlanes[size_t(p)] = m_scratch[size_t(p)].data();
    }
    const int n = m_converter->convert(samples, frames, m_scratchPlanes.data(), capacity);
    m_sourceFrames += n;
    writeConverted(m_scratchPlanes.data(), n);
}

void FfmpegEncoder::writeConverted(const std::uint8_t* const* planes, int frames)
{
    if (frames <= 0)
        return;
    if (av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void**>(const_cast<std::uint8_t**>(planes)), frames) < frames)
        throw std::bad_alloc();
    encodeFromFifo(false);
}

void FfmpegEncoder::writeSilence(std::int64_t frames)
{
    if (frames <= 0 || !m_fifo)
        return;
    const int outChannels = m_converter->outChannels();
    const int chunk = 4096;
    const ff::SampleBufferPtr owner = ff::makeSampleBuffer(outChannels, chunk, m_target.sampleFormat);
    uint8_t** silence = owner.get();
    av_samples_set_silence(silence, 0, chunk, outChannels, m_target.sampleFormat);
    while (frames > 0) {
        const int n = int(std::min<std::int64_t>(frames, chunk));
        writeConverted(silence, n);
        frames -= n;
    }
}

void FfmpegEncoder::prepareFrame(int samples)
{
    av_frame_unref(m_frame.get());
    m_frame->format = m_target.sampleFormat;
    m_frame->sample_rate = m_converter->outRate();
    av_channel_layout_copy(&m_frame->ch_layout, &m_encoder->ch_layout);
    m_frame->nb_samples = samples;
    if (av_frame_get_buffer(m_frame.get(), 0) < 0)
        throw std::bad_alloc();
}

void FfmpegEncoder::encodeFromFifo(bool all)
{
    AVAudioFifo* fifo = m_fifo.get();
    while (av_audio_fifo_size(fifo) >= m_frameSize || (all && av_audio_fifo_size(fifo) > 0)) {
        const int n = std::min(av_audio_fifo_size(fifo), m_frameSize);
        prepareFrame(n);
        if (av_audio_fifo_read(fifo, reinterpret_cast<void**>(m_frame->extended_data), n) < n)
            throw EngineError(describe("cannot be written (sample buffer)"));
        send(m_frame.get());
    }
}

void FfmpegEncoder::send(AVFrame* frame)
{
    if (frame) {
        frame->pts = m_nextPts;
        m_nextPts += frame->nb_samples;
    }
    int rc = avcodec_send_frame(m_encoder.get(), frame);
    if (rc < 0 && rc != AVERROR_EOF)
        throw EngineError(describe("cannot be encoded (" + ff::errorText(rc) + ")"));
    AVStream* st = m_muxer->streams[0];
    while ((rc = avcodec_receive_packet(m_encoder.get(), m_packet.get())) == 0) {
        av_packet_rescale_ts(m_packet.get(), m_encoder->time_base, st->time_base);
        m_packet->stream_index = 0;
        m_packetSamples += m_frameSize;
        rc = av_write_frame(m_muxer.get(), m_packet.get());
        av_packet_unref(m_packet.get());
        if (rc < 0)
            throw EngineError(describe("cannot be written (" + ff::errorText(rc) + ")"));
    }
    if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF)
        throw EngineError(describe("cannot be encoded (" + ff::errorText(rc) + ")"));
}

void FfmpegEncoder::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (!m_encoder)
        throw EngineError(describe("is not ready: the input format was not set"));
    flushConverter();
    if (m_frameSize > 0) {
        padLastFrames();
        encodeFromFifo(true);
    }
    send(nullptr);
    const int rc = av_write_trailer(m_muxer.get());
    if (rc < 0)
        throw EngineError(describe("cannot be completed (" + ff::errorText(rc) + ")"));
    closeFile();
    if (std::strcmp(m_target.muxer, "ipod") == 0) {
        // The edit list already ends the track at the source's last sample; the tag says the
        // same for players that read only it. Every packet decodes to a whole frame.
        const std::int64_t length = m_sourceFrames + m_addedFrames;
        const std::int64_t delay = m_encoder->initial_padding;
        writeITunSmpb(m_path, delay, std::max<std::int64_t>(0, m_packetSamples - delay - length), length);
    }
}

void FfmpegEncoder::flushConverter()
{
    if (m_converter->passthrough())
        return;
    const int outChannels = m_converter->outChannels();
    const int capacity = m_converter->capacityFor(0) + 256;
    const ff::SampleBufferPtr owner = ff::makeSampleBuffer(outChannels, capacity, m_target.sampleFormat);
    uint8_t** buf = owner.get();
    const int n = m_converter->flush(buf, capacity);
    if (n <= 0)
        return;
    m_sourceFrames += n;
    if (m_frameSize > 0) {
        writeConverted(buf, n);
        return;
    }
    prepareFrame(n);
    av_samples_copy(m_frame->extended_data, buf, 0, 0, n, outChannels, m_target.sampleFormat);
    send(m_frame.get());
}

void FfmpegEncoder::padLastFrames()
{
    if (m_sourceFrames == 0 && m_target.codec != AV_CODEC_ID_WMAV2) {
        // An Ogg Opus or M4A file without a single packet is not one decoders open (Opus
        // would not even get the page that ends its stream): give an empty input a frame of
        // silence.
        m_addedFrames += m_frameSize;
        writeSilence(m_frameSize);
    }
    if (m_target.codec == AV_CODEC_ID_WMAV2) {
        // wmav2 takes whole frames only, and a frame decodes completely only together with the
        // next one (overlapping transforms): complete the last partial frame with silence and
        // add one frame of silence. ASF cannot say where the audio ends, so the file is longer
        // than the source by less than two frames of silence.
        const std::int64_t queued = m_frameSize + m_sourceFrames;
        const std::int64_t fill = (m_frameSize - queued % m_frameSize) % m_frameSize;
        m_endFill = fill;
        writeSilence(fill + m_frameSize);
    }
}

void FfmpegEncoder::closeFile()
{
    AVIOContext* io = m_io.release();
    m_muxer->pb = nullptr;
    // A failed write of the last buffered bytes is only in the context's error.
    avio_flush(io);
    if (io->error < 0) {
        const int error = io->error;
        avio_closep(&io);
        throw EngineError(describe("cannot be completed (" + ff::errorText(error) + ")"));
    }
    const int rc = avio_closep(&io);
    if (rc < 0)
        throw EngineError(describe("cannot be completed (" + ff::errorText(rc) + ")"));
}

} // namespace sondrel
