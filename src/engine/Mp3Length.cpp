#include "Mp3Length.h"

#include "InputFile.h"
#include "MpegAudio.h"
#include "SampleCounting.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/intreadwrite.h>
}

namespace sondrel {
namespace {

// libavcodec's MPEG audio decoder delays its output by this many samples; libavformat adds
// it to the LAME header's delay and padding when it trims.
constexpr int kMp3DecoderDelay = 528 + 1;

// Reads up to size bytes at pos; the count read (0 on failure).
int readAt(AVIOContext* io, std::int64_t pos, std::uint8_t* buf, int size)
{
    if (avio_seek(io, pos, SEEK_SET) < 0)
        return 0;
    return std::max(0, avio_read(io, buf, size));
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

} // namespace

// MP3 whose Xing/Info/VBRI header agrees with both the data and libavformat's reading of it.
std::optional<std::int64_t> mp3LengthFromHeader(InputFile& in, int si)
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
        const std::int64_t off = id3v2Length(io);
        std::array<std::uint8_t, 2048> buf{};
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

// MP3 without a VBR header: libavformat neither skips nor trims, so the decoder gives every
// frame's samples. A walk from frame header to frame header finds them without the parser,
// provided the stream is clean: the first frame right after the ID3v2 tags, the same
// version, layer and rate throughout, and nothing after the last frame but an ID3v1 tag.
// Anything else is left to the packet pass, which sees what the decoder will see.
std::optional<std::int64_t> mp3LengthFromFrames(InputFile& in, int si)
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
        std::uint8_t b[4];
        std::int64_t pos = id3v2Length(io);
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
        const SourceFile& file = *in.source();
        std::vector<std::uint8_t> block(1 << 16);
        std::int64_t blockStart = 0, blockSize = 0;
        std::int64_t frames = 0;
        while (pos < end) {
            if (end - pos < 4)
                return;
            if (pos < blockStart || pos + 4 > blockStart + blockSize) {
                blockStart = pos;
                blockSize = file.readAt(pos, block.data(), std::int64_t(block.size()));
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

} // namespace sondrel
