#include "InputFile.h"

#include "EngineError.h"
#include "FrameStreams.h"

#include <cerrno>
#include <cstring>

namespace sondrel {

std::int64_t id3v2Length(AVIOContext* io)
{
    std::int64_t length = 0;
    for (int tags = 0; tags < 16; ++tags) {
        unsigned char h[10];
        if (avio_seek(io, length, SEEK_SET) < 0 || avio_read(io, h, 10) != 10 || h[0] != 'I' || h[1] != 'D'
            || h[2] != '3' || ((h[6] | h[7] | h[8] | h[9]) & 0x80))
            break;
        length += 10 + ((h[6] << 21) | (h[7] << 14) | (h[8] << 7) | h[9]) + ((h[5] & 0x10) ? 10 : 0);
    }
    avio_seek(io, 0, SEEK_SET);
    // Past the end of the file the probes would see nothing at all.
    const std::int64_t size = avio_size(io);
    return (size > 0 && length >= size) || length > (1 << 28) ? 0 : length;
}

// The containers whose first bytes name them beyond doubt. Running every one of FFmpeg's
// probes instead costs about 0.1 ms a file, a fifth of adding a small WAV to the list.
// tags: the length of the ID3v2 tags in front.
static const AVInputFormat* formatFromMagic(AVIOContext* io, std::int64_t tags)
{
    static const unsigned char asfGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    unsigned char h[16];
    const bool read = avio_seek(io, 0, SEEK_SET) == 0 && avio_read(io, h, 16) == 16;
    const char* name = nullptr;
    if (read && (!memcmp(h, "RIFF", 4) || !memcmp(h, "RF64", 4) || !memcmp(h, "BW64", 4)) && !memcmp(h + 8, "WAVE", 4))
        name = "wav";
    else if (read && !memcmp(h, "OggS", 4) && h[4] == 0)
        name = "ogg";
    else if (read && !memcmp(h, asfGuid, 16))
        name = "asf";
    else if (mpegFramesAt(io, tags))
        name = "mp3";
    avio_seek(io, 0, SEEK_SET);
    return name ? av_find_input_format(name) : nullptr;
}

// The file's bytes for libavformat, read through the source's own descriptor at a position
// of this pass's own (several passes may share one descriptor).
struct InputFile::Reader {
    std::shared_ptr<const SourceFile> file;
    std::int64_t pos = 0;

    static int read(void* opaque, std::uint8_t* buf, int size)
    {
        auto* r = static_cast<Reader*>(opaque);
        const std::int64_t n = r->file->readAt(r->pos, buf, size);
        if (n == -ECANCELED)
            return AVERROR_EXIT;
        if (n < 0)
            return AVERROR(int(-n));
        if (n == 0)
            return AVERROR_EOF;
        r->pos += n;
        return int(n);
    }
    static std::int64_t seek(void* opaque, std::int64_t offset, int whence)
    {
        auto* r = static_cast<Reader*>(opaque);
        whence &= ~AVSEEK_FORCE;
        std::int64_t to = 0;
        switch (whence) {
        case AVSEEK_SIZE: return r->file->size();
        case SEEK_SET: to = offset; break;
        case SEEK_CUR: to = r->pos + offset; break;
        case SEEK_END: {
            const std::int64_t size = r->file->size();
            if (size < 0)
                return size;
            to = size + offset;
            break;
        }
        default: return AVERROR(EINVAL);
        }
        if (to < 0)
            return AVERROR(EINVAL);
        r->pos = to;
        return to;
    }
};

InputFile::InputFile(const QString& path, const std::atomic<bool>* cancel)
    : InputFile(SourceFile::open(path, cancel), nullptr)
{
}

InputFile::InputFile(std::shared_ptr<const SourceFile> source, const AVInputFormat* knownFormat)
    : m_source(std::move(source))
{
    ff::quietLogs();
    m_reader = std::make_unique<Reader>();
    m_reader->file = m_source;
    constexpr int kBufferSize = 32768; // what libavformat's own file reading uses
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (!buffer)
        throw std::bad_alloc();
    AVIOContext* io = avio_alloc_context(buffer, kBufferSize, 0, m_reader.get(), &Reader::read, nullptr, &Reader::seek);
    if (!io) {
        av_free(buffer);
        throw std::bad_alloc();
    }
    m_io.reset(io);
    try {
        openDemuxer(knownFormat);
    } catch (const EngineError&) {
        throwIfCancelled();
        throw;
    }
}

InputFile::~InputFile() = default;

void InputFile::throwIfCancelled() const
{
    if (m_source->cancelled())
        throw CancelledError(describe("was not read to the end: the work was stopped"));
}

void InputFile::openDemuxer(const AVInputFormat* knownFormat)
{
    AVIOContext* io = m_io.get();
    int rc = 0;
    // ID3v2 tags in front (cover art can make them megabytes long) are skipped, so the
    // probes look at what follows them instead of growing their buffer through the tag.
    const std::int64_t tags = knownFormat ? 0 : id3v2Length(io);
    const AVInputFormat* format = knownFormat ? knownFormat : formatFromMagic(io, tags);
    if (!format) {
        // An empty name keeps the extension out of the decision: the content alone counts.
        rc = av_probe_input_buffer2(io, &format, "", nullptr, unsigned(tags), unsigned(tags + (1 << 20)));
        if (rc < 0 || !format)
            throw EngineError(describe("is not a recognised audio file"
                                       + (rc < 0 ? " (" + ff::errorText(rc) + ")" : std::string())));
        // A low score is a guess from a pattern that other data has too (raw PCM samples pass
        // for ADPCM of a game console): taken only where the frames of a headerless stream
        // really follow each other.
        if (rc <= AVPROBE_SCORE_RETRY && !frameStreamNear(io, tags, format->name))
            throw EngineError(describe("is not a recognised audio file (its content only resembles "
                                       + std::string(format->long_name ? format->long_name : format->name) + ")"));
    } else if (avio_seek(io, 0, SEEK_SET) < 0) {
        throw EngineError(describe("cannot be read"));
    }

    m_ctx = openContext(format, false);
    if (editListMisleads(m_ctx.get())) {
        m_ctx.reset();
        if (avio_seek(io, 0, SEEK_SET) < 0)
            throw EngineError(describe("cannot be read"));
        m_ctx = openContext(format, true);
    }
    AVFormatContext* ctx = m_ctx.get();

    // Containers without a header (streams found while reading) need a look at the data.
    bool hasAudio = false;
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        hasAudio = hasAudio || ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
    if ((ctx->ctx_flags & AVFMTCTX_NOHEADER) || !hasAudio) {
        rc = avformat_find_stream_info(ctx, nullptr);
        if (rc < 0)
            throw EngineError(describe("cannot be read (" + ff::errorText(rc) + ")"));
    }
}

ff::InputContextPtr InputFile::openContext(const AVInputFormat* format, bool ignoreEditList)
{
    AVFormatContext* ctx = avformat_alloc_context();
    if (!ctx)
        throw std::bad_alloc();
    ctx->pb = m_io.get();
    ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVDictionary* options = nullptr;
    // A file never makes us open anything but local files (playlists, references).
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    // PCM in WAV is probed for S/PDIF-wrapped DTS/AC-3 packet by packet, re-running every
    // format probe on an ever larger buffer (up to 30 ms per file on silence). Such bursts
    // start in the first packet, so one is enough.
    av_dict_set(&options, "max_probe_packets", "1", 0);
    if (ignoreEditList)
        av_dict_set(&options, "ignore_editlist", "1", 0);
    const int rc = avformat_open_input(&ctx, ff::localPath(path()).c_str(), format, &options);
    av_dict_free(&options);
    if (rc < 0) // avformat_open_input has freed ctx
        throw EngineError(describe("cannot be read as " + std::string(format->name) + " (" + ff::errorText(rc) + ")"));
    return ff::InputContextPtr(ctx);
}

bool InputFile::editListMisleads(const AVFormatContext* ctx)
{
    // An MP4 edit list states where the audio starts and ends in the track's time scale.
    // When that scale is not the sample rate of a lossless track, it was written wrongly
    // (the sample durations disagree with it), and the edit list read in it may end the
    // audio after a packet or two. Lossless codecs have no priming for it to trim.
    if (std::strncmp(ctx->iformat->name, "mov,", 4) != 0)
        return false;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        const AVCodecParameters* par = st->codecpar;
        const AVCodecDescriptor* codec = avcodec_descriptor_get(par->codec_id);
        if (par->codec_type == AVMEDIA_TYPE_AUDIO && codec && (codec->props & AV_CODEC_PROP_LOSSLESS)
            && par->sample_rate > 0 && av_cmp_q(st->time_base, AVRational{1, par->sample_rate}) != 0)
            return true;
    }
    return false;
}

std::string InputFile::describe(const std::string& what) const
{
    return "\"" + path().toStdString() + "\" " + what;
}

int InputFile::selectAudioStream()
{
    AVFormatContext* ctx = m_ctx.get();
    int chosen = av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (chosen >= 0 && !avcodec_find_decoder(ctx->streams[chosen]->codecpar->codec_id))
        chosen = -1;
    bool sawAudio = false;
    if (chosen < 0) {
        // Streams whose parameters only the data gives (MP3 before its first frame) are not
        // ranked by av_find_best_stream: take the first real audio stream with a decoder.
        for (unsigned i = 0; i < ctx->nb_streams; ++i) {
            const AVStream* st = ctx->streams[i];
            if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO || (st->disposition & AV_DISPOSITION_ATTACHED_PIC))
                continue;
            sawAudio = true;
            if (avcodec_find_decoder(st->codecpar->codec_id)) {
                chosen = int(i);
                break;
            }
        }
    }
    if (chosen < 0)
        throw EngineError(describe(sawAudio ? "has an audio stream in a format that cannot be decoded"
                                            : "contains no audio stream"));
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        ctx->streams[i]->discard = int(i) == chosen ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    return chosen;
}

ff::CodecContextPtr InputFile::openDecoder(int streamIndex, int flags2) const
{
    const AVStream* st = m_ctx->streams[streamIndex];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        throw EngineError(describe("has audio in a format that cannot be decoded"));
    ff::CodecContextPtr dec(avcodec_alloc_context3(codec));
    if (!dec)
        throw std::bad_alloc();
    int rc = avcodec_parameters_to_context(dec.get(), st->codecpar);
    if (rc >= 0) {
        dec->pkt_timebase = st->time_base;
        dec->thread_count = 1;
        dec->flags2 |= flags2;
        rc = avcodec_open2(dec.get(), codec, nullptr);
    }
    if (rc < 0)
        throw EngineError(describe("has audio the " + std::string(codec->name) + " decoder rejects ("
                                   + ff::errorText(rc) + ")"));
    return dec;
}

FrameSource::FrameSource(InputFile& input, int streamIndex, AVCodecContext* decoder)
    : m_input(input), m_stream(streamIndex), m_decoder(decoder)
{
}

AVFrame* FrameSource::next()
{
    // A decoder that keeps reporting errors without asking for input is treated as finished,
    // so no file can keep this loop turning.
    int errorsInARow = 0;
    while (!m_ended) {
        av_frame_unref(m_frame.get());
        const int rc = avcodec_receive_frame(m_decoder, m_frame.get());
        if (rc == 0) {
            errorsInARow = 0;
            if (m_frame->nb_samples > 0)
                return m_frame.get();
            continue;
        }
        if (rc == AVERROR_EOF) {
            m_ended = true;
            break;
        }
        if (rc != AVERROR(EAGAIN)) {
            // A damaged frame: skip it, as ffmpeg does.
            if (++errorsInARow > 64)
                m_ended = true;
            continue;
        }
        if (m_flushed) {
            m_ended = true; // EAGAIN after the flush packet: nothing more will come
            break;
        }
        // The decoder wants input.
        const int rr = av_read_frame(m_input.context(), m_packet.get());
        if (rr < 0) {
            m_input.throwIfCancelled();
            // End of file, or a read error that ends the stream as it ends ffmpeg's input.
            avcodec_send_packet(m_decoder, nullptr);
            m_flushed = true;
            continue;
        }
        if (m_packet->stream_index == m_stream)
            avcodec_send_packet(m_decoder, m_packet.get()); // a rejected packet is skipped
        av_packet_unref(m_packet.get());
    }
    av_frame_unref(m_frame.get());
    return nullptr;
}

} // namespace sondrel
