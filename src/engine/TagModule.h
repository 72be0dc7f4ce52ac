#pragma once
// One tag format as a file holds it (ID3v2, ID3v1, RIFF INFO, ASF, MP4, Xiph comments, APE):
// it reads every field and picture into CarriedTags and the seven values of the track record
// out of its tag, and writes both into it. A file's kind puts its formats together
// (TaggedFile.h).
#include "CarriedTags.h"

#include <QString>
#include <QStringList>

namespace sondrel {

// The seven values of the track record as a tag holds them. A field with several values reads
// as one text, the values joined with "; " (ValueSeparator).
struct TagValues {
    QString title, artist, album, genre, comment;
    unsigned year = 0;
    unsigned track = 0;
};

inline constexpr char ValueSeparator[] = "; ";

class TagModule {
public:
    virtual ~TagModule() = default;
    // Adds the tag's fields and pictures to into; a field into already has stays as it is.
    virtual void read(CarriedTags& into) const = 0;
    virtual TagValues values() const = 0;
    // Replaces every field and picture of the tag with those of tags, as the format holds
    // them. Returns notes on what it could not hold.
    virtual QStringList carry(const CarriedTags& tags) = 0;
    // Writes the seven values over the tag. A value that reads as what the tag holds already
    // stays as it is (several artists, a fuller date, "3/12"); an empty text or a zero
    // removes its field.
    virtual void setValues(const TagValues& v) = 0;
};

} // namespace sondrel
