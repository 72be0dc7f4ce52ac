#pragma once
#include <QString>
#include <optional>

namespace sondrel {

// A row's loudness as an analysis measured it: the Loudness cell ("-14.2 LUFS, -0.3 dBTP",
// or "silent") and its tooltip (the track's gain, the album's loudness and gain) are made
// from these. Gains are in dB to the ReplayGain reference; none for silence.
struct RowLoudness {
    std::optional<double> lufs; // integrated loudness; none: silent
    double peak = 0;            // true peak, linear: 1.0 is full scale
    std::optional<double> gain;
    bool albumKnown = false;    // every file of the row's album was measured
    std::optional<double> albumLufs;
    std::optional<double> albumGain;
    bool operator==(const RowLoudness&) const = default;
};

// The Loudness cell's text and tooltip of a measure.
QString loudnessText(const RowLoudness& l);
QString loudnessToolTip(const RowLoudness& l);

} // namespace sondrel
