#pragma once
#include <QString>
#include <cstdint>

namespace sondrel {

// The tags of one file at a time, read with LoadFromFile and written with SaveToFile
// (through TagLib). A file without tags, or with tags that cannot be parsed, loads as empty
// texts and zeros; a file that cannot be read at all throws EngineError.
class AudioInformation {
public:
    bool StartOption = false; // kept for the start-up order; switches nothing on

    QString infoTitle;
    QString infoArtist;
    QString infoAlbum;
    QString infoGenreS;   // the genre as text (numeric ID3v1 genres become their names)
    QString infoComments;
    std::int32_t infoYear = 0;
    std::int16_t infoTrack = 0;

    void LoadFromFile(const QString& path);
    // Writes all seven values into path, which must be closed: MP3 as ID3v2.3 + ID3v1,
    // OGG as Xiph comments, WMA as ASF attributes, WAV as RIFF INFO + ID3v2.
    void SaveToFile(const QString& path) const;
};

} // namespace sondrel
