#pragma once
#include <QMap>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace sondrel {

// A row whose audio is one track of a longer file: an album kept as one image and described by
// a cue sheet. The row's path is the image; the track is the range of sample frames from start
// up to (not including) end.
struct TrackRange {
    QString sheet;          // the cue sheet; the image itself for a sheet the image carries
    int number = 0;         // the track's number in the sheet
    std::int64_t start = 0; // its first sample frame in the image
    std::int64_t end = -1;  // the frame after its last; -1: to the image's end
    std::int64_t bytes = -1; // its share of the image's size, for the Size cell
    // Tags the sheet gives beyond the row's record (album artist, composer, track total,
    // disc, ...), by TagLib's property names ("ALBUMARTIST", "TRACKNUMBER" as "3/12"): in the
    // track's output they take the place of the image's own.
    QMap<QString, QStringList> fields;

    bool operator==(const TrackRange&) const = default;
};

} // namespace sondrel
