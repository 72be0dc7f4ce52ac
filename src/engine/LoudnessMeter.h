#pragma once
// Loudness by EBU R 128 (libebur128), measured on audio as it passes: the integrated loudness
// and true peak of one stream, and the loudness of several streams taken together (an album).
// ReplayGain 2.0 gains are figured from these against a reference of -18 LUFS.
#include "SampleArray.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace sondrel {

struct LoudnessMeasure {
    std::optional<double> lufs; // none: nothing above the silence gate
    double peak = 0;            // true peak, linear: 1.0 is full scale
};

class LoudnessMeter {
public:
    // Throws EngineError for a stream libebur128 cannot measure.
    LoudnessMeter(int channels, int sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // Interleaved samples of the stream, in order.
    void add(const float* samples, std::size_t frames);
    void add(const SampleArray& samples);
    // Ends the stream and returns its measure. The meter then keeps only what the loudness
    // of several streams needs: its buffers for the audio are given back.
    const LoudnessMeasure& finish();
    const LoudnessMeasure& measure() const { return m_measure; }
    bool finished() const { return m_finished; }

    // The integrated loudness of finished meters' streams together, gated as one.
    static std::optional<double> together(const std::vector<const LoudnessMeter*>& meters);

private:
    struct State;
    std::unique_ptr<State> m_state;
    int m_channels = 0;
    LoudnessMeasure m_measure;
    bool m_finished = false;
};

// The ReplayGain reference level.
inline constexpr double ReplayGainReference = -18.0;

// A stream's or album's gain to the reference; none for silence.
std::optional<double> gainToReference(const std::optional<double>& lufs);

} // namespace sondrel
