#include "StreamCopy.h"

#include "EngineError.h"
#include "FfmpegSupport.h"
#include "InputFile.h"
#include "Mp4Gapless.h"

#include <algorithm>
#include <cstring>

namespace sondrel {

namespace {

// The container a copied stream of each codec is written in: the one its encoded outputs
// use, and where a reader finds the copy's length.
struct CopyContainer {
    const char* codec;
    AVCodecID id;
    const char* muxer;
    CountMethod method;
};

constexpr CopyContainer kContainers[] = {
    {"mp3", AV_CODEC_ID_MP3, "mp3", CountMethod::Mp3Header},
    {"vorbis", AV_CODEC_ID_VORBIS, "ogg", CountMethod::OggGranule},
    {"flac", AV_CODEC_ID_FLAC, "flac", CountMethod::FlacHeader},
    {"opus", AV_CODEC_ID_OPUS, "opus", CountMethod::OggGranule},
    {"aac", AV_CODEC_ID_AAC, "ipod", CountMethod::AacFrames},
};

const CopyContainer* containerFor(const QString& codec)
{
    for (const CopyContainer& c : kContainers)
        if (codec == QLatin1String(c.codec))
            return &c;
    return nullptr;
}

// Why stream cannot be copied into container as it is; empty when it can. Vorbis, Opus,
// FLAC and AAC need their codec headers (extradata) before the first packet: AAC from ADTS,
// whose headers sit in every packet, has none.
std::string refusal(const InputFile& input, const AVStream* stream, const CopyContainer& container)
{
    const AVCodecParameters* par = stream->codecpar;
    // Matroska's times are rounded to milliseconds: where the copy's stream ends (the Ogg
    // granule, the trimming of the last frame) would not be the source's end.
    if (std::strstr(input.format()->name, "matroska"))
        return "its container's times are rounded to milliseconds";
    if (par->codec_id != container.id)
        return std::string("its audio is ") + avcodec_get_name(par->codec_id) + ", not " + container.codec;
    if (container.id != AV_CODEC_ID_MP3 && (!par->extradata || par->extradata_size <= 0))
        return "its container does not carry the codec's headers";
    return {};
}

// A FLAC STREAMINFO that leaves the total of samples open (what FLAC in Ogg may carry) is
// given the source's decoded length: a FLAC file states its length there.
void stateFlacLength(AVCodecParameters* par, std::int64_t frames)
{
    constexpr int kStreamInfoSize = 34;
    if (par->codec_id != AV_CODEC_ID_FLAC || par->extradata_size < kStreamInfoSize || frames <= 0
        || frames >= (std::int64_t(1) << 36))
        return;
    std::uint8_t* p = par->extradata;
    // The total is the low 4 bits of byte 13 and bytes 14 to 17.
    const bool open = (p[13] & 0x0F) == 0 && p[14] == 0 && p[15] == 0 && p[16] == 0 && p[17] == 0;
    if (!open)
        return;
    p[13] = std::uint8_t((p[13] & 0xF0) | ((frames >> 32) & 0x0F));
    for (int i = 0; i < 4; ++i)
        p[14 + i] = std::uint8_t(frames >> (24 - 8 * i));
}

std::string describe(const QString& path, const std::string& what)
{
    return "\"" + path.toStdString() + "\" " + what;
}

// The output file and its muxer, with the source's stream parameters copied over.
class CopyOutput {
public:
    CopyOutput(const QString& path, const CopyContainer& container, const AVStream* source, bool lameHeader,
               std::int64_t frames)
        : m_path(path)
    {
        AVIOContext* io = nullptr;
        int rc = avio_open(&io, ff::localPath(path).c_str(), AVIO_FLAG_WRITE);
        if (rc < 0)
            throw EngineError(describe(path, "cannot be created (" + ff::errorText(rc) + ")"));
        m_io.reset(io);
        AVFormatContext* oc = nullptr;
        rc = avformat_alloc_output_context2(&oc, nullptr, container.muxer, nullptr);
        if (rc < 0 || !oc)
            throw EngineError(describe(path, std::string("cannot be written as ") + container.muxer));
        m_muxer.reset(oc);
        oc->pb = m_io.get();
        oc->flags |= AVFMT_FLAG_BITEXACT; // no encoder text of the muxer's own; tags come later
        m_stream = avformat_new_stream(oc, nullptr);
        if (!m_stream)
            throw std::bad_alloc();
        rc = avcodec_parameters_copy(m_stream->codecpar, source->codecpar);
        if (rc < 0)
            throw EngineError(describe(path, "cannot be written (" + ff::errorText(rc) + ")"));
        m_stream->codecpar->codec_tag = 0; // the source container's tag means nothing here
        stateFlacLength(m_stream->codecpar, frames);
        m_stream->time_base = source->time_base;

        AVDictionary* options = nullptr;
        if (std::strcmp(container.muxer, "mp3") == 0) {
            av_dict_set_int(&options, "id3v2_version", 0, 0); // the tags step writes the tags
            av_dict_set_int(&options, "write_xing", lameHeader ? 1 : 0, 0);
        }
        if (std::strcmp(container.muxer, "ipod") == 0)
            av_dict_set_int(&options, "movie_timescale", source->codecpar->sample_rate, 0);
        rc = avformat_write_header(oc, &options);
        av_dict_free(&options);
        if (rc < 0)
            throw EngineError(describe(path, "cannot be written (" + ff::errorText(rc) + ")"));
    }

    const AVStream* stream() const { return m_stream; }

    void write(AVPacket* packet)
    {
        const int rc = av_interleaved_write_frame(m_muxer.get(), packet);
        if (rc < 0)
            throw EngineError(describe(m_path, "cannot be written (" + ff::errorText(rc) + ")"));
    }

    void finish()
    {
        int rc = av_write_trailer(m_muxer.get());
        if (rc < 0)
            throw EngineError(describe(m_path, "cannot be completed (" + ff::errorText(rc) + ")"));
        AVIOContext* io = m_io.release();
        // A failed write of the last buffered bytes is only in the context's error.
        avio_flush(io);
        const int error = io->error;
        rc = avio_closep(&io);
        if (error < 0 || rc < 0)
            throw EngineError(describe(m_path, "cannot be completed (" + ff::errorText(error < 0 ? error : rc) + ")"));
    }

private:
    QString m_path;
    ff::IoContextPtr m_io; // declared first: outlives the muxer that writes to it
    ff::OutputContextPtr m_muxer;
    AVStream* m_stream = nullptr;
};

// What the packets of a copied AAC stream say of its priming and padding: the first one's
// time before zero is the encoder's delay, and every packet decodes to a whole frame (as long
// as the longest packet lasts).
class Mp4Packets {
public:
    void add(const AVPacket* p)
    {
        if (m_count++ == 0 && p->pts != AV_NOPTS_VALUE && p->pts < 0)
            m_delay = -p->pts;
        m_frame = std::max(m_frame, p->duration);
    }
    std::int64_t delay() const { return m_delay; }
    std::int64_t samples() const { return m_count * m_frame; }

private:
    std::int64_t m_count = 0, m_delay = 0, m_frame = 0;
};

} // namespace

QString copiedCodecOf(const OutputSelection& selection)
{
    if (std::holds_alternative<Mp3Output>(selection))
        return QStringLiteral("mp3");
    if (std::holds_alternative<OggOutput>(selection))
        return QStringLiteral("vorbis");
    if (std::holds_alternative<FlacOutput>(selection))
        return QStringLiteral("flac");
    if (std::holds_alternative<OpusOutput>(selection))
        return QStringLiteral("opus");
    if (std::holds_alternative<AacOutput>(selection))
        return QStringLiteral("aac");
    return {};
}

bool canCopyStream(const QString& source, const QString& codec)
{
    const CopyContainer* container = containerFor(codec);
    if (!container)
        return false;
    try {
        InputFile input(source);
        return refusal(input, input.stream(input.selectAudioStream()), *container).empty();
    } catch (const std::exception&) {
        return false;
    }
}

WrittenLength copyStream(const QString& source, const QString& path, const QString& codec,
                         std::int64_t decodedFrames, int rate, const std::atomic<bool>* cancel)
{
    const CopyContainer* container = containerFor(codec);
    if (!container)
        throw EngineError(describe(path, "cannot take a copied stream"));
    InputFile input(source, cancel);
    const int index = input.selectAudioStream();
    const AVStream* in = input.stream(index);
    if (const std::string why = refusal(input, in, *container); !why.empty())
        throw EngineError(input.describe("cannot be copied: " + why));
    // A stream without a header of its own (MP3) states its rate and channels only in its
    // frames; the muxer needs them for its header. The packets read stay queued.
    if (in->codecpar->sample_rate <= 0 || in->codecpar->ch_layout.nb_channels <= 0) {
        const int rc = avformat_find_stream_info(input.context(), nullptr);
        if (rc < 0 || in->codecpar->sample_rate <= 0 || in->codecpar->ch_layout.nb_channels <= 0)
            throw EngineError(input.describe("cannot be copied: its stream does not state its rate and channels"));
    }
    const ff::PacketPtr packet = ff::makePacket();
    // The stream's next packet into packet; false at its end.
    const auto next = [&] {
        for (;;) {
            input.throwIfCancelled();
            const int rc = av_read_frame(input.context(), packet.get());
            if (rc == AVERROR_EOF)
                return false;
            if (rc < 0)
                throw EngineError(input.describe("cannot be copied (" + ff::errorText(rc) + ")"));
            if (packet->stream_index == index)
                return true;
            av_packet_unref(packet.get());
        }
    };
    bool more = next();
    // An MP3's LAME header is what has decoders skip the encoder's delay; the demuxer hands
    // it on as the first packet's trimming data. An MP3 without one decodes from its very
    // first sample, and a header written for its copy would have decoders skip 529 samples:
    // its copy goes without one, as it came.
    std::size_t trimSize = 0;
    const bool lameHeader = more && av_packet_get_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &trimSize);
    CopyOutput output(path, *container, in, lameHeader, decodedFrames);
    // AAC in MP4: the copy's edit list ends where its last packet ends, but the source may
    // end within that packet (its own edit list): the last packet is held back and ends there.
    const bool mp4 = container->id == AV_CODEC_ID_AAC;
    const bool sampleTimes = av_cmp_q(output.stream()->time_base, AVRational{1, rate}) == 0;
    const ff::PacketPtr held = ff::makePacket();
    bool holding = false;
    Mp4Packets seen;
    for (; more; more = next()) {
        av_packet_rescale_ts(packet.get(), in->time_base, output.stream()->time_base);
        packet->stream_index = 0;
        packet->pos = -1;
        if (!mp4) {
            output.write(packet.get()); // takes the packet's data over
            continue;
        }
        seen.add(packet.get());
        if (holding)
            output.write(held.get());
        av_packet_move_ref(held.get(), packet.get());
        holding = true;
    }
    if (holding) {
        if (sampleTimes && held->pts != AV_NOPTS_VALUE && held->pts < decodedFrames
            && held->pts + held->duration > decodedFrames)
            held->duration = decodedFrames - held->pts;
        output.write(held.get());
    }
    output.finish();
    if (mp4 && sampleTimes)
        writeITunSmpb(path, seen.delay(), std::max<std::int64_t>(0, seen.samples() - seen.delay() - decodedFrames),
                      decodedFrames);

    WrittenLength w;
    w.framesFed = decodedFrames;
    w.framesEncoded = decodedFrames;
    w.inputRate = rate;
    w.outputRate = rate;
    w.method = container->id == AV_CODEC_ID_MP3 && !lameHeader ? CountMethod::Mp3Frames : container->method;
    return w;
}

} // namespace sondrel
