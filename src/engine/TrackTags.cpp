#include "TrackTags.h"

#include "TrackInfo.h"

namespace sondrel {

TrackInfo trackInfoOf(const AudioInformation& tags)
{
    return TrackInfo{tags.infoTitle, tags.infoArtist, tags.infoAlbum, tags.infoGenreS, tags.infoTrack,
                     tags.infoYear, tags.infoComments};
}

AudioInformation audioInformationOf(const TrackInfo& info)
{
    AudioInformation tags;
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
