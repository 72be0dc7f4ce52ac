#pragma once
#include "FileNameRules.h"

#include <QString>
#include <vector>

namespace sondrel {

struct TrackInfo;
struct OtherTags;

// The values a name pattern is filled with, for one row. Numbers are texts as tags hold them
// ("3", "03/12", "2001-05-03"): their leading digits are the number, and a text that does not
// start with a digit is used as it is.
struct NameValues {
    QString name;   // the row's caption without its extension
    QString title;
    QString artist;
    QString album;
    QString albumArtist;
    QString track;
    QString trackTotal;
    QString disc;
    QString discTotal;
    QString year;
    QString genre;
    QString composer;
    QString folder; // the name of the source's folder
    QString format; // the output format's name
};

// The record's values; a track or year of 0 is no number.
NameValues nameValuesOf(const TrackInfo& info);
// The record's values with the source's other tags.
NameValues nameValuesOf(const TrackInfo& info, const OtherTags& other);

// A compiled output name pattern. Text outside braces is kept; "/" outside braces starts a
// folder. "{field}" is the field's value, "{field:2}" or "{field:02}" a number padded with
// zeros to that width, "{a|b|"text"}" the first alternative that is not empty, where a quoted
// text is always taken ("" for nothing). A value, or a quoted text, never makes a folder: its
// "/" becomes "-". Values are trimmed; one of only spaces, and a number 0, are empty. A group
// whose fields are all empty gives its first field's stand-in: "Unknown Artist", "Unknown
// Title" and so on for texts; for a number nothing, or zeros of its width when padded ("00").
//
// The fields: name, title, artist, album, albumartist, track, tracktotal, disc, disctotal,
// year, genre, composer, folder, format.
class NamePattern {
public:
    explicit NamePattern(const QString& text);

    bool isValid() const { return m_error.isEmpty(); }
    // Why the text is no pattern, naming the place ("at character 7"); empty when it is one.
    QString error() const { return m_error; }

    // The relative path below the output folder for values: components joined by "/", each
    // fitted to rules and to MaxNameBytes, the extension (".mp3") on the last one. No
    // component is empty, "." or "..". Empty for a pattern that is not valid.
    QString expand(const NameValues& values, const QString& extension, NameRules rules) const;

    // The names of the fields, in the order above.
    static QStringList fieldNames();

private:
    enum class Field { Name, Title, Artist, Album, AlbumArtist, Track, TrackTotal, Disc, DiscTotal,
                       Year, Genre, Composer, Folder, Format };
    struct Alternative {
        bool quoted = false;
        Field field = Field::Name;
        int width = 0; // pad a number to this many digits; 0 for none
        QString text;  // a quoted alternative's text
    };
    // A piece of a component: literal text, or a group of alternatives when there are any.
    struct Piece {
        QString literal;
        std::vector<Alternative> alternatives;
    };
    using Component = std::vector<Piece>;

    bool parseGroup(const QString& text, qsizetype open, qsizetype close, Piece* piece);
    bool parseAlternative(QStringView text, qsizetype at, Alternative* alternative);
    bool fail(const QString& message);
    QString expandGroup(const Piece& piece, const NameValues& values) const;

    std::vector<Component> m_components;
    QString m_error;
};

} // namespace sondrel
