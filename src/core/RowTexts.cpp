#include "RowTexts.h"

#include <cmath>

namespace sondrel {

QString sizeText(std::int64_t bytes, const QLocale& locale)
{
    const double mb = double(bytes) / 1024.0 / 1024.0;
    int integerDigits = 1;
    for (double v = mb; v >= 10.0; v /= 10.0)
        ++integerDigits;
    const int decimals = std::max(0, std::min(2, 5 - integerDigits));
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(mb * scale) / scale;
    if (integerDigits > 5) {
        // Past five integer digits the value keeps five significant digits.
        const double step = std::pow(10.0, integerDigits - 5);
        rounded = std::round(mb / step) * step;
    }
    QLocale l = locale;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l.toString(rounded, 'f', 2) + QStringLiteral("MB");
}

QString timeText(std::int64_t durationMs)
{
    const std::int64_t s = durationMs / 1000;
    const std::int64_t h = s / 3600;
    const std::int64_t m = (s - h * 3600) / 60;
    const std::int64_t sec = s % 60;
    const auto two = [](std::int64_t v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return two(h) + QLatin1Char(':') + two(m) + QLatin1Char(':') + two(sec);
}

} // namespace sondrel
