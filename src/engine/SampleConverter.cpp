#include "SampleConverter.h"

#include "EngineError.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

namespace sondrel {

SampleConverter::SampleConverter(int inChannels, int inRate, int outChannels, int outRate, AVSampleFormat outFormat,
                                 bool dither)
    : m_inChannels(inChannels), m_outChannels(outChannels), m_inRate(inRate), m_outRate(outRate),
      m_outFormat(outFormat)
{
    // Only 8- and 16-bit integers are dithered; 24 bits and more keep float's precision.
    m_dither = dither && av_get_bytes_per_sample(outFormat) <= 2;
    if (inChannels == outChannels && inRate == outRate && outFormat == AV_SAMPLE_FMT_FLT)
        return;
    AVChannelLayout inLayout{}, outLayout{};
    av_channel_layout_default(&inLayout, inChannels);
    av_channel_layout_default(&outLayout, outChannels);
    SwrContext* swr = nullptr;
    int rc = swr_alloc_set_opts2(&swr, &outLayout, outFormat, outRate, &inLayout, AV_SAMPLE_FMT_FLT, inRate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    m_swr.reset(swr);
    if (rc >= 0)
        rc = ff::useSoxr(swr);
    if (rc >= 0 && m_dither)
        rc = av_opt_set_int(swr, "dither_method", SWR_DITHER_TRIANGULAR, 0);
    if (rc >= 0 && inChannels != outChannels && inChannels <= 2 && outChannels <= 2) {
        // Full level both ways rather than libswresample's -3 dB centre mix.
        const std::vector<double> matrix = inChannels == 1 ? std::vector<double>{1.0, 1.0}
                                                           : std::vector<double>{0.5, 0.5};
        rc = swr_set_matrix(swr, matrix.data(), inChannels);
    }
    if (rc >= 0)
        rc = swr_init(swr);
    if (rc < 0)
        throw EngineError("cannot convert " + std::to_string(inChannels) + " channels at " + std::to_string(inRate)
                          + " Hz to " + std::to_string(outChannels) + " channels at " + std::to_string(outRate)
                          + " Hz (" + ff::errorText(rc) + ")");
}

int SampleConverter::capacityFor(int frames) const
{
    if (!m_swr)
        return frames;
    return swr_get_out_samples(m_swr.get(), frames);
}

int SampleConverter::convert(const float* in, int frames, std::uint8_t** out, int capacity)
{
    const auto* src = reinterpret_cast<const std::uint8_t*>(in);
    if (!m_swr) {
        const int n = std::min(frames, capacity);
        std::memcpy(out[0], src, std::size_t(n) * m_outChannels * sizeof(float));
        return n;
    }
    const int n = swr_convert(m_swr.get(), out, capacity, &src, frames);
    if (n < 0)
        throw EngineError("sample conversion failed (" + ff::errorText(n) + ")");
    m_inFrames += frames;
    m_outFrames += n;
    return n;
}

int SampleConverter::drain(std::uint8_t** out, int offset, int capacity)
{
    const bool planar = av_sample_fmt_is_planar(m_outFormat);
    const int planes = planar ? m_outChannels : 1;
    const std::size_t step = std::size_t(av_get_bytes_per_sample(m_outFormat)) * (planar ? 1 : m_outChannels);
    std::vector<std::uint8_t*> at(static_cast<std::size_t>(planes));
    for (int p = 0; p < planes; ++p)
        at[std::size_t(p)] = out[p] + std::size_t(offset) * step;
    const int n = swr_convert(m_swr.get(), at.data(), capacity - offset, nullptr, 0);
    return std::max(0, n);
}

int SampleConverter::flush(std::uint8_t** out, int capacity)
{
    if (!m_swr)
        return 0;
    // Told that the input has ended, libsoxr hands out the rest of it, down to an input
    // shorter than its filter; nothing may be fed to it after that.
    int n = 0;
    while (n < capacity) {
        const int more = drain(out, n, capacity);
        if (more <= 0)
            break;
        n += more;
    }
    // Only the input's length at the output's rate (rounded up) is kept.
    const std::int64_t wanted = (m_inFrames * m_outRate + m_inRate - 1) / m_inRate - m_outFrames;
    n = int(std::clamp<std::int64_t>(wanted, 0, n));
    m_outFrames += n;
    return n;
}

} // namespace sondrel
