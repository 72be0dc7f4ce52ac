#include "SampleConverter.h"

#include "EngineError.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace sondrel {

SampleConverter::SampleConverter(int inChannels, int inRate, int outChannels, int outRate, AVSampleFormat outFormat)
    : m_inChannels(inChannels), m_outChannels(outChannels), m_outRate(outRate), m_outFormat(outFormat)
{
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
    return n;
}

int SampleConverter::flush(std::uint8_t** out, int capacity)
{
    if (!m_swr)
        return 0;
    const int n = swr_convert(m_swr.get(), out, capacity, nullptr, 0);
    return n < 0 ? 0 : n;
}

} // namespace sondrel
