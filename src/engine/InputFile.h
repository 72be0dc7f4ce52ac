#pragma once
// An input file opened for demuxing: format chosen from the content (never from the name),
// the best audio stream picked, and a loop that turns its packets into decoded frames the way
// the ffmpeg tool does (damaged packets are skipped, not fatal).
#include "FfmpegSupport.h"
#include "SourceFile.h"

#include <QString>
#include <atomic>
#include <memory>

namespace sondrel {

class InputFile {
public:
    // Opens path (a regular file only). Once cancel is set, reading fails and the operation
    // under way throws CancelledError. Throws EngineError.
    explicit InputFile(const QString& path, const std::atomic<bool>* cancel = nullptr);
    // A second pass over a file already open, with the demuxer the first pass found, so it
    // reads exactly the same packets of exactly the same file.
    InputFile(std::shared_ptr<const SourceFile> source, const AVInputFormat* knownFormat);
    ~InputFile();

    AVFormatContext* context() const { return m_ctx.get(); }
    const AVInputFormat* format() const { return m_ctx->iformat; }
    AVIOContext* io() const { return m_io.get(); }
    const QString& path() const { return m_source->path(); }
    const std::shared_ptr<const SourceFile>& source() const { return m_source; }
    // Throws CancelledError once the cancel flag is set.
    void throwIfCancelled() const;

    // Index of the audio stream to decode (not cover art, a decoder exists); every other
    // stream is set to be discarded. Throws EngineError when there is none.
    int selectAudioStream();
    AVStream* stream(int index) const { return m_ctx->streams[index]; }

    // A decoder opened for the stream, with extra AV_CODEC_FLAG2_* flags. Throws EngineError.
    ff::CodecContextPtr openDecoder(int streamIndex, int flags2 = 0) const;

    // "<path>: <what>" for error messages.
    std::string describe(const std::string& what) const;

private:
    struct Reader;
    void openDemuxer(const AVInputFormat* knownFormat);
    ff::InputContextPtr openContext(const AVInputFormat* format, bool ignoreEditList);
    static bool editListMisleads(const AVFormatContext* ctx);

    std::shared_ptr<const SourceFile> m_source;
    std::unique_ptr<Reader> m_reader;
    ff::CustomIoPtr m_io;        // declared before the demuxer: freed after it
    ff::InputContextPtr m_ctx;
};

// Bytes taken by the ID3v2 tags at the start of the file (0 if none, or if they would take
// all of it); the reading position is back at 0 afterwards.
std::int64_t id3v2Length(AVIOContext* io);

// Feeds one stream's packets to its decoder and hands out the decoded frames.
class FrameSource {
public:
    FrameSource(InputFile& input, int streamIndex, AVCodecContext* decoder);
    // The next frame with samples, owned by this object until the next call; nullptr once
    // the stream has ended (after flushing the decoder).
    AVFrame* next();

private:
    InputFile& m_input;
    int m_stream;
    AVCodecContext* m_decoder;
    ff::PacketPtr m_packet = ff::makePacket();
    ff::FramePtr m_frame = ff::makeFrame();
    bool m_flushed = false;
    bool m_ended = false;
};

} // namespace sondrel
