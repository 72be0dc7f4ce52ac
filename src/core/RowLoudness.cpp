#include "RowLoudness.h"

#include <QLocale>
#include <QStringList>
#include <cmath>

namespace sondrel {

namespace {

// With the locale's decimal separator, as the Size cell; never "-0.0".
QString number(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::round(value * scale) / scale;
    return QLocale().toString(rounded == 0 ? 0.0 : rounded, 'f', decimals);
}

QString peakText(double peak)
{
    return peak > 0 ? number(20.0 * std::log10(peak), 1) : QStringLiteral("-inf");
}

QString measureText(const std::optional<double>& lufs, const std::optional<double>& gain)
{
    if (!lufs)
        return QStringLiteral("silent");
    return QStringLiteral("%1 LUFS, gain %2 dB").arg(number(*lufs, 1), gain ? number(*gain, 2) : QStringLiteral("0"));
}

} // namespace

QString loudnessText(const RowLoudness& l)
{
    if (!l.lufs)
        return QStringLiteral("silent");
    return QStringLiteral("%1 LUFS, %2 dBTP").arg(number(*l.lufs, 1), peakText(l.peak));
}

QString loudnessToolTip(const RowLoudness& l)
{
    QStringList lines{QStringLiteral("Track: ") + measureText(l.lufs, l.gain)};
    if (l.albumKnown)
        lines << QStringLiteral("Album: ") + measureText(l.albumLufs, l.albumGain);
    return lines.join(QLatin1Char('\n'));
}

} // namespace sondrel
