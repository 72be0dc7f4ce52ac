#include "SampleCounting.h"

#include "CodecLength.h"
#include "EngineError.h"
#include "FlacLength.h"
#include "InputFile.h"
#include "Mp3Length.h"
#include "MpegAudio.h"
#include "OggPages.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

extern "C" {
#include <libavutil/intreadwrite.h>
}

namespace sondrel {

void TrimModel::add(std::int64_t samples, bool hasSideData, std::int64_t skip, std::int64_t discard)
{
    if (hasSideData)
        m_skip = std::max<std::int64_t>(0, skip);
    else
        discard = 0;
    std::int64_t n = std::max<std::int64_t>(0, samples);
    if (n > 0 && m_skip > 0) {
        const std::int64_t s = std::min(n, m_skip);
        m_skip -= s;
        n -= s;
    }
    if (n > 0 && discard > 0 && discard <= n)
        n -= discard;
    m_total += n;
}

const char* methodName(CountMethod method)
{
    switch (method) {
    case CountMethod::WavHeader: return "wav header";
    case CountMethod::Mp3Header: return "mp3 header";
    case CountMethod::Mp3Frames: return "mp3 frames";
    case CountMethod::OggGranule: return "ogg granule";
    case CountMethod::FlacHeader: return "flac header";
    case CountMethod::AacFrames: return "aac frames";
    case CountMethod::PacketScan: return "packet scan";
    case CountMethod::FullDecode: return "full decode";
    case CountMethod::NotCounted: return "not counted";
    }
    return "?";
}

namespace {

bool isPcm(AVCodecID id)
{
    return id >= AV_CODEC_ID_PCM_S16LE && id < AV_CODEC_ID_ADPCM_IMA_QT;
}

// The stream's sample rate before any packet is read. libavformat leaves it at 0 for FLAC
// until it has parsed a frame; the STREAMINFO block (FLAC's extradata) states it.
int streamRate(const AVCodecParameters* par)
{
    if (par->sample_rate > 0 || par->codec_id != AV_CODEC_ID_FLAC || par->extradata_size < 34)
        return par->sample_rate;
    const std::uint8_t* info = par->extradata;
    return (info[10] << 12) | (info[11] << 4) | (info[12] >> 4);
}

// Whether one sample lasts a whole number of ticks of the time base.
bool ticksAreWholeSamples(AVRational tb, int rate)
{
    return tb.num > 0 && tb.den > 0 && rate > 0 && tb.den % (std::int64_t(tb.num) * rate) == 0;
}

// Containers whose time stamps cannot be trusted to sum to the stream's length, whatever
// the codec: Matroska/WebM rounds every time to the millisecond (and so do its trimming
// values), and an MP4 track whose media time scale is not its sample rate states durations
// that say nothing about the samples. Only a decode counts them.
bool timestampsUntrustworthy(InputFile& in, int si)
{
    const AVStream* st = in.stream(si);
    const char* name = in.format()->name;
    if (std::strncmp(name, "matroska", 8) == 0)
        return true;
    const int rate = st->codecpar->sample_rate;
    return std::strncmp(name, "mov,", 4) == 0 && rate > 0 && av_cmp_q(st->time_base, AVRational{1, rate}) != 0;
}

bool isMpegAudio(AVCodecID id)
{
    return id == AV_CODEC_ID_MP1 || id == AV_CODEC_ID_MP2 || id == AV_CODEC_ID_MP3;
}

// PCM in WAV/RF64: the data chunk holds whole sample frames; the demuxer stops at the chunk's
// end or at the end of the file, whichever comes first, and a partial last frame is dropped.
std::optional<std::int64_t> wavPcmCount(InputFile& in, int si)
{
    const AVStream* st = in.stream(si);
    const AVCodecParameters* par = st->codecpar;
    if (std::strcmp(in.format()->name, "wav") != 0 || !isPcm(par->codec_id))
        return std::nullopt;
    const int bits = av_get_bits_per_sample(par->codec_id);
    const int channels = par->ch_layout.nb_channels;
    if (bits <= 0 || bits % 8 != 0 || channels <= 0 || par->sample_rate <= 0)
        return std::nullopt;
    const std::int64_t frameBytes = std::int64_t(bits / 8) * channels;
    const std::int64_t dataStart = avio_tell(in.io());
    const std::int64_t fileSize = avio_size(in.io());
    if (dataStart < 0 || fileSize < 0)
        return std::nullopt;
    std::int64_t count = std::max<std::int64_t>(0, fileSize - dataStart) / frameBytes;
    if (st->duration != AV_NOPTS_VALUE && st->duration >= 0)
        count = std::min(count, av_rescale_q(st->duration, st->time_base, AVRational{1, par->sample_rate}));
    return count;
}

// Vorbis in Ogg: the last page's granule position is where the stream ends (as the reference
// decoder, libvorbisfile, trims it), counted from where the output starts. libavformat's own
// figures are not used: its Vorbis parser misjudges some streams' packet durations, and its
// end trimming fails when the padding is longer than the last packet's output.
std::optional<std::int64_t> oggVorbisCount(InputFile& in, int si)
{
    const AVStream* st = in.stream(si);
    if (std::strcmp(in.format()->name, "ogg") != 0 || st->codecpar->codec_id != AV_CODEC_ID_VORBIS
        || st->codecpar->sample_rate <= 0)
        return std::nullopt;
    const std::vector<std::uint32_t> serials = ogg::startSerials(in.io());
    if (std::size_t(si) >= serials.size())
        return std::nullopt;
    auto granule = ogg::lastGranule(in.io(), serials[size_t(si)], 72 * 1024);
    if (!granule)
        granule = ogg::lastGranule(in.io(), serials[size_t(si)], 1 << 20);
    if (!granule)
        return std::nullopt;

    // Where the output starts: the end of the first packet, which only primes the decoder,
    // as libavformat places it from the first audio page. A first packet at exactly 0 is
    // where it puts it when it could not work that out (the first page ends the stream, or
    // its granule is 0); such streams start at 0.
    InputFile scan(in.source(), in.format());
    AVFormatContext* ctx = scan.context();
    if (unsigned(si) >= ctx->nb_streams)
        return std::nullopt;
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        ctx->streams[i]->discard = int(i) == si ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    ff::PacketPtr pkt = ff::makePacket();
    std::int64_t start = AV_NOPTS_VALUE;
    while (av_read_frame(ctx, pkt.get()) >= 0) {
        const bool ours = pkt->stream_index == si;
        if (ours && pkt->pts != AV_NOPTS_VALUE) {
            const AVRational samples{1, st->codecpar->sample_rate};
            const AVRational tb = ctx->streams[si]->time_base;
            start = pkt->pts == 0 ? 0 : std::max<std::int64_t>(0, av_rescale_q(pkt->pts + pkt->duration, tb, samples));
        }
        av_packet_unref(pkt.get());
        if (ours)
            break;
    }
    if (start == AV_NOPTS_VALUE)
        return std::nullopt;
    const std::int64_t count = *granule - start;
    // A packet of at least one byte decodes to at most 4096 samples: a larger claim is damage.
    if (count <= 0 || count > 4096 * avio_size(in.io()))
        return std::nullopt;
    return count;
}

// WMA v1/v2 written without the bit reservoir (as libavcodec's encoder writes it): every
// packet is one superframe of exactly one frame. The decoder outputs one frame per packet,
// holds the first back for its overlap and gives one at the end: packets - 1 frames. Streams
// with the bit reservoir spread frames over packets, and only decoding tells how.
std::optional<std::int64_t> asfWmaCount(InputFile& first, int si)
{
    const AVCodecParameters* par = first.stream(si)->codecpar;
    if (std::strcmp(first.format()->name, "asf") != 0
        || (par->codec_id != AV_CODEC_ID_WMAV1 && par->codec_id != AV_CODEC_ID_WMAV2) || par->block_align <= 0
        || par->sample_rate <= 0)
        return std::nullopt;
    const bool v2 = par->codec_id == AV_CODEC_ID_WMAV2;
    const int flagsAt = v2 ? 4 : 2;
    if (par->extradata_size < flagsAt + 2)
        return std::nullopt;
    const unsigned flags2 = AV_RL16(par->extradata + flagsAt);
    if (flags2 & 0x0002) // bit reservoir
        return std::nullopt;
    // Frame length as libavcodec's WMA decoder derives it from the rate and version.
    const int rate = par->sample_rate;
    const int lengthBits = rate <= 16000 ? 9 : (rate <= 22050 || (rate <= 32000 && !v2)) ? 10 : 11;
    if (rate > 48000)
        return std::nullopt;

    InputFile scan(first.source(), first.format());
    AVFormatContext* ctx = scan.context();
    if (unsigned(si) >= ctx->nb_streams)
        return std::nullopt;
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        ctx->streams[i]->discard = int(i) == si ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    ff::PacketPtr pkt = ff::makePacket();
    std::int64_t superframes = 0;
    while (av_read_frame(ctx, pkt.get()) >= 0) {
        // The decoder refuses packets shorter than a superframe.
        if (pkt->stream_index == si && pkt->size >= par->block_align)
            ++superframes;
        av_packet_unref(pkt.get());
    }
    return std::max<std::int64_t>(0, superframes - 1) << lengthBits;
}

// How a packet scan reads the stream's packets.
struct PacketScan {
    bool mpegAudio = false;
    bool vorbis = false;
    AVRational timeBase{};
    int rate = 0;
};

// The samples one packet decodes to; nothing when only decoding can tell.
std::optional<std::int64_t> packetSamples(const AVPacket* pkt, const PacketScan& scan)
{
    if (scan.mpegAudio) {
        // The decoder rejects a packet that does not start with a frame header.
        const auto h = mpeg::parseFrameHeader(pkt->data, size_t(pkt->size));
        return h && h->frameBytes > 0 ? h->samplesPerFrame : 0;
    }
    if (pkt->duration <= 0 && !scan.vorbis)
        return std::nullopt; // durations unknown
    return av_rescale_q(std::max<std::int64_t>(0, pkt->duration), scan.timeBase, AVRational{1, scan.rate});
}

// Adds a packet's samples, less what its side data says the decoder skips or discards.
void addTrimmedPacket(TrimModel& model, AVPacket* pkt, std::int64_t samples)
{
    size_t size = 0;
    const uint8_t* side = av_packet_get_side_data(pkt, AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (side && size >= 10)
        model.add(samples, true, AV_RL32(side), AV_RL32(side + 4));
    else
        model.add(samples);
}

// Sums the packets of stream si; the last one is left in last. Nothing when a packet's
// duration is unknown, or a Vorbis stream holds no samples.
std::optional<std::int64_t> sumPackets(AVFormatContext* ctx, int si, const PacketScan& scan, AVPacket* last)
{
    TrimModel model;
    ff::PacketPtr pkt = ff::makePacket();
    bool firstPacket = true;
    std::int64_t vorbisSum = 0;
    while (av_read_frame(ctx, pkt.get()) >= 0) {
        if (pkt->stream_index != si) {
            av_packet_unref(pkt.get());
            continue;
        }
        av_packet_unref(last);
        av_packet_ref(last, pkt.get());
        const std::optional<std::int64_t> samples = packetSamples(pkt.get(), scan);
        if (!samples) {
            av_packet_unref(pkt.get());
            return std::nullopt;
        }
        if (scan.vorbis) {
            // The first audio packet only primes the decoder; the demuxer has already cut the
            // last packet's duration to the stream's final granule position.
            if (!firstPacket)
                model.add(*samples);
            vorbisSum += *samples;
        } else {
            addTrimmedPacket(model, pkt.get(), *samples);
        }
        firstPacket = false;
        av_packet_unref(pkt.get());
    }
    if (scan.vorbis && vorbisSum == 0)
        return std::nullopt;
    return model.total();
}

// One pass over the packets (no decoding), for codecs whose packets say what they decode to.
std::optional<std::int64_t> packetScanCount(InputFile& first, int si)
{
    const AVCodecParameters* par = first.stream(si)->codecpar;
    const AVCodecID codec = par->codec_id;
    PacketScan scan;
    scan.mpegAudio = isMpegAudio(codec);
    scan.vorbis = codec == AV_CODEC_ID_VORBIS;
    // Lossless codecs whose packets state the samples they hold.
    const bool lossless = codec == AV_CODEC_ID_FLAC || codec == AV_CODEC_ID_ALAC || codec == AV_CODEC_ID_WAVPACK;
    if (!scan.mpegAudio && !scan.vorbis && !lossless && !isPcm(codec))
        return std::nullopt;
    scan.rate = streamRate(par);
    if (!scan.mpegAudio && scan.rate <= 0)
        return std::nullopt;

    InputFile again(first.source(), first.format());
    AVFormatContext* ctx = again.context();
    if (unsigned(si) >= ctx->nb_streams)
        return std::nullopt;
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        ctx->streams[i]->discard = int(i) == si ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    scan.timeBase = ctx->streams[si]->time_base;
    // Durations in a time base coarser than one sample (1/1000 s, say) are rounded: their
    // sum is not the stream's length.
    if (!scan.mpegAudio && !ticksAreWholeSamples(scan.timeBase, scan.rate))
        return std::nullopt;

    ff::PacketPtr last = ff::makePacket();
    const std::optional<std::int64_t> total = sumPackets(ctx, si, scan, last.get());
    if (!total)
        return std::nullopt;
    // A raw FLAC file cut inside its last frame still gets that frame's duration from the
    // parser, but the decoder drops the frame: only a whole last frame counts.
    if (codec == AV_CODEC_ID_FLAC && std::strcmp(first.format()->name, "flac") == 0
        && !flac::frameIsWhole(last->data, std::size_t(last->size)))
        return std::nullopt;
    return total;
}

} // namespace

std::int64_t countByDecoding(InputFile& first, int si)
{
    InputFile again(first.source(), first.format());
    if (unsigned(si) >= again.context()->nb_streams)
        throw EngineError(first.describe("cannot be read consistently"));
    for (unsigned i = 0; i < again.context()->nb_streams; ++i)
        again.stream(int(i))->discard = int(i) == si ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    ff::CodecContextPtr decoder = again.openDecoder(si);
    FrameSource frames(again, si, decoder.get());
    std::int64_t total = 0;
    while (const AVFrame* f = frames.next())
        total += f->nb_samples;
    return total;
}

SampleCount countSamples(InputFile& input, int streamIndex)
{
    if (timestampsUntrustworthy(input, streamIndex))
        return {countByDecoding(input, streamIndex), CountMethod::FullDecode};
    if (auto n = wavPcmCount(input, streamIndex))
        return {*n, CountMethod::WavHeader};
    if (auto n = mp3LengthFromHeader(input, streamIndex))
        return {*n, CountMethod::Mp3Header};
    if (auto n = mp3LengthFromFrames(input, streamIndex))
        return {*n, CountMethod::Mp3Frames};
    if (auto n = flacLengthFromStreamInfo(input, streamIndex))
        return {*n, CountMethod::FlacHeader};
    if (auto n = oggVorbisCount(input, streamIndex))
        return {*n, CountMethod::OggGranule};
    if (auto n = oggOpusCount(input, streamIndex))
        return {*n, CountMethod::OggGranule};
    if (auto n = aacFrameCount(input, streamIndex))
        return {*n, CountMethod::AacFrames};
    if (auto n = asfWmaCount(input, streamIndex))
        return {*n, CountMethod::PacketScan};
    if (auto n = packetScanCount(input, streamIndex))
        return {*n, CountMethod::PacketScan};
    return {countByDecoding(input, streamIndex), CountMethod::FullDecode};
}

SampleCount countForReading(InputFile& input, int streamIndex)
{
    if (auto n = oggVorbisCount(input, streamIndex))
        return {*n, CountMethod::OggGranule};
    if (auto n = oggOpusCount(input, streamIndex))
        return {*n, CountMethod::OggGranule};
    return {0, CountMethod::NotCounted};
}

} // namespace sondrel
