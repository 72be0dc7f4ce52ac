#include "AudioDecoder.h"

#include "CodecLength.h"
#include "EngineError.h"
#include "StreamLimits.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/intreadwrite.h>
}

namespace sondrel {
namespace {

// The most sample frames one read hands out, so a huge request cannot ask for gigabytes.
constexpr std::int64_t kMaxReadFrames = 1 << 20;

// Past its last granule position an Ogg stream holds at most the padding of its last block
// (a Vorbis block has at most 8192 samples, an Opus packet 5760). More than that after it,
// and the granule position was not the end.
constexpr std::int64_t kGranulePadding = 8192;

void layoutFor(AVChannelLayout* out, const AVChannelLayout& in)
{
    if (in.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&in) == 0)
        av_channel_layout_default(out, in.nb_channels);
    else
        av_channel_layout_copy(out, &in);
}

// A copy of frame f without its first `from` samples.
ff::FramePtr frameTail(const AVFrame* f, int from)
{
    ff::FramePtr rest = ff::makeFrame();
    rest->format = f->format;
    rest->sample_rate = f->sample_rate;
    av_channel_layout_copy(&rest->ch_layout, &f->ch_layout);
    rest->nb_samples = f->nb_samples - from;
    if (av_frame_get_buffer(rest.get(), 0) < 0)
        throw std::bad_alloc();
    av_samples_copy(rest->extended_data, f->extended_data, 0, from, rest->nb_samples, f->ch_layout.nb_channels,
                    AVSampleFormat(f->format));
    return rest;
}

} // namespace

AudioDecoder::AudioDecoder(const QString& path, const std::atomic<bool>* cancel, Counting counting)
    : m_input(std::make_unique<InputFile>(path, cancel))
{
    m_stream = m_input->selectAudioStream();
    const SampleCount counted =
        counting == Counting::Exact ? countSamples(*m_input, m_stream) : countForReading(*m_input, m_stream);
    // A stopped count is a wrong count.
    m_input->throwIfCancelled();
    m_count = counted.samples;
    m_method = counted.method;
    // Where the count comes from the Ogg granule positions, the end is trimmed here to that
    // count (libavcodec's own trimming can cut too much or too little); the start is trimmed
    // as libavformat marks it. Everything else ends where the decoder ends.
    m_manualTrim = m_method == CountMethod::OggGranule;
    m_decoder = m_input->openDecoder(m_stream, m_manualTrim ? AV_CODEC_FLAG2_SKIP_MANUAL : 0);

    m_frames = std::make_unique<FrameSource>(*m_input, m_stream, m_decoder.get());
    while (m_pending.empty() && decodeMore()) {
    }
    if (m_pending.empty())
        throw EngineError(m_input->describe("contains no audio that can be decoded"));
    if (channels() > limits::MaxChannels)
        throw EngineError(m_input->describe("has " + std::to_string(channels()) + " channels; at most "
                                           + std::to_string(limits::MaxChannels) + " can be converted"));
    if (m_rate < limits::MinSampleRate || m_rate > limits::MaxSampleRate)
        throw EngineError(m_input->describe("has a sample rate of " + std::to_string(m_rate) + " Hz; "
                                           + std::to_string(limits::MinSampleRate) + " to "
                                           + std::to_string(limits::MaxSampleRate) + " Hz can be converted"));
    const AVCodecParameters* par = m_input->stream(m_stream)->codecpar;
    if (m_method != CountMethod::FullDecode && m_method != CountMethod::NotCounted
        && (m_count <= 0 || (par->sample_rate > 0 && par->sample_rate != m_rate))) {
        // The quick count found nothing although there is sound, or counted at a rate the
        // decoder does not deliver (AAC with implicit SBR): only a decode can tell. A reader
        // that needs no count goes on to the decoder's end instead.
        if (counting == Counting::Exact) {
            m_count = countByDecoding(*m_input, m_stream);
            m_method = CountMethod::FullDecode;
        } else {
            m_count = 0;
            m_method = CountMethod::NotCounted;
        }
    }
    if (m_manualTrim && m_method != CountMethod::NotCounted)
        m_trimAt = m_count;
    // AAC in MP4: libavcodec decodes the last frame whole, padding and all; the track's
    // stated length ends it (counted the same way by aacFrameCount).
    if (m_method == CountMethod::AacFrames || m_method == CountMethod::NotCounted)
        if (const auto stated = mp4StatedLength(*m_input, m_stream); stated && par->sample_rate == m_rate)
            m_trimAt = *stated;
    // Lossless sources (WavPack's lossy hybrid mode too) keep their sample width, which a
    // writer may follow; lossy ones have none.
    const AVCodecDescriptor* codec = avcodec_descriptor_get(par->codec_id);
    if (codec && (codec->props & AV_CODEC_PROP_LOSSLESS)) {
        m_sourceBits = m_decoder->bits_per_raw_sample > 0 ? m_decoder->bits_per_raw_sample
                       : par->bits_per_raw_sample > 0    ? par->bits_per_raw_sample
                       : av_get_bits_per_sample(par->codec_id) > 0
                           ? av_get_bits_per_sample(par->codec_id)
                           : av_get_bytes_per_sample(m_decoder->sample_fmt) * 8;
    }
    m_input->throwIfCancelled();
}

AudioDecoder::~AudioDecoder() = default;

void AudioDecoder::setRange(std::int64_t start, std::int64_t end)
{
    if (start < 0 || end < -1 || (end >= 0 && end < start))
        throw EngineError(m_input->describe("has no sample range from " + std::to_string(start) + " to "
                                            + std::to_string(end)));
    if (m_rangeSet || m_delivered > 0)
        throw EngineError(m_input->describe("cannot be read in a range once reading has begun"));
    m_rangeSet = true;
    m_rangeEnd = end;
    m_count = end >= 0 ? end - start : std::max<std::int64_t>(0, m_count - start);
    if (start > 0 && !seekTo(start))
        discardTo(start);
    // What was read came from the buffer alone, maybe: a stop is still a stop.
    m_input->throwIfCancelled();
}

std::int64_t AudioDecoder::prerollFrames() const
{
    // Lossless frames decode on their own. A lossy decoder's output depends on the frames
    // before (overlapping transforms, the MP3 bit reservoir, Opus' predictors); decoding
    // from this far before the range makes its first samples the same, bit for bit, as in a
    // decode from the beginning (MP3 at 128 kbit/s needs four frames, Opus about 0.2 s).
    const AVCodecParameters* par = m_input->stream(m_stream)->codecpar;
    const AVCodecDescriptor* codec = avcodec_descriptor_get(par->codec_id);
    if (codec && (codec->props & AV_CODEC_PROP_LOSSLESS) && (codec->props & AV_CODEC_PROP_INTRA_ONLY))
        return 0;
    // AAC's noise substitution draws from a random generator that runs on through the whole
    // stream: after a seek its noise never comes out the same again.
    if (par->codec_id == AV_CODEC_ID_AAC || par->codec_id == AV_CODEC_ID_AAC_LATM)
        return -1;
    return m_rate; // one second
}

bool AudioDecoder::seekTo(std::int64_t start)
{
    const AVStream* st = m_input->stream(m_stream);
    const std::int64_t preroll = prerollFrames();
    const std::int64_t from = start - preroll;
    // Close to the start (or without a timestamp to count from), decoding is as quick.
    if (preroll < 0 || m_originPts == AV_NOPTS_VALUE || from <= pendingFrames() + m_largestFrame)
        return false;
    // Timestamps place a sample exactly only where one sample is a whole number of ticks
    // (not in ASF's or Matroska's milliseconds).
    if (st->time_base.num <= 0 || std::int64_t(st->time_base.den) % (std::int64_t(st->time_base.num) * m_rate) != 0)
        return false;
    const AVRational sample{1, m_rate};
    const std::int64_t ts = m_originPts + av_rescale_q(from, sample, st->time_base);
    if (av_seek_frame(m_input->context(), m_stream, ts, AVSEEK_FLAG_BACKWARD) < 0) {
        m_input->throwIfCancelled();
        rewind();
        return false;
    }
    avcodec_flush_buffers(m_decoder.get());
    restartFrames();
    for (;;) {
        const AVFrame* f = m_frames->next();
        if (!f) {
            // The stream ends before the range starts: the range is empty.
            m_input->throwIfCancelled();
            m_decoderDone = true;
            m_position = start;
            return true;
        }
        // Frames are placed by their timestamps alone; without one, after a seek that went
        // past the range's start, or where the rate changes, reading goes back to the
        // beginning. (A seek back to the stream's very start meets its priming again, before
        // the first timestamp delivered: dropped like any sample before the range.)
        if (f->pts == AV_NOPTS_VALUE || f->sample_rate != m_rate) {
            rewind();
            return false;
        }
        const std::int64_t pos = av_rescale_q(f->pts - m_originPts, st->time_base, sample);
        if (pos > start) {
            rewind();
            return false;
        }
        m_largestFrame = std::max(m_largestFrame, f->nb_samples);
        if (pos + f->nb_samples <= start)
            continue;
        // A copy holds no side data: the start of the stream was trimmed by the timestamps.
        ff::FramePtr rest = frameTail(f, int(start - pos));
        append(rest.get());
        m_position = start;
        return true;
    }
}

void AudioDecoder::rewind()
{
    const AVInputFormat* format = m_input->format();
    std::shared_ptr<const SourceFile> source = m_input->source();
    m_frames.reset();
    m_decoder.reset();
    m_input = std::make_unique<InputFile>(std::move(source), format);
    m_input->selectAudioStream();
    m_decoder = m_input->openDecoder(m_stream, m_manualTrim ? AV_CODEC_FLAG2_SKIP_MANUAL : 0);
    restartFrames();
    m_position = 0;
}

void AudioDecoder::restartFrames()
{
    m_frames = std::make_unique<FrameSource>(*m_input, m_stream, m_decoder.get());
    m_pending.clear();
    m_pendingPos = 0;
    m_swr.reset();
    m_swrFormat = -1;
    m_startSkip = 0;
    m_decoderDone = false;
}

void AudioDecoder::discardTo(std::int64_t start)
{
    const int ch = channels();
    while (m_position < start && !m_ended) {
        if (m_trimAt >= 0 && m_position >= m_trimAt) {
            checkStatedEnd(); // ends the stream, or finds it goes on
            continue;
        }
        const std::int64_t upTo = m_trimAt >= 0 ? std::min(start, m_trimAt) : start;
        const std::int64_t take = std::min(pendingFrames(), upTo - m_position);
        if (take > 0) {
            m_pendingPos += std::size_t(take) * ch;
            m_position += take;
            continue;
        }
        m_pending.clear();
        m_pendingPos = 0;
        if (!decodeMore())
            m_ended = true;
    }
}

bool AudioDecoder::decodeMore()
{
    if (m_decoderDone)
        return false;
    if (const AVFrame* f = m_frames->next()) {
        append(f);
        return true;
    }
    flushResampler();
    m_decoderDone = true;
    return !m_pending.empty() && m_pendingPos < m_pending.size();
}

void AudioDecoder::append(const AVFrame* f)
{
    const int inChannels = f->ch_layout.nb_channels;
    if (inChannels <= 0 || f->sample_rate <= 0)
        return;
    m_largestFrame = std::max(m_largestFrame, f->nb_samples);
    if (m_manualTrim && skipStart(f))
        return;
    if (m_rate == 0) {
        // The first frame fixes what the reader delivers, and its timestamp where the stream
        // starts.
        m_rate = f->sample_rate;
        m_originPts = f->pts;
        layoutFor(&m_layout.value, f->ch_layout);
    }
    const int outChannels = m_layout.value.nb_channels;
    const bool native = f->format == AV_SAMPLE_FMT_FLT && f->sample_rate == m_rate && inChannels == outChannels;
    if (native && !m_swr) {
        const auto* src = reinterpret_cast<const float*>(f->extended_data[0]);
        m_pending.insert(m_pending.end(), src, src + std::size_t(f->nb_samples) * outChannels);
        return;
    }
    if (!m_swr || m_swrFormat != f->format || m_swrRate != f->sample_rate || m_swrChannels != inChannels) {
        flushResampler();
        openResampler(f);
    }
    const int capacity = swr_get_out_samples(m_swr.get(), f->nb_samples);
    if (capacity <= 0)
        return;
    const std::size_t old = m_pending.size();
    m_pending.resize(old + std::size_t(capacity) * outChannels);
    auto* out = reinterpret_cast<uint8_t*>(m_pending.data() + old);
    const int n = swr_convert(m_swr.get(), &out, capacity, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    m_pending.resize(old + std::size_t(std::max(0, n)) * outChannels);
}

bool AudioDecoder::skipStart(const AVFrame* f)
{
    if (const AVFrameSideData* side = av_frame_get_side_data(f, AV_FRAME_DATA_SKIP_SAMPLES); side && side->size >= 4)
        m_startSkip = AV_RL32(side->data);
    if (m_startSkip <= 0)
        return false;
    // Drop the first samples of the stream: a frame that is all skipped is not used,
    // otherwise a copy without them is converted.
    if (m_startSkip >= f->nb_samples) {
        m_startSkip -= f->nb_samples;
        return true;
    }
    ff::FramePtr rest = frameTail(f, int(m_startSkip));
    if (f->pts != AV_NOPTS_VALUE)
        rest->pts = f->pts + av_rescale_q(m_startSkip, AVRational{1, f->sample_rate}, m_decoder->pkt_timebase);
    m_startSkip = 0;
    append(rest.get());
    return true;
}

void AudioDecoder::openResampler(const AVFrame* f)
{
    const int inChannels = f->ch_layout.nb_channels;
    AVChannelLayout inLayout{};
    if (inChannels == m_layout.value.nb_channels)
        av_channel_layout_copy(&inLayout, &m_layout.value); // same channels: no remixing
    else
        layoutFor(&inLayout, f->ch_layout);
    SwrContext* swr = nullptr;
    int rc = swr_alloc_set_opts2(&swr, &m_layout.value, AV_SAMPLE_FMT_FLT, m_rate, &inLayout,
                                 AVSampleFormat(f->format), f->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    ff::SwrPtr owned(swr);
    if (rc >= 0)
        rc = ff::useSoxr(swr);
    if (rc >= 0)
        rc = swr_init(swr);
    if (rc < 0)
        throw EngineError(m_input->describe("has audio that cannot be converted (" + ff::errorText(rc) + ")"));
    m_swr = std::move(owned);
    m_swrFormat = f->format;
    m_swrRate = f->sample_rate;
    m_swrChannels = inChannels;
}

void AudioDecoder::flushResampler()
{
    if (!m_swr)
        return;
    if (m_swrRate != m_rate) {
        const int outChannels = m_layout.value.nb_channels;
        for (;;) {
            const int capacity = std::max(256, swr_get_out_samples(m_swr.get(), 0));
            const std::size_t old = m_pending.size();
            m_pending.resize(old + std::size_t(capacity) * outChannels);
            auto* out = reinterpret_cast<uint8_t*>(m_pending.data() + old);
            const int n = swr_convert(m_swr.get(), &out, capacity, nullptr, 0);
            m_pending.resize(old + std::size_t(std::max(0, n)) * outChannels);
            if (n <= 0)
                break;
        }
    }
    m_swr.reset();
    m_swrFormat = -1;
}

std::int64_t AudioDecoder::pendingFrames() const
{
    return std::int64_t(m_pending.size() - m_pendingPos) / channels();
}

SampleArray AudioDecoder::read(int maxElements)
{
    const int ch = channels();
    if (maxElements < ch)
        throw EngineError(m_input->describe("was asked for fewer samples than one sample frame"));
    if (m_trimAt >= 0 && m_position >= m_trimAt)
        checkStatedEnd();
    if (m_rangeEnd >= 0 && m_position >= m_rangeEnd)
        m_ended = true;
    if (m_ended)
        return {};
    std::int64_t frames = std::min(std::int64_t(maxElements / ch), kMaxReadFrames);
    if (m_trimAt >= 0)
        frames = std::min(frames, m_trimAt - m_position);
    if (m_rangeEnd >= 0)
        frames = std::min(frames, m_rangeEnd - m_position);
    const std::size_t wanted = std::size_t(frames) * ch;
    SampleArray out;
    out.reserve(wanted);
    while (out.size() < wanted) {
        if (m_pendingPos < m_pending.size()) {
            const std::size_t take = std::min(wanted - out.size(), m_pending.size() - m_pendingPos);
            out.insert(out.end(), m_pending.begin() + std::ptrdiff_t(m_pendingPos),
                       m_pending.begin() + std::ptrdiff_t(m_pendingPos + take));
            m_pendingPos += take;
            continue;
        }
        m_pending.clear();
        m_pendingPos = 0;
        if (!decodeMore()) {
            m_ended = true;
            break;
        }
    }
    m_delivered += std::int64_t(out.size()) / ch;
    m_position += std::int64_t(out.size()) / ch;
    if (m_trimAt >= 0 && m_position >= m_trimAt)
        checkStatedEnd();
    if (m_rangeEnd >= 0 && m_position >= m_rangeEnd)
        m_ended = true;
    return out;
}

std::int64_t AudioDecoder::statedEndSlack() const
{
    // An AAC frame is decoded whole: less than one frame of padding may follow its end.
    return m_manualTrim ? kGranulePadding : m_largestFrame - 1;
}

void AudioDecoder::checkStatedEnd()
{
    if (m_ended || m_trimAt < 0)
        return;
    while (pendingFrames() <= statedEndSlack() && decodeMore()) {
    }
    if (pendingFrames() <= statedEndSlack()) {
        // Only the last block's padding is left: the stream ends here.
        m_pending.clear();
        m_pendingPos = 0;
        m_ended = true;
    } else {
        // Audio goes on past the stated end: it was not the end, the decoder's is.
        m_trimAt = -1;
    }
}

} // namespace sondrel
