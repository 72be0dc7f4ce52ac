#include "Mp4Tags.h"

#include "Genres.h"
#include "Mp4Gapless.h"
#include "TagFields.h"
#include "TagFiles.h"

#include <taglib/mp4tag.h>

namespace sondrel {

namespace {

using TagLib::MP4::CoverArt;

QString itemText(const TagLib::MP4::Tag* tag, const char* key)
{
    return tag->contains(key) ? joined(tag->item(key).toStringList()) : QString();
}

// Free-form atoms ("----:mean:name") that TagLib's property names do not cover, and the
// pictures.
void takeFreeForm(CarriedTags& t, const TagLib::MP4::Tag* tag)
{
    for (const auto& [key, item] : tag->itemMap()) {
        if (!key.startsWith("----:"))
            continue;
        TagLib::MP4::Tag probe;
        probe.setItem(key, item);
        if (!probe.properties().isEmpty())
            continue; // already among the properties
        const QString name = toQ(key).section(QLatin1Char(':'), 2).toUpper();
        const TagLib::StringList values = item.toStringList();
        if (notCarried(name) || values.isEmpty() || t.fields.contains(name))
            continue;
        t.fields[name] = fromList(values);
    }
    if (tag->contains("covr")) {
        for (const CoverArt& c : tag->item("covr").toCoverArtList())
            takePicture(t, {toBytes(c.data()), {}, 3, {}});
    }
}

// The picture's format as MP4 names it; false for a format MP4 does not hold.
bool coverFormat(const QString& mime, CoverArt::Format* format)
{
    if (mime == QLatin1String("image/jpeg") || mime == QLatin1String("image/jpg"))
        *format = CoverArt::JPEG;
    else if (mime == QLatin1String("image/png"))
        *format = CoverArt::PNG;
    else if (mime == QLatin1String("image/bmp"))
        *format = CoverArt::BMP;
    else if (mime == QLatin1String("image/gif"))
        *format = CoverArt::GIF;
    else
        return false;
    return true;
}

QStringList putCovers(TagLib::MP4::Tag* tag, const std::vector<Picture>& pictures)
{
    QStringList notes;
    TagLib::MP4::CoverArtList covers;
    for (const Picture* p : frontFirst(pictures)) {
        const QString mime = p->mime.isEmpty() ? sniffMime(p->data) : p->mime;
        CoverArt::Format format = CoverArt::Unknown;
        if (!coverFormat(mime, &format)) {
            notes << QStringLiteral("a %1 picture was not carried over: M4A files hold JPEG, PNG, BMP and GIF pictures")
                         .arg(mime.isEmpty() ? QStringLiteral("unknown") : mime);
            continue;
        }
        covers.append(CoverArt(format, toVector(p->data)));
    }
    tag->removeItem("covr");
    if (!covers.isEmpty())
        tag->setItem("covr", TagLib::MP4::Item(covers));
    return notes;
}

class Mp4Module : public TagModule {
public:
    explicit Mp4Module(TagLib::MP4::Tag* tag) : m_tag(tag) {}

    void read(CarriedTags& t) const override
    {
        takeFields(t, m_tag->properties());
        takeFreeForm(t, m_tag);
    }

    TagValues values() const override
    {
        TagValues v{itemText(m_tag, "\251nam"), itemText(m_tag, "\251ART"), itemText(m_tag, "\251alb"),
                    genres::fromText(itemText(m_tag, "\251gen")), itemText(m_tag, "\251cmt"), m_tag->year(),
                    m_tag->track()};
        if (v.year == 0)
            v.year = yearOfProperties(m_tag->properties());
        return v;
    }

    QStringList carry(const CarriedTags& tags) override
    {
        // The file's own gapless data (written with its audio) stays whatever the source had.
        const bool gapless = m_tag->contains(ITunSmpbAtom);
        const TagLib::MP4::Item ownGapless = gapless ? m_tag->item(ITunSmpbAtom) : TagLib::MP4::Item();
        const TagLib::PropertyMap rest = m_tag->setProperties(propertiesOf(totalsInNumbers(tags.fields)));
        if (gapless)
            m_tag->setItem(ITunSmpbAtom, ownGapless);
        for (const auto& [key, values] : rest) {
            QString atom = toQ(key);
            if (atom.startsWith(QLatin1String("REPLAYGAIN_"), Qt::CaseInsensitive))
                atom = atom.toLower();
            m_tag->setItem(toT(QStringLiteral("----:com.apple.iTunes:") + atom), TagLib::MP4::Item(values));
        }
        return putCovers(m_tag, tags.pictures);
    }

    void setValues(const TagValues& v) override { setValuesOver(m_tag, values(), v); }

private:
    TagLib::MP4::Tag* m_tag;
};

} // namespace

std::unique_ptr<TagModule> mp4Module(TagLib::MP4::Tag* tag) { return std::make_unique<Mp4Module>(tag); }

} // namespace sondrel
