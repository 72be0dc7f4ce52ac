#pragma once
#include <QLocale>
#include <QString>
#include <cstdint>

namespace sondrel {

// The "Size" cell: megabytes rounded to at most five significant digits and at most two
// decimals, printed with two decimals and the locale's decimal separator, then "MB".
QString sizeText(std::int64_t bytes, const QLocale& locale = QLocale());

// The "Time" cell: whole seconds as h:mm:ss, each part at least two digits.
QString timeText(std::int64_t durationMs);

} // namespace sondrel
