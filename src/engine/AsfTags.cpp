#include "AsfTags.h"

#include "Genres.h"
#include "TagFields.h"
#include "TagFiles.h"

#include <taglib/asftag.h>
#include <taglib/tiostream.h>

namespace sondrel {

namespace {

using TagLib::ASF::Attribute;

// The text attributes of key, joined.
QString attributeText(const TagLib::ASF::Tag* tag, const char* key)
{
    const auto& map = tag->attributeListMap();
    if (!map.contains(key))
        return {};
    QStringList values;
    for (const Attribute& a : map[key])
        values << toQ(a.toString());
    return values.join(QLatin1String(ValueSeparator));
}

Attribute pictureAttribute(const Picture& p)
{
    TagLib::ASF::Picture picture;
    picture.setMimeType(toT(p.mime));
    picture.setType(TagLib::ASF::Picture::Type(p.type));
    picture.setDescription(toT(p.description));
    picture.setPicture(toVector(p.data));
    return Attribute(picture);
}

// Attributes of other programs' naming (not "WM/...") that TagLib's property names do not
// cover, and the WM/Picture attributes.
void takeExtras(CarriedTags& t, const TagLib::ASF::Tag* tag)
{
    for (const auto& [key, list] : tag->attributeListMap()) {
        if (key == "WM/Picture") {
            for (const Attribute& a : list) {
                const TagLib::ASF::Picture p = a.toPicture();
                if (p.isValid())
                    takePicture(t, {toBytes(p.picture()), toQ(p.mimeType()), int(p.type()), toQ(p.description())});
            }
            continue;
        }
        const QString name = toQ(key).toUpper();
        if (key.startsWith("WM/") || notCarried(name) || t.fields.contains(name) || list.isEmpty())
            continue;
        TagLib::ASF::Tag probe;
        probe.setAttribute(key, list.front());
        if (!probe.properties().isEmpty())
            continue;
        QStringList values;
        for (const Attribute& a : list)
            if (a.type() == Attribute::UnicodeType)
                values << toQ(a.toString());
        if (!values.isEmpty())
            t.fields[name] = values;
    }
}

// TagLib puts the first value of a name into the extended content description and the others
// (and any over 64 KiB) into the metadata library, which our WMA files (FFmpeg's layout) keep
// before it: readers meet the library's values first. The last value goes first, so that the
// values read in their order.
void inReadingOrder(TagLib::ASF::Tag* tag)
{
    for (const auto& [key, list] : tag->attributeListMap()) {
        if (list.size() < 2 || list.back().dataSize() > 65535)
            continue;
        TagLib::ASF::AttributeList ordered;
        ordered.append(list.back());
        for (auto it = list.begin(); std::next(it) != list.end(); ++it)
            ordered.append(*it);
        tag->setAttribute(key, ordered);
    }
}

class AsfModule : public TagModule {
public:
    explicit AsfModule(TagLib::ASF::Tag* tag) : m_tag(tag) {}

    void read(CarriedTags& t) const override
    {
        takeFields(t, m_tag->properties());
        takeExtras(t, m_tag);
    }

    TagValues values() const override
    {
        TagValues v{toQ(m_tag->title()), toQ(m_tag->artist()), attributeText(m_tag, "WM/AlbumTitle"),
                    genres::fromText(attributeText(m_tag, "WM/Genre")), toQ(m_tag->comment()), m_tag->year(),
                    m_tag->track()};
        if (v.year == 0)
            v.year = yearOfProperties(m_tag->properties());
        // Other programs (ffmpeg among them) write the date as a "date" or "year" attribute.
        for (const char* key : {"date", "year", "DATE", "YEAR"}) {
            if (v.year == 0)
                v.year = yearOfDate(attributeText(m_tag, key));
        }
        return v;
    }

    QStringList carry(const CarriedTags& tags) override
    {
        const TagFieldMap fields = joinedFields(
            totalsInNumbers(tags.fields),
            {QStringLiteral("TITLE"), QStringLiteral("ARTIST"), QStringLiteral("COMMENT"), QStringLiteral("COPYRIGHT")});
        const TagLib::PropertyMap rest = m_tag->setProperties(propertiesOf(fields));
        for (const auto& [key, values] : rest) {
            m_tag->removeItem(key);
            for (const auto& v : values)
                m_tag->addAttribute(key, Attribute(v));
        }
        m_tag->removeItem("WM/Picture");
        for (const Picture* p : frontFirst(tags.pictures))
            m_tag->addAttribute("WM/Picture", pictureAttribute(*p));
        inReadingOrder(m_tag);
        return {};
    }

    void setValues(const TagValues& v) override
    {
        const TagValues now = values();
        if (v.title != now.title)
            m_tag->setTitle(toT(v.title));
        if (v.artist != now.artist)
            m_tag->setArtist(toT(v.artist));
        if (v.comment != now.comment)
            m_tag->setComment(toT(v.comment));
        if (v.album != now.album)
            setText("WM/AlbumTitle", v.album);
        if (v.genre != now.genre) {
            m_tag->removeItem("WM/GenreID");
            setText("WM/Genre", v.genre);
        }
        if (v.year == 0 || now.year != v.year) {
            m_tag->removeItem("WM/Year");
            if (v.year != 0)
                m_tag->setYear(v.year);
        }
        if (v.track == 0 || now.track != v.track || m_tag->contains("WM/Track")) {
            m_tag->removeItem("WM/TrackNumber");
            m_tag->removeItem("WM/Track");
            if (v.track != 0)
                m_tag->setTrack(v.track);
        }
    }

private:
    // Removed rather than left empty.
    void setText(const char* key, const QString& value)
    {
        m_tag->removeItem(key);
        if (!value.isEmpty())
            m_tag->setAttribute(key, Attribute(toT(value)));
    }

    TagLib::ASF::Tag* m_tag;
};

const TagLib::ByteVector kHeaderGuid("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
const TagLib::ByteVector kDescriptionGuid("\x33\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);

// The content description object at offset, rewritten without its empty texts; the bytes it
// saved, 0 when it has none.
long shrinkDescription(TagLib::IOStream& stream, long offset, long size)
{
    stream.seek(offset);
    const TagLib::ByteVector object = stream.readBlock(static_cast<unsigned long>(size));
    if (long(object.size()) != size || size < 34)
        return 0;
    TagLib::ByteVector lengths, texts;
    unsigned at = 34;
    for (unsigned i = 0; i < 5; ++i) {
        const unsigned length = object.toUShort(24 + 2 * i, false);
        if (at + length > object.size())
            return 0;
        const TagLib::ByteVector text = object.mid(at, length);
        const bool empty = text == TagLib::ByteVector(2, '\0');
        lengths.append(TagLib::ByteVector::fromShort(short(empty ? 0 : length), false));
        if (!empty)
            texts.append(text);
        at += length;
    }
    const long saved = size - long(34 + texts.size());
    if (saved <= 0)
        return 0;
    const TagLib::ByteVector rewritten = kDescriptionGuid + TagLib::ByteVector::fromLongLong(size - saved, false)
                                       + lengths + texts;
    stream.insert(rewritten, static_cast<unsigned long>(offset), static_cast<unsigned long>(size));
    return saved;
}

} // namespace

void dropEmptyAsfTexts(TagLib::IOStream& stream)
{
    stream.seek(0);
    const TagLib::ByteVector header = stream.readBlock(30);
    if (header.size() < 30 || header.mid(0, 16) != kHeaderGuid)
        return;
    const long long headerSize = header.toLongLong(16, false);
    const unsigned count = header.toUInt(24, false);
    long offset = 30;
    for (unsigned i = 0; i < count && offset + 24 <= headerSize; ++i) {
        stream.seek(offset);
        const TagLib::ByteVector object = stream.readBlock(24);
        const long long size = object.size() == 24 ? object.toLongLong(16, false) : 0;
        if (size < 24 || offset + size > headerSize)
            return;
        if (object.mid(0, 16) == kDescriptionGuid) {
            if (const long saved = shrinkDescription(stream, offset, long(size))) {
                stream.seek(16);
                stream.writeBlock(TagLib::ByteVector::fromLongLong(headerSize - saved, false));
            }
            return;
        }
        offset += long(size);
    }
}

std::unique_ptr<TagModule> asfModule(TagLib::ASF::Tag* tag) { return std::make_unique<AsfModule>(tag); }

} // namespace sondrel
