#pragma once
// The tags of one track of an album image: what its output carries of the image's own fields,
// and the values its name and its album are made from. The sheet's fields take the place of
// the image's; what describes the whole image or another track is left out.
#include "NamePattern.h"
#include "OtherTags.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace sondrel {

class FileListModel;

// The fields a track's output carries: the image's (fields by TagLib's property names) less
// its cue sheet, its loudness values, and what names one track (title, number, disc, ISRC,
// track ids, lyrics), with the sheet's fields over them. Album-wide fields (album artist,
// composer, date, label, totals of discs, ...) stay.
QMap<QString, QStringList> trackFields(const QMap<QString, QStringList>& image,
                                       const QMap<QString, QStringList>& sheet);

// The other tags of a track: the sheet's, with the image's album artist, composer and disc
// total where the sheet gives none.
OtherTags trackOtherTags(const OtherTags& image, const QMap<QString, QStringList>& sheet);

// The values a list row's output name and album are made from: its record as the tag editor
// left it, with the other tags read when it was added (a track's as trackOtherTags).
NameValues rowNameValues(const FileListModel& list, int row);

} // namespace sondrel
