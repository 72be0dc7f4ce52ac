#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>

namespace sondrel {

// The tags of one file at a time, read with LoadFromFile and written with SaveToFile
// (through TagLib, FileTags.h). A file without tags, or with tags that cannot be parsed, loads
// as empty texts and zeros; a file that cannot be read at all throws EngineError. A field with
// several values (two artists) reads as one text, the values joined with "; ".
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
    // Writes all seven values into path, which must be closed, over the tags it has: MP3 as
    // ID3v2.3 + ID3v1, OGG as Xiph comments, WMA as ASF attributes, WAV as RIFF INFO + ID3v2. A value the
    // format cannot hold is left out or shortened rather than refused (a year beyond four
    // digits in ID3v2.3, a WMA title, artist or comment beyond 32766 characters); the result
    // says so, one human-readable note per value, e.g. "year 12345 not written: MP3 tags hold
    // four digits". Empty when everything was written as given.
    // Every write is checked: a full disk fails with the system's reason. Without `written`,
    // the values are read back from the file afterwards and a file they do not read back from
    // fails; with it, `written` receives the values as written (fitted to the format) and
    // reading them back is left to the caller.
    QStringList SaveToFile(const QString& path, AudioInformation* written = nullptr) const;
    // Whether the values a file reads back as are these (the genre aside: a number written as
    // text reads back as its name).
    bool SameValues(const AudioInformation& other) const;
};

} // namespace sondrel
