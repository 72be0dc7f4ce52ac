#include "OtherTags.h"

namespace sondrel {

namespace {

QString joined(const QMap<QString, QStringList>& fields, const char* key)
{
    return fields.value(QString::fromLatin1(key)).join(QStringLiteral("; ")).trimmed();
}

// The total after a "/" of a number such as "3/12"; empty when there is none.
QString totalAfterSlash(const QString& number)
{
    const qsizetype slash = number.indexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : number.mid(slash + 1).trimmed();
}

} // namespace

OtherTags otherTagsOf(const QMap<QString, QStringList>& fields)
{
    OtherTags t;
    t.albumArtist = joined(fields, "ALBUMARTIST");
    t.composer = joined(fields, "COMPOSER");
    t.disc = joined(fields, "DISCNUMBER");
    t.trackTotal = joined(fields, "TRACKTOTAL");
    if (t.trackTotal.isEmpty())
        t.trackTotal = joined(fields, "TOTALTRACKS");
    if (t.trackTotal.isEmpty())
        t.trackTotal = totalAfterSlash(joined(fields, "TRACKNUMBER"));
    t.discTotal = joined(fields, "DISCTOTAL");
    if (t.discTotal.isEmpty())
        t.discTotal = joined(fields, "TOTALDISCS");
    if (t.discTotal.isEmpty())
        t.discTotal = totalAfterSlash(t.disc);
    return t;
}

} // namespace sondrel
