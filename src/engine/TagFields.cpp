#include "TagFields.h"

#include "TagFiles.h"

#include <QSet>

namespace sondrel {

QString tooBigNote(qint64 bytes)
{
    return QStringLiteral("a picture of %1 MiB was not carried over: pictures over %2 MiB are left out")
        .arg(QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1))
        .arg(MaxPictureBytes / (1024 * 1024));
}

namespace {

struct NumberAndTotal {
    const char* number;
    const char* total;
    const char* otherTotal;
};

constexpr NumberAndTotal kNumbers[] = {
    {"TRACKNUMBER", "TRACKTOTAL", "TOTALTRACKS"},
    {"DISCNUMBER", "DISCTOTAL", "TOTALDISCS"},
};

} // namespace

bool notCarried(const QString& key)
{
    static const QSet<QString> keys{
        QStringLiteral("ENCODER"),     QStringLiteral("ENCODING"),      QStringLiteral("ENCODEDBY"),
        QStringLiteral("ENCODERSETTINGS"), QStringLiteral("ENCODER_OPTIONS"), QStringLiteral("ITUNSMPB"),
        QStringLiteral("LENGTH"),      QStringLiteral("COVERART"),      QStringLiteral("COVERARTMIME"),
        QStringLiteral("METADATA_BLOCK_PICTURE"),
    };
    return key.isEmpty() || keys.contains(key.toUpper());
}

QString sniffMime(const QByteArray& d)
{
    if (d.startsWith("\xFF\xD8\xFF"))
        return QStringLiteral("image/jpeg");
    if (d.startsWith("\x89PNG"))
        return QStringLiteral("image/png");
    if (d.startsWith("GIF8"))
        return QStringLiteral("image/gif");
    if (d.startsWith("BM"))
        return QStringLiteral("image/bmp");
    if (d.size() >= 12 && d.startsWith("RIFF") && d.mid(8, 4) == "WEBP")
        return QStringLiteral("image/webp");
    return {};
}

void takePicture(CarriedTags& t, Picture p)
{
    if (p.data.isEmpty() || p.mime == QLatin1String("-->")) // "-->": a link, not a picture
        return;
    if (p.data.size() > MaxPictureBytes) {
        t.notes << tooBigNote(p.data.size());
        return;
    }
    if (p.mime.isEmpty() || !p.mime.contains(QLatin1Char('/')))
        p.mime = sniffMime(p.data);
    t.pictures.push_back(std::move(p));
}

void takeFields(CarriedTags& t, const TagLib::PropertyMap& map)
{
    for (const auto& [key, values] : map) {
        const QString name = toQ(key).toUpper();
        if (notCarried(name) || t.fields.contains(name) || values.isEmpty())
            continue;
        t.fields[name] = fromList(values);
    }
}

QByteArray toBytes(const TagLib::ByteVector& v) { return QByteArray(v.data(), qsizetype(v.size())); }
TagLib::ByteVector toVector(const QByteArray& b) { return TagLib::ByteVector(b.constData(), unsigned(b.size())); }

TagLib::StringList toList(const QStringList& values)
{
    TagLib::StringList list;
    for (const QString& v : values)
        list.append(toT(v));
    return list;
}

QStringList fromList(const TagLib::StringList& values)
{
    QStringList list;
    for (const auto& v : values)
        list << toQ(v);
    return list;
}

TagLib::PropertyMap propertiesOf(const TagFieldMap& fields)
{
    TagLib::PropertyMap map;
    for (auto it = fields.cbegin(); it != fields.cend(); ++it)
        map.insert(toT(it.key()), toList(it.value()));
    return map;
}

QString joined(const TagLib::StringList& values)
{
    return fromList(values).join(QLatin1String(ValueSeparator));
}

TagFieldMap totalsInNumbers(TagFieldMap fields)
{
    for (const NumberAndTotal& n : kNumbers) {
        const QString number = QLatin1String(n.number);
        QString total = fields.value(QLatin1String(n.total)).value(0);
        if (total.isEmpty())
            total = fields.value(QLatin1String(n.otherTotal)).value(0);
        if (total.isEmpty() || !fields.contains(number))
            continue;
        QStringList& numbers = fields[number];
        if (!numbers.isEmpty() && !numbers.front().contains(QLatin1Char('/')))
            numbers.front() += QLatin1Char('/') + total.trimmed();
        fields.remove(QLatin1String(n.total));
        fields.remove(QLatin1String(n.otherTotal));
    }
    return fields;
}

TagFieldMap totalsApart(TagFieldMap fields)
{
    for (const NumberAndTotal& n : kNumbers) {
        const QString number = QLatin1String(n.number);
        const QString value = fields.value(number).value(0);
        if (!value.contains(QLatin1Char('/')))
            continue;
        const QString total = value.section(QLatin1Char('/'), 1).trimmed();
        fields[number].front() = value.section(QLatin1Char('/'), 0, 0).trimmed();
        if (!total.isEmpty() && !fields.contains(QLatin1String(n.total)) && !fields.contains(QLatin1String(n.otherTotal)))
            fields[QLatin1String(n.total)] = QStringList{total};
    }
    return fields;
}

TagFieldMap joinedFields(TagFieldMap fields, const QStringList& names)
{
    for (const QString& name : names) {
        auto it = fields.find(name);
        if (it != fields.end() && it->size() > 1)
            *it = QStringList{it->join(QLatin1String(ValueSeparator))};
    }
    return fields;
}

std::vector<const Picture*> frontFirst(const std::vector<Picture>& pictures)
{
    std::vector<const Picture*> ordered;
    for (const Picture& p : pictures)
        if (p.type == 3)
            ordered.push_back(&p);
    for (const Picture& p : pictures)
        if (p.type != 3)
            ordered.push_back(&p);
    return ordered;
}

unsigned yearOfDate(const QString& date)
{
    const QString digits = date.trimmed().left(4);
    bool ok = false;
    const unsigned year = digits.size() == 4 ? digits.toUInt(&ok) : 0;
    return ok ? year : 0;
}

unsigned yearOfProperties(const TagLib::PropertyMap& map)
{
    return map.contains("DATE") && !map["DATE"].isEmpty() ? yearOfDate(toQ(map["DATE"].front())) : 0;
}

void setValuesOver(TagLib::Tag* tag, const TagValues& now, const TagValues& v)
{
    if (v.title != now.title)
        tag->setTitle(toT(v.title));
    if (v.artist != now.artist)
        tag->setArtist(toT(v.artist));
    if (v.album != now.album)
        tag->setAlbum(toT(v.album));
    if (v.comment != now.comment)
        tag->setComment(toT(v.comment));
    if (v.genre != now.genre)
        tag->setGenre(toT(v.genre));
    if (v.year == 0 || now.year != v.year)
        tag->setYear(v.year);
    if (v.track == 0 || now.track != v.track)
        tag->setTrack(v.track);
}

} // namespace sondrel
