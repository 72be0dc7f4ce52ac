#include "ReplayGainTags.h"

#include <algorithm>
#include <cmath>

namespace sondrel {

QString gainText(double db)
{
    // Rounded first, so that -0.004 does not become "-0.00".
    const double rounded = std::round(db * 100.0) / 100.0;
    return QString::number(rounded == 0.0 ? 0.0 : rounded, 'f', 2) + QStringLiteral(" dB");
}

QString peakText(double peak)
{
    return QString::number(std::max(0.0, peak), 'f', 6);
}

int r128Gain(double gainDb)
{
    const double q78 = std::round((gainDb - 5.0) * 256.0);
    return int(std::clamp(q78, -32768.0, 32767.0));
}

bool isLoudnessField(const QString& name)
{
    return name.startsWith(QLatin1String("REPLAYGAIN_"), Qt::CaseInsensitive)
        || name.startsWith(QLatin1String("R128_"), Qt::CaseInsensitive);
}

void dropLoudnessFields(QMap<QString, QStringList>& fields)
{
    for (auto it = fields.begin(); it != fields.end();) {
        if (isLoudnessField(it.key()))
            it = fields.erase(it);
        else
            ++it;
    }
}

void setLoudnessFields(QMap<QString, QStringList>& fields, const ReplayGainValues& v, bool opus)
{
    dropLoudnessFields(fields);
    if (opus) {
        if (v.trackGain)
            fields.insert(QStringLiteral("R128_TRACK_GAIN"), {QString::number(r128Gain(*v.trackGain))});
        if (v.album && v.albumGain)
            fields.insert(QStringLiteral("R128_ALBUM_GAIN"), {QString::number(r128Gain(*v.albumGain))});
        return;
    }
    if (v.trackGain) {
        fields.insert(QStringLiteral("REPLAYGAIN_TRACK_GAIN"), {gainText(*v.trackGain)});
        fields.insert(QStringLiteral("REPLAYGAIN_TRACK_PEAK"), {peakText(v.trackPeak)});
    }
    if (v.album && v.albumGain) {
        fields.insert(QStringLiteral("REPLAYGAIN_ALBUM_GAIN"), {gainText(*v.albumGain)});
        fields.insert(QStringLiteral("REPLAYGAIN_ALBUM_PEAK"), {peakText(v.albumPeak)});
    }
}

} // namespace sondrel
