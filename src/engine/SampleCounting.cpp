#include "SampleCounting.h"

#include "EngineError.h"
#include "InputFile.h"
#include "MpegAudio.h"
#include "OggPages.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
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
    case CountMethod::PacketScan: return "packet scan";
    case CountMethod::FullDecode: return "full decode";
    }
    return "?";
}

namespace {

// libavcodec's MPEG audio decoder delays its output by this many samples; libavformat adds
// it to the LAME header's delay and padding when it trims.
constexpr int kMp3DecoderDelay = 528 + 1;

bool isPcm(AVCodecID id)
{
    return id >= AV_CODEC_ID_PCM_S16LE && id < AV_CODEC_ID_ADPCM_IMA_QT;
}

bool isMpegAudio(AVCodecID id)
{
    return id == AV_CODEC_ID_MP1 || id == AV_CODEC_ID_MP2 || id == AV_CODEC_ID_MP3;
}

// Reads up to size bytes at pos; the count read (0 on failure).
int readAt(AVIOContext* io, std::int64_t pos, std::uint8_t* buf, int size)
{
    if (avio_seek(io, pos, SEEK_SET) < 0)
        return 0;
    return std::max(0, avio_read(io, buf, size));
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

// Samples the trimmed decode of `frames` MPEG frames of `spf` samples gives, with libavformat's
// gapless trimming from a LAME header (skip at the start, discard range at the end).
std::int64_t trimmedMp3Frames(std::int64_t frames, int spf, const mpeg::VbrHeader& v)
{
    TrimModel model;
    const std::int64_t total = frames * spf;
    const std::int64_t startSkip = v.hasPadding ? v.startPadding + kMp3DecoderDelay : 0;
    const std::int64_t firstDiscard = total - v.endPadding + kMp3DecoderDelay;
    auto packet = [&](std::int64_t k) {
        const std::int64_t start = k * spf, end = start + spf;
        const std::int64_t skip = k == 0 ? startSkip : 0;
        std::int64_t pad = 0;
        if (v.hasPadding && end >= firstDiscard && start < total)
            pad = std::min<std::int64_t>(end - firstDiscard, spf);
        model.add(spf, skip > 0 || pad > 0, skip, pad);
    };
    // Only the first few packets (start skip) and the last ones (end discard) are trimmed.
    const std::int64_t head = std::min<std::int64_t>(frames, 16);
    const std::int64_t tail = std::max(head, std::min(frames, firstDiscard / spf - 1));
    for (std::int64_t k = 0; k < head; ++k)
        packet(k);
    std::int64_t untouched = tail - head;
    for (std::int64_t k = tail; k < frames; ++k)
        packet(k);
    return model.total() + untouched * spf;
}

// MP3 whose Xing/Info/VBRI header agrees with both the data and libavformat's reading of it.
std::optional<std::int64_t> mp3HeaderCount(InputFile& in, int si)
{
    const AVStream* st = in.stream(si);
    if (std::strcmp(in.format()->name, "mp3") != 0 || st->duration == AV_NOPTS_VALUE || st->duration <= 0)
        return std::nullopt;
    AVIOContext* io = in.io();
    const std::int64_t fileSize = avio_size(io);
    const std::int64_t saved = avio_tell(io);
    if (fileSize <= 0 || saved < 0)
        return std::nullopt;

    std::optional<std::int64_t> result;
    [&] {
        // The first frame follows the ID3v2 tags at the start.
        std::int64_t off = 0;
        std::array<std::uint8_t, 2048> buf{};
        for (int tags = 0; tags < 16; ++tags) {
            if (readAt(io, off, buf.data(), 10) < 10 || std::memcmp(buf.data(), "ID3", 3) != 0)
                break;
            if ((buf[6] | buf[7] | buf[8] | buf[9]) & 0x80)
                return;
            const std::int64_t size = (buf[6] << 21) | (buf[7] << 14) | (buf[8] << 7) | buf[9];
            off += 10 + size + ((buf[5] & 0x10) ? 10 : 0);
        }
        const int got = readAt(io, off, buf.data(), int(buf.size()));
        const auto h = mpeg::parseFrameHeader(buf.data(), size_t(got));
        const auto v = mpeg::parseVbrHeader(buf.data(), size_t(got));
        if (!h || !v || v->frames == 0 || v->bytes == 0 || h->frameBytes <= 0)
            return;
        const int spf = h->samplesPerFrame;
        // libavformat must have read the same header.
        if (st->duration != av_rescale_q(v->frames, AVRational{spf, h->sampleRate}, st->time_base))
            return;
        const std::int64_t startTime = v->hasPadding
            ? av_rescale_q(v->startPadding + kMp3DecoderDelay, AVRational{1, h->sampleRate}, st->time_base) : 0;
        if (st->start_time != AV_NOPTS_VALUE && st->start_time != startTime)
            return;
        // All the frames the header counts are there, and only tags follow them.
        const std::int64_t end = off + v->bytes;
        if (end > fileSize)
            return;
        if (end < fileSize) {
            std::uint8_t t[11] = {};
            const int n = readAt(io, end, t, 11);
            const bool tag = (n >= 3 && (std::memcmp(t, "TAG", 3) == 0 || std::memcmp(t, "ID3", 3) == 0))
                             || (n >= 8 && std::memcmp(t, "APETAGEX", 8) == 0)
                             || (n >= 11 && std::memcmp(t, "LYRICSBEGIN", 11) == 0);
            if (!tag)
                return;
        }
        // The average frame must be a size this MPEG version and rate can have.
        const double average = double(v->bytes - h->frameBytes) / v->frames;
        const std::uint32_t word = AV_RB32(buf.data());
        const auto smallest = mpeg::parseFrameHeader((word & ~0xF200u) | (1u << 12));
        const auto largest = mpeg::parseFrameHeader((word & ~0xF000u) | (14u << 12) | 0x200u);
        if (!smallest || !largest || average < smallest->frameBytes - 1 || average > largest->frameBytes + 1)
            return;
        result = trimmedMp3Frames(v->frames, spf, *v);
    }();
    avio_seek(io, saved, SEEK_SET);
    return result;
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
    InputFile scan(in.path(), in.format());
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

// MP3 without a VBR header: libavformat neither skips nor trims, so the decoder gives every
// frame's samples. A walk from frame header to frame header finds them without the parser,
// provided the stream is clean: the first frame right after the ID3v2 tags, the same
// version, layer and rate throughout, and nothing after the last frame but an ID3v1 tag.
// Anything else is left to the packet pass, which sees what the decoder will see.
std::optional<std::int64_t> mp3FrameWalkCount(InputFile& in, int si)
{
    const AVStream* st = in.stream(si);
    if (std::strcmp(in.format()->name, "mp3") != 0 || st->duration != AV_NOPTS_VALUE)
        return std::nullopt;
    AVIOContext* io = in.io();
    const std::int64_t fileSize = avio_size(io);
    const std::int64_t saved = avio_tell(io);
    if (fileSize <= 0 || saved < 0)
        return std::nullopt;
    std::optional<std::int64_t> result;
    [&] {
        std::uint8_t b[10];
        std::int64_t pos = 0;
        for (int tags = 0; tags < 16; ++tags) {
            if (readAt(io, pos, b, 10) < 10 || std::memcmp(b, "ID3", 3) != 0)
                break;
            if ((b[6] | b[7] | b[8] | b[9]) & 0x80)
                return;
            pos += 10 + ((b[6] << 21) | (b[7] << 14) | (b[8] << 7) | b[9]) + ((b[5] & 0x10) ? 10 : 0);
        }
        // A VBR header of any kind (even one libavformat did not take) makes this a case for
        // the packet pass.
        std::array<std::uint8_t, 2048> frame{};
        const int got = readAt(io, pos, frame.data(), int(frame.size()));
        const auto first = mpeg::parseFrameHeader(frame.data(), std::size_t(got));
        if (!first || first->frameBytes <= 0 || mpeg::parseVbrHeader(frame.data(), std::size_t(got))
            || (st->start_time != AV_NOPTS_VALUE && st->start_time != 0))
            return;
        // The ID3v1 tag, if any, ends the audio.
        std::int64_t end = fileSize;
        if (fileSize - 128 >= pos && readAt(io, fileSize - 128, b, 3) == 3 && std::memcmp(b, "TAG", 3) == 0)
            end = fileSize - 128;
        // Read apart from the demuxer's context, which checksums all it reads.
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(ff::localPath(in.path()).c_str(), "rb"), &std::fclose);
        if (!file)
            return;
        std::vector<std::uint8_t> block(1 << 16);
        std::int64_t blockStart = 0, blockSize = 0;
        std::int64_t frames = 0;
        while (pos < end) {
            if (end - pos < 4)
                return;
            if (pos < blockStart || pos + 4 > blockStart + blockSize) {
                if (std::fseek(file.get(), long(pos), SEEK_SET) != 0)
                    return;
                blockStart = pos;
                blockSize = std::int64_t(std::fread(block.data(), 1, block.size(), file.get()));
                if (blockSize < 4)
                    return;
            }
            const auto h = mpeg::parseFrameHeader(block.data() + (pos - blockStart), 4);
            if (!h || h->frameBytes <= 0 || h->version != first->version || h->layer != first->layer
                || h->sampleRate != first->sampleRate || h->channels != first->channels)
                return;
            pos += h->frameBytes;
            ++frames;
        }
        if (pos == end)
            result = frames * first->samplesPerFrame;
    }();
    avio_seek(io, saved, SEEK_SET);
    return result;
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

    InputFile scan(first.path(), first.format());
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

// One pass over the packets (no decoding), for codecs whose packets say what they decode to.
std::optional<std::int64_t> packetScanCount(InputFile& first, int si)
{
    const AVCodecParameters* par = first.stream(si)->codecpar;
    const AVCodecID codec = par->codec_id;
    const bool mpegAudio = isMpegAudio(codec);
    const bool vorbis = codec == AV_CODEC_ID_VORBIS;
    if (!mpegAudio && !vorbis && codec != AV_CODEC_ID_FLAC && !isPcm(codec))
        return std::nullopt;
    const int rate = par->sample_rate;
    if (!mpegAudio && rate <= 0)
        return std::nullopt;

    InputFile scan(first.path(), first.format());
    AVFormatContext* ctx = scan.context();
    if (unsigned(si) >= ctx->nb_streams)
        return std::nullopt;
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        ctx->streams[i]->discard = int(i) == si ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    const AVRational tb = ctx->streams[si]->time_base;

    TrimModel model;
    ff::PacketPtr pkt = ff::makePacket();
    bool firstPacket = true;
    std::int64_t vorbisSum = 0;
    while (av_read_frame(ctx, pkt.get()) >= 0) {
        if (pkt->stream_index != si) {
            av_packet_unref(pkt.get());
            continue;
        }
        std::int64_t samples = 0;
        if (mpegAudio) {
            // The decoder rejects a packet that does not start with a frame header.
            const auto h = mpeg::parseFrameHeader(pkt->data, size_t(pkt->size));
            if (h && h->frameBytes > 0)
                samples = h->samplesPerFrame;
        } else {
            if (pkt->duration <= 0 && !vorbis) {
                av_packet_unref(pkt.get());
                return std::nullopt; // durations unknown: only decoding can tell
            }
            samples = av_rescale_q(std::max<std::int64_t>(0, pkt->duration), tb, AVRational{1, rate});
        }
        if (vorbis) {
            // The first audio packet only primes the decoder; the demuxer has already cut the
            // last packet's duration to the stream's final granule position.
            if (!firstPacket)
                model.add(samples);
            vorbisSum += samples;
        } else {
            size_t size = 0;
            const uint8_t* side = av_packet_get_side_data(pkt.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
            if (side && size >= 10)
                model.add(samples, true, AV_RL32(side), AV_RL32(side + 4));
            else
                model.add(samples);
        }
        firstPacket = false;
        av_packet_unref(pkt.get());
    }
    if (vorbis && vorbisSum == 0)
        return std::nullopt;
    return model.total();
}

} // namespace

std::int64_t countByDecoding(InputFile& first, int si)
{
    InputFile again(first.path(), first.format());
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
    if (auto n = wavPcmCount(input, streamIndex))
        return {*n, CountMethod::WavHeader};
    if (auto n = mp3HeaderCount(input, streamIndex))
        return {*n, CountMethod::Mp3Header};
    if (auto n = mp3FrameWalkCount(input, streamIndex))
        return {*n, CountMethod::Mp3Frames};
    if (auto n = oggVorbisCount(input, streamIndex))
        return {*n, CountMethod::OggGranule};
    if (auto n = asfWmaCount(input, streamIndex))
        return {*n, CountMethod::PacketScan};
    if (auto n = packetScanCount(input, streamIndex))
        return {*n, CountMethod::PacketScan};
    return {countByDecoding(input, streamIndex), CountMethod::FullDecode};
}

} // namespace sondrel
