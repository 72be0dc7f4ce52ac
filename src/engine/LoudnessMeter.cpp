#include "LoudnessMeter.h"

#include "EngineError.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace sondrel {

namespace {

// Loudness at or below the absolute gate is silence to libebur128 (it reports -inf).
std::optional<double> loudnessOf(int rc, double value)
{
    if (rc != EBUR128_SUCCESS || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The smallest stream libebur128 takes: a finished meter is set to it, which frees its audio
// buffers and keeps the gating blocks it measured.
constexpr unsigned SmallestRate = 5;

} // namespace

struct LoudnessMeter::State {
    ebur128_state* st = nullptr;
    ~State() { ebur128_destroy(&st); }
};

LoudnessMeter::LoudnessMeter(int channels, int sampleRate) : m_channels(channels)
{
    if (channels < 1 || sampleRate < 1)
        throw EngineError("the loudness of audio without channels or rate cannot be measured");
    // Every gating block's energy is kept (about 20 kB a minute), not the library's histogram,
    // whose bins of 0.1 dB put the loudness up to 0.05 LU off.
    m_state = std::make_unique<State>();
    m_state->st = ebur128_init(unsigned(channels), static_cast<unsigned long>(sampleRate),
                               EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (!m_state->st)
        throw EngineError("the loudness of " + std::to_string(channels) + " channels at " + std::to_string(sampleRate)
                          + " Hz cannot be measured");
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::add(const float* samples, std::size_t frames)
{
    if (m_finished || frames == 0)
        return;
    if (ebur128_add_frames_float(m_state->st, samples, frames) != EBUR128_SUCCESS)
        throw EngineError("the loudness could not be measured (out of memory)");
}

void LoudnessMeter::add(const SampleArray& samples)
{
    add(samples.data(), samples.size() / std::size_t(m_channels));
}

const LoudnessMeasure& LoudnessMeter::finish()
{
    if (m_finished)
        return m_measure;
    double value = 0;
    const int rc = ebur128_loudness_global(m_state->st, &value);
    m_measure.lufs = loudnessOf(rc, value);
    m_measure.peak = 0;
    for (int c = 0; c < m_channels; ++c) {
        double peak = 0;
        if (ebur128_true_peak(m_state->st, unsigned(c), &peak) == EBUR128_SUCCESS)
            m_measure.peak = std::max(m_measure.peak, peak);
    }
    m_finished = true;
    ebur128_change_parameters(m_state->st, 1, SmallestRate);
    return m_measure;
}

std::optional<double> LoudnessMeter::together(const std::vector<const LoudnessMeter*>& meters)
{
    std::vector<ebur128_state*> states;
    for (const LoudnessMeter* m : meters) {
        if (m && m->m_state)
            states.push_back(m->m_state->st);
    }
    if (states.empty())
        return std::nullopt;
    double value = 0;
    const int rc = ebur128_loudness_global_multiple(states.data(), states.size(), &value);
    return loudnessOf(rc, value);
}

std::optional<double> gainToReference(const std::optional<double>& lufs)
{
    if (!lufs)
        return std::nullopt;
    return ReplayGainReference - *lufs;
}

} // namespace sondrel
