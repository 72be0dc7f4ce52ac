#pragma once
#include <QString>
#include <cstdint>

namespace sondrel {

// A playing time as a player shows it: "3:45", "1:02:03" from an hour on (whole seconds,
// rounded down).
QString playTimeText(std::int64_t ms);
// Elapsed and total time of the file being played: "0:12 / 3:45"; only the elapsed time when
// the total is not known (negative). The elapsed time never reads past the total.
QString playPositionText(std::int64_t elapsedMs, std::int64_t totalMs);

} // namespace sondrel
