#pragma once
#include <QString>
#include <cstdint>

namespace sondrel {

// The tags kept for one list row: read from the source when the row is added, edited in
// the tag editor, and written into the converted file.
struct TrackInfo {
    QString title;
    QString artist;
    QString album;
    QString genre;
    std::int32_t track = 0;
    std::int32_t year = 0;
    QString comment;

    bool operator==(const TrackInfo&) const = default;
};

} // namespace sondrel
