#include "AudioInformation.h"

#include "EngineError.h"
#include "FileTags.h"

namespace sondrel {

void AudioInformation::LoadFromFile(const QString& path)
{
    const AudioInformation read = readFileTags(path, false).values;
    infoTitle = read.infoTitle;
    infoArtist = read.infoArtist;
    infoAlbum = read.infoAlbum;
    infoGenreS = read.infoGenreS;
    infoComments = read.infoComments;
    infoYear = read.infoYear;
    infoTrack = read.infoTrack;
}

QStringList AudioInformation::SaveToFile(const QString& path, AudioInformation* written) const
{
    const TagsWritten result = writeFileTags(path, CarriedTags{}, *this);
    if (written) {
        *written = result.values;
        return result.notes;
    }
    // TagLib reports success on some damaged files (e.g. a WAV without a proper chunk
    // list) where nothing readable was written; read the values back to be sure.
    AudioInformation check;
    check.LoadFromFile(path);
    if (!check.SameValues(result.values))
        throw EngineError(QStringLiteral("%1: cannot write the tags: the file's structure is damaged: the tags do not "
                                         "read back")
                              .arg(path)
                              .toStdString());
    return result.notes;
}

bool AudioInformation::SameValues(const AudioInformation& o) const
{
    return infoTitle == o.infoTitle && infoArtist == o.infoArtist && infoAlbum == o.infoAlbum
        && infoComments == o.infoComments && infoYear == o.infoYear && std::uint16_t(infoTrack) == std::uint16_t(o.infoTrack);
}

} // namespace sondrel
