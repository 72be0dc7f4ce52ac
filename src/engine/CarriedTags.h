#pragma once
// Every tag and picture of a file, in a form any format can take: read from a conversion's
// source and written into its output together with the seven values of the list's track record
// (writeFileTags in FileTags.h).
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace sondrel {

struct Picture {
    QByteArray data;
    QString mime;        // "image/jpeg", "image/png", ...
    int type = 3;        // as ID3v2 and FLAC number it: 3 front cover, 0 other, ...
    QString description;
    // As FLAC keeps them; 0 where the source did not say.
    int width = 0;
    int height = 0;
    int depth = 0;   // bits per pixel
    int colors = 0;  // of an indexed picture
};

struct CarriedTags {
    // Text tags by TagLib's format-neutral names (ALBUMARTIST, DISCNUMBER, COMPOSER, LYRICS,
    // REPLAYGAIN_TRACK_GAIN, MUSICBRAINZ_TRACKID, ...), each with its values.
    QMap<QString, QStringList> fields;
    std::vector<Picture> pictures;
    // The three-letter language ID3v2 gives COMMENT and LYRICS ("eng"), where the source said.
    QMap<QString, QByteArray> languages;
    // What was not taken, for the row's tooltip (a picture too big to carry).
    QStringList notes;
    bool empty() const { return fields.isEmpty() && pictures.empty(); }
};

// Pictures larger than this are not carried: no player shows them, and they would make every
// output file that much bigger.
inline constexpr qint64 MaxPictureBytes = 16 * 1024 * 1024;

// Every tag and picture of path (readFileTags(path).carried). Tags that cannot be parsed read
// as none; a file that cannot be read at all throws EngineError. Tags that describe the
// source's own encoding (encoder, gapless data) are not taken: they would be wrong for a new
// file.
CarriedTags readCarriedTags(const QString& path);

// The picture kept beside a source, for a source without one of its own: cover, folder or
// front (in this order), .jpg, .jpeg or .png, in any letter case. Only a regular file is read,
// never through a link, and never more than MaxPictureBytes of it. None when there is none; a
// picture too big or not an image, or a link, pipe or device of such a name, adds a note.
std::optional<Picture> folderPicture(const QString& sourcePath, QStringList* notes);

} // namespace sondrel
