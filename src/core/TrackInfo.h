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

// The one mapping between a row's record and a file's tag values: the engine's
// AudioInformation, or anything with its seven members (this layer knows no audio).
// The values a file read as, for a row.
template <class Tags>
TrackInfo trackInfoOf(const Tags& tags)
{
    return TrackInfo{tags.infoTitle, tags.infoArtist, tags.infoAlbum, tags.infoGenreS, tags.infoTrack,
                     tags.infoYear, tags.infoComments};
}

// A row's record as values to write: a track number keeps its low 16 bits.
template <class Tags>
Tags tagsOf(const TrackInfo& info)
{
    Tags tags;
    tags.infoTitle = info.title;
    tags.infoArtist = info.artist;
    tags.infoAlbum = info.album;
    tags.infoGenreS = info.genre;
    tags.infoComments = info.comment;
    tags.infoYear = info.year;
    tags.infoTrack = static_cast<std::int16_t>(static_cast<std::uint16_t>(info.track & 0xFFFF));
    return tags;
}

} // namespace sondrel
