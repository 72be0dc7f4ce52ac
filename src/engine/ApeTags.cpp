#include "ApeTags.h"

#include "Genres.h"
#include "TagFields.h"
#include "TagFiles.h"

#include <taglib/apetag.h>

namespace sondrel {

namespace {

// The picture items' names by picture type, as ID3v2 and FLAC number them.
const char* const kCoverNames[] = {
    "Other", "Icon", "Other Icon", "Front", "Back", "Leaflet", "Media", "Lead Artist", "Artist", "Conductor",
    "Band", "Composer", "Lyricist", "Recording Location", "During Recording", "During Performance",
    "Video Capture", "Fish", "Illustration", "Band Logotype", "Publisher Logotype",
};
constexpr int kCoverTypes = int(std::size(kCoverNames));

TagLib::String coverKey(int type)
{
    const int t = type >= 0 && type < kCoverTypes ? type : 0;
    return TagLib::String("Cover Art (") + kCoverNames[t] + ")";
}

// The picture type of a "Cover Art (...)" item's name; -1 when it is no picture item.
int coverType(const TagLib::String& key)
{
    for (int t = 0; t < kCoverTypes; ++t)
        if (key.upper() == coverKey(t).upper())
            return t;
    return key.upper().startsWith("COVER ART") ? 0 : -1;
}

class ApeModule : public TagModule {
public:
    explicit ApeModule(TagLib::APE::Tag* tag) : m_tag(tag) {}

    void read(CarriedTags& t) const override
    {
        takeFields(t, m_tag->properties());
        for (const auto& [key, item] : m_tag->itemListMap()) {
            const int type = coverType(key);
            if (type < 0 || item.type() != TagLib::APE::Item::Binary)
                continue;
            // "file name", a NUL, then the picture.
            const QByteArray data = toBytes(item.binaryData());
            const qsizetype nul = data.indexOf('\0');
            takePicture(t, {nul >= 0 ? data.mid(nul + 1) : data, {}, type, {}});
        }
    }

    TagValues values() const override
    {
        TagValues v{text("TITLE"), text("ARTIST"), text("ALBUM"), genres::fromText(text("GENRE")),
                    text("COMMENT"), m_tag->year(), m_tag->track()};
        if (v.year == 0)
            v.year = yearOfProperties(m_tag->properties());
        return v;
    }

    QStringList carry(const CarriedTags& tags) override
    {
        m_tag->setProperties(propertiesOf(totalsInNumbers(tags.fields)));
        QList<TagLib::String> old;
        for (const auto& [key, item] : m_tag->itemListMap())
            if (coverType(key) >= 0)
                old << key;
        for (const TagLib::String& key : old)
            m_tag->removeItem(key);
        QStringList notes;
        for (const Picture* p : frontFirst(tags.pictures)) {
            const TagLib::String key = coverKey(p->type);
            if (m_tag->itemListMap().contains(key.upper())) {
                notes << QStringLiteral("a second picture of the same kind was not carried over: APE tags hold one");
                continue;
            }
            const QByteArray name = p->mime == QLatin1String("image/png") ? "cover.png" : "cover.jpg";
            m_tag->setData(key, toVector(name + '\0' + p->data));
        }
        return notes;
    }

    void setValues(const TagValues& v) override { setValuesOver(m_tag, values(), v); }

private:
    QString text(const char* key) const
    {
        const auto& map = m_tag->itemListMap();
        return map.contains(key) ? joined(map[key].values()) : QString();
    }

    TagLib::APE::Tag* m_tag;
};

} // namespace

std::unique_ptr<TagModule> apeModule(TagLib::APE::Tag* tag) { return std::make_unique<ApeModule>(tag); }

} // namespace sondrel
