#pragma once
#include <QStringView>

namespace sondrel {

// The order of names in the list and in a folder scan: runs of digits compare by their value
// ("a 3" before "a 20"), everything else without regard to case ("B2" before "b10"). Names
// equal in that order (which differ only in case or in leading zeros) are ordered by their
// exact text, so the order is total and the same in every locale and on every run. Safe on
// any thread.
int naturalCompare(QStringView a, QStringView b);
inline bool naturalLess(QStringView a, QStringView b) { return naturalCompare(a, b) < 0; }

} // namespace sondrel
