#include "FfmpegSupport.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <QFile>
#include <cstdlib>
#include <mutex>
#include <new>

namespace sondrel::ff {

FramePtr makeFrame()
{
    FramePtr f(av_frame_alloc());
    if (!f)
        throw std::bad_alloc();
    return f;
}

PacketPtr makePacket()
{
    PacketPtr p(av_packet_alloc());
    if (!p)
        throw std::bad_alloc();
    return p;
}

SampleBufferPtr makeSampleBuffer(int channels, int frames, AVSampleFormat format)
{
    uint8_t** planes = nullptr;
    int lines = 0;
    if (av_samples_alloc_array_and_samples(&planes, &lines, channels, frames, format, 0) < 0)
        throw std::bad_alloc();
    return SampleBufferPtr(planes);
}

std::string errorText(int code)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

std::string localPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

int useSoxr(SwrContext* swr)
{
    int rc = av_opt_set_int(swr, "resampler", SWR_ENGINE_SOXR, 0);
    if (rc >= 0)
        rc = av_opt_set_double(swr, "precision", 28.0, 0);
    return rc;
}

void quietLogs()
{
    static std::once_flag once;
    std::call_once(once, [] {
        int level = AV_LOG_FATAL;
        if (const char* env = std::getenv("SONDREL_FFMPEG_LOG"); env && *env)
            level = std::atoi(env);
        av_log_set_level(level);
    });
}

} // namespace sondrel::ff
