#pragma once
// Ownership of FFmpeg objects (every one lives in a std::unique_ptr with a deleter; raw
// pointers only borrow), FFmpeg error texts, and the one-time log level set-up.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include <QString>
#include <memory>
#include <string>

namespace sondrel::ff {

struct InputContextDeleter {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct OutputContextDeleter {
    void operator()(AVFormatContext* c) const { avformat_free_context(c); }
};
struct IoContextDeleter {
    // For contexts opened with avio_open (files): flushes and closes the file.
    void operator()(AVIOContext* c) const { avio_closep(&c); }
};
struct CustomIoDeleter {
    // For contexts made with avio_alloc_context: frees the buffer and the context only.
    void operator()(AVIOContext* c) const
    {
        av_freep(&c->buffer);
        avio_context_free(&c);
    }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwrDeleter {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct AudioFifoDeleter {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
struct AvFreeDeleter {
    void operator()(void* p) const { av_free(p); }
};
struct SampleBufferDeleter {
    // For the plane pointers of av_samples_alloc_array_and_samples: the samples, then the array.
    void operator()(uint8_t** planes) const
    {
        av_freep(&planes[0]);
        av_free(planes);
    }
};

using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextDeleter>;
using CustomIoPtr = std::unique_ptr<AVIOContext, CustomIoDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;
using SampleBufferPtr = std::unique_ptr<uint8_t*, SampleBufferDeleter>;

// Allocations that cannot fail quietly: they throw std::bad_alloc.
FramePtr makeFrame();
PacketPtr makePacket();
// Room for frames sample frames of channels channels in format (one pointer per plane).
SampleBufferPtr makeSampleBuffer(int channels, int frames, AVSampleFormat format);

// FFmpeg's text for an error code.
std::string errorText(int code);
// The path as the C libraries want it (UTF-8 bytes, which is what Linux file names are).
std::string localPath(const QString& path);

// Makes every rate change of a resampling context (before swr_init) go through libsoxr at
// 28 bits of precision: its passband is flat and what folds back from above the new
// Nyquist frequency stays far below what 24 bits can hold (libswresample's own engine lets
// a tone just above it through at -24 dB). Equal rates are not resampled at all. Returns
// FFmpeg's error code.
int useSoxr(SwrContext* swr);

// Lowers FFmpeg's log level once per process, so damaged files do not fill stderr.
// SONDREL_FFMPEG_LOG=<level number> (e.g. 32 for info) overrides it for debugging.
void quietLogs();

} // namespace sondrel::ff
