#pragma once
// What the tag modules share: the fields that are not carried, pictures taken with their size
// limit and put front cover first, the track and disc totals as each format keeps them, several
// values joined for a place that holds one, and the seven values written over a tag.
#include "CarriedTags.h"
#include "TagModule.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <vector>

#include <taglib/tag.h>
#include <taglib/tbytevector.h>
#include <taglib/tpropertymap.h>

namespace sondrel {

using TagFieldMap = QMap<QString, QStringList>;

// Fields about how a file itself was encoded, and pictures kept as text by old taggers.
bool notCarried(const QString& key);
// "image/jpeg", "image/png", ... by the picture's first bytes; empty when unknown.
QString sniffMime(const QByteArray& data);
// The note on a picture left out for its size.
QString tooBigNote(qint64 bytes);
// Adds p to t unless it is empty, a link or larger than MaxPictureBytes (a note then).
void takePicture(CarriedTags& t, Picture p);
// The fields of map under upper-case names, leaving out those not carried and those t has.
void takeFields(CarriedTags& t, const TagLib::PropertyMap& map);

QByteArray toBytes(const TagLib::ByteVector& v);
TagLib::ByteVector toVector(const QByteArray& b);
TagLib::StringList toList(const QStringList& values);
QStringList fromList(const TagLib::StringList& values);
TagLib::PropertyMap propertiesOf(const TagFieldMap& fields);
QString joined(const TagLib::StringList& values);

// TRACKTOTAL and DISCTOTAL (or TOTALTRACKS, TOTALDISCS) put into their numbers as "3/12",
// as ID3v2, ASF, MP4 and APE keep them.
TagFieldMap totalsInNumbers(TagFieldMap fields);
// "3/12" split into TRACKNUMBER 3 and TRACKTOTAL 12 (the same for discs), as Xiph comments
// keep them.
TagFieldMap totalsApart(TagFieldMap fields);
// The fields named joined into one value each, for a format with room for one.
TagFieldMap joinedFields(TagFieldMap fields, const QStringList& names);

// The pictures with the front covers first, where players look; otherwise in their order.
std::vector<const Picture*> frontFirst(const std::vector<Picture>& pictures);

// The year at the start of a date ("2003-05-12"), when its first four characters are digits.
unsigned yearOfDate(const QString& date);
// The year of a DATE field among a tag's properties (0 when none).
unsigned yearOfProperties(const TagLib::PropertyMap& map);

// The seven values through TagLib's common interface, each one only where it differs from
// what the tag holds (now): setting a field replaces all its values, and a fuller date or
// track number ("2003-05-12", "5/12") holding the very year or number stays.
void setValuesOver(TagLib::Tag* tag, const TagValues& now, const TagValues& v);

} // namespace sondrel
