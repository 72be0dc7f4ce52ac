#pragma once
// ReplayGain values as the tag fields that carry them: REPLAYGAIN_TRACK_GAIN "-6.52 dB" and
// its peak, and the album's, by TagLib's format-neutral names (each tag module writes them its
// own way: TXXX, Vorbis comments, MP4 freeform atoms, ASF attributes); Opus files take
// R128_TRACK_GAIN and R128_ALBUM_GAIN instead, in 1/256 dB against -23 LUFS, and no peaks.
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

namespace sondrel {

struct ReplayGainValues {
    std::optional<double> trackGain; // dB to the -18 LUFS reference; none: silence
    double trackPeak = 0;            // linear
    bool album = false;              // the album's values were measured
    std::optional<double> albumGain;
    double albumPeak = 0;
};

// "-6.52 dB", "+0.00 dB" is written "0.00 dB"; in the C locale's digits.
QString gainText(double db);
// "0.988553"
QString peakText(double peak);
// An R128_*_GAIN value for a gain to the -18 LUFS reference: against -23 LUFS, in 1/256 dB.
int r128Gain(double gainDb);

// Whether name is a loudness field that measured values replace.
bool isLoudnessField(const QString& name);
// Takes every loudness field out of fields.
void dropLoudnessFields(QMap<QString, QStringList>& fields);
// Puts values into fields in place of whatever loudness fields they held.
void setLoudnessFields(QMap<QString, QStringList>& fields, const ReplayGainValues& values, bool opus);

} // namespace sondrel
