#pragma once
#include <QMap>
#include <QString>
#include <QStringList>

namespace sondrel {

// A source's tags beyond its record (TrackInfo) that output names are made from, as the file
// holds them ("3", "1/2"). Kept for a row only when it has any.
struct OtherTags {
    QString albumArtist;
    QString trackTotal;
    QString disc;
    QString discTotal;
    QString composer;

    bool empty() const
    {
        return albumArtist.isEmpty() && trackTotal.isEmpty() && disc.isEmpty() && discTotal.isEmpty()
            && composer.isEmpty();
    }
    bool operator==(const OtherTags&) const = default;
};

// The values of fields (a file's fields by TagLib's format-neutral names, several values
// joined with "; "). A total given only after the number ("TRACKNUMBER=3/12") is taken from
// there.
OtherTags otherTagsOf(const QMap<QString, QStringList>& fields);

} // namespace sondrel
