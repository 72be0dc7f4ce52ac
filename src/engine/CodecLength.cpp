#include "CodecLength.h"

#include "InputFile.h"
#include "OggPages.h"
#include "SampleCounting.h"

#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/intreadwrite.h>
}

namespace sondrel {

namespace {

// A second opening of the file that reads only the given stream's packets.
struct StreamScan {
    InputFile file;
    int stream;
    StreamScan(InputFile& first, int si) : file(first.source(), first.format()), stream(si)
    {
        AVFormatContext* ctx = file.context();
        for (unsigned i = 0; i < ctx->nb_streams; ++i)
            ctx->streams[i]->discard = int(i) == si ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    bool valid() const { return unsigned(stream) < file.context()->nb_streams; }
    // The next packet of the stream, false at the end.
    bool next(AVPacket* pkt)
    {
        while (av_read_frame(file.context(), pkt) >= 0) {
            if (pkt->stream_index == stream)
                return true;
            av_packet_unref(pkt);
        }
        return false;
    }
};

struct Trim {
    bool side = false;
    std::int64_t skip = 0, discard = 0;
};

Trim trimOf(const AVPacket* pkt)
{
    size_t size = 0;
    const uint8_t* side = av_packet_get_side_data(pkt, AV_PKT_DATA_SKIP_SAMPLES, &size);
    if (side && size >= 10)
        return {true, AV_RL32(side), AV_RL32(side + 4)};
    return {};
}

// Whether four bytes read as a box's name (printable characters).
bool boxName(std::uint32_t type)
{
    for (int i = 0; i < 4; ++i) {
        const auto c = std::uint8_t(type >> (8 * i));
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

// Whether no top-level box of an MP4 file reaches past its end: the index (moov) the length
// comes from is whole. A file that lost its last bytes (even only the padding TagLib leaves
// behind its tags) is cut. The reading position is left where it was.
bool mp4BoxesWhole(AVIOContext* io)
{
    const std::int64_t size = avio_size(io);
    const std::int64_t back = avio_tell(io);
    if (size <= 0 || back < 0)
        return true; // nothing to compare with
    bool whole = true;
    std::int64_t pos = 0;
    for (int boxes = 0; boxes < 4096 && pos + 8 <= size; ++boxes) {
        if (avio_seek(io, pos, SEEK_SET) < 0)
            break;
        std::int64_t length = avio_rb32(io);
        const std::uint32_t type = avio_rb32(io);
        if (length == 1)
            length = std::int64_t(avio_rb64(io));
        else if (length == 0)
            break; // reaches to the end of the file, whatever its size
        if (!boxName(type) || length < 8)
            break; // not a box: bytes after the file's boxes
        if (pos + length > size) {
            whole = false;
            break;
        }
        pos += length;
    }
    avio_seek(io, back, SEEK_SET);
    return whole;
}

} // namespace

std::optional<std::int64_t> oggOpusCount(InputFile& in, int si)
{
    const AVCodecParameters* par = in.stream(si)->codecpar;
    if (std::strcmp(in.format()->name, "ogg") != 0 || par->codec_id != AV_CODEC_ID_OPUS || par->extradata_size < 19
        || std::memcmp(par->extradata, "OpusHead", 8) != 0)
        return std::nullopt;
    const std::int64_t preSkip = AV_RL16(par->extradata + 10);
    const std::vector<std::uint32_t> serials = ogg::startSerials(in.io());
    if (std::size_t(si) >= serials.size())
        return std::nullopt;
    auto granule = ogg::lastGranule(in.io(), serials[size_t(si)], 72 * 1024);
    if (!granule)
        granule = ogg::lastGranule(in.io(), serials[size_t(si)], 1 << 20);
    if (!granule)
        return std::nullopt;

    // Only streams that start at granule 0: libavformat then gives the first packet the
    // time stamp -pre-skip (in 1/48000 s) and the decoder's output is granule - pre-skip.
    StreamScan scan(in, si);
    if (!scan.valid())
        return std::nullopt;
    ff::PacketPtr pkt = ff::makePacket();
    if (!scan.next(pkt.get()))
        return std::nullopt;
    const AVRational tb = scan.file.context()->streams[si]->time_base;
    const bool startsAtZero = pkt->pts != AV_NOPTS_VALUE && av_rescale_q(pkt->pts, tb, AVRational{1, 48000}) == -preSkip;
    av_packet_unref(pkt.get());
    if (!startsAtZero)
        return std::nullopt;
    const std::int64_t count = *granule - preSkip;
    // A packet of at least one byte decodes to at most 120 ms: a larger claim is damage.
    if (count <= 0 || count > 5760 * avio_size(in.io()))
        return std::nullopt;
    return count;
}

std::optional<std::int64_t> aacFrameCount(InputFile& first, int si)
{
    const AVCodecParameters* par = first.stream(si)->codecpar;
    if (par->codec_id != AV_CODEC_ID_AAC)
        return std::nullopt;
    if (std::strncmp(first.format()->name, "mov,", 4) == 0 && !mp4BoxesWhole(first.io()))
        return std::nullopt;
    StreamScan scan(first, si);
    if (!scan.valid())
        return std::nullopt;
    // Decoded without trimming, so the first frame shows the whole frame size.
    ff::CodecContextPtr decoder = scan.file.openDecoder(si, AV_CODEC_FLAG2_SKIP_MANUAL);
    ff::FramePtr frame = ff::makeFrame();
    ff::PacketPtr pkt = ff::makePacket();
    constexpr std::size_t kPacketsToFindAFrame = 64;
    std::vector<Trim> waiting; // packets read before the frame size was known
    TrimModel model;
    int frameSize = 0;
    const auto count = [&](const Trim& t) {
        if (t.skip < 0)
            model.add(0);
        else
            model.add(frameSize, t.side, t.skip, t.discard);
    };
    while (scan.next(pkt.get())) {
        // Packets the container marks as outside the stream are decoded, and dropped after.
        const Trim trim = pkt->flags & AV_PKT_FLAG_DISCARD ? Trim{true, -1, 0} : trimOf(pkt.get());
        if (frameSize > 0) {
            count(trim);
            av_packet_unref(pkt.get());
            continue;
        }
        waiting.push_back(trim);
        avcodec_send_packet(decoder.get(), pkt.get());
        av_packet_unref(pkt.get());
        while (frameSize == 0 && avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            if (frame->nb_samples > 0) {
                // (Raw ADTS states no rate before its first frame is parsed.)
                if (par->sample_rate > 0 && frame->sample_rate != par->sample_rate)
                    return std::nullopt;
                frameSize = frame->nb_samples;
            }
            av_frame_unref(frame.get());
        }
        if (frameSize > 0) {
            for (const Trim& t : waiting)
                count(t);
            waiting.clear();
        } else if (waiting.size() > kPacketsToFindAFrame) {
            return std::nullopt;
        }
    }
    scan.file.throwIfCancelled();
    if (frameSize == 0)
        return std::nullopt;
    const std::int64_t total = model.total();
    if (const auto stated = mp4StatedLength(first, si); stated && *stated < total && total - *stated < frameSize)
        return *stated; // the padding of the last frame
    return total;
}

std::optional<std::int64_t> mp4StatedLength(const InputFile& in, int si)
{
    const AVStream* st = in.stream(si);
    const AVCodecParameters* par = st->codecpar;
    if (std::strncmp(in.format()->name, "mov,", 4) != 0 || par->codec_id != AV_CODEC_ID_AAC || par->sample_rate <= 0
        || av_cmp_q(st->time_base, AVRational{1, par->sample_rate}) != 0 || st->duration <= 0
        || st->duration == AV_NOPTS_VALUE)
        return std::nullopt;
    return st->duration;
}

} // namespace sondrel
