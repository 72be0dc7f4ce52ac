#include "RunTimeText.h"

#include <algorithm>
#include <cmath>

namespace sondrel {

double remainingSeconds(double elapsedSeconds, double shareDone)
{
    // The first second and the first percent say little about the rest.
    if (elapsedSeconds < 1.0 || shareDone < 0.01)
        return -1;
    if (shareDone >= 1.0)
        return 0;
    return elapsedSeconds * (1.0 - shareDone) / shareDone;
}

QString clockText(double seconds)
{
    const long long s = std::llround(std::max(0.0, seconds));
    const auto two = [](long long v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    if (s >= 3600)
        return QString::number(s / 3600) + QLatin1Char(':') + two(s / 60 % 60) + QLatin1Char(':') + two(s % 60);
    return QString::number(s / 60) + QLatin1Char(':') + two(s % 60);
}

QString runTimeText(double elapsedSeconds, double remaining)
{
    QString text = clockText(elapsedSeconds) + QStringLiteral(" elapsed");
    if (remaining >= 0)
        text += QStringLiteral(", ") + clockText(remaining) + QStringLiteral(" left");
    return text;
}

} // namespace sondrel
