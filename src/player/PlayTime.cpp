#include "PlayTime.h"

#include <algorithm>

namespace sondrel {

QString playTimeText(std::int64_t ms)
{
    const std::int64_t seconds = std::max<std::int64_t>(0, ms) / 1000;
    const std::int64_t hours = seconds / 3600;
    const QString minSec = QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (hours == 0)
        return QStringLiteral("%1:%2").arg(seconds / 60).arg(minSec);
    return QStringLiteral("%1:%2:%3").arg(hours).arg((seconds / 60) % 60, 2, 10, QLatin1Char('0')).arg(minSec);
}

QString playPositionText(std::int64_t elapsedMs, std::int64_t totalMs)
{
    if (totalMs < 0)
        return playTimeText(elapsedMs);
    return playTimeText(std::min(elapsedMs, totalMs)) + QStringLiteral(" / ") + playTimeText(totalMs);
}

} // namespace sondrel
