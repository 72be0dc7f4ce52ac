#include "TrackTags.h"

#include "FileListModel.h"
#include "ReplayGainTags.h"

#include <array>

namespace sondrel {

namespace {

// Fields of the image that describe the whole image or one track of it.
constexpr std::array<const char*, 11> ImageOnlyFields{
    "CUESHEET", "TITLE", "TRACKNUMBER", "TRACKTOTAL", "TOTALTRACKS", "DISCNUMBER",
    "ISRC", "MUSICBRAINZ_TRACKID", "MUSICBRAINZ_RELEASETRACKID", "LYRICS", "UNSYNCEDLYRICS"};

bool describesImageOnly(const QString& name)
{
    const QString upper = name.toUpper();
    for (const char* field : ImageOnlyFields) {
        if (upper == QLatin1String(field))
            return true;
    }
    // A sheet's per-track tags kept beside an embedded sheet ("CUE_TRACK03_TITLE").
    return upper.startsWith(QLatin1String("CUE_TRACK")) || isLoudnessField(upper);
}

} // namespace

QMap<QString, QStringList> trackFields(const QMap<QString, QStringList>& image,
                                       const QMap<QString, QStringList>& sheet)
{
    QMap<QString, QStringList> fields;
    for (auto it = image.cbegin(); it != image.cend(); ++it) {
        if (!describesImageOnly(it.key()))
            fields.insert(it.key(), it.value());
    }
    for (auto it = sheet.cbegin(); it != sheet.cend(); ++it) {
        // The image may spell the name in another case: the sheet's takes its place all the same.
        for (auto same = fields.begin(); same != fields.end();) {
            if (same.key().compare(it.key(), Qt::CaseInsensitive) == 0)
                same = fields.erase(same);
            else
                ++same;
        }
        fields.insert(it.key(), it.value());
    }
    return fields;
}

OtherTags trackOtherTags(const OtherTags& image, const QMap<QString, QStringList>& sheet)
{
    OtherTags tags = otherTagsOf(sheet);
    if (tags.albumArtist.isEmpty())
        tags.albumArtist = image.albumArtist;
    if (tags.composer.isEmpty())
        tags.composer = image.composer;
    if (tags.discTotal.isEmpty())
        tags.discTotal = image.discTotal;
    return tags;
}

NameValues rowNameValues(const FileListModel& list, int row)
{
    OtherTags other = list.otherTags(row);
    if (const std::optional<TrackRange> range = list.trackRange(row))
        other = trackOtherTags(other, range->fields);
    return nameValuesOf(list.trackInfo(row), other);
}

} // namespace sondrel
