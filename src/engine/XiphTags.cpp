#include "XiphTags.h"

#include "Genres.h"
#include "TagFields.h"
#include "TagFiles.h"

#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/xiphcomment.h>

namespace sondrel {

namespace {

using FlacPicture = TagLib::FLAC::Picture;

void takePictures(CarriedTags& t, const TagLib::List<FlacPicture*>& list)
{
    for (const FlacPicture* p : list) {
        Picture picture{toBytes(p->data()), toQ(p->mimeType()), int(p->type()), toQ(p->description())};
        picture.width = p->width();
        picture.height = p->height();
        picture.depth = p->colorDepth();
        picture.colors = p->numColors();
        takePicture(t, std::move(picture));
    }
}

FlacPicture* flacPicture(const Picture& p)
{
    auto* picture = new FlacPicture;
    picture->setMimeType(toT(p.mime));
    picture->setType(FlacPicture::Type(p.type));
    picture->setDescription(toT(p.description));
    picture->setData(toVector(p.data));
    picture->setWidth(p.width);
    picture->setHeight(p.height);
    picture->setColorDepth(p.depth);
    picture->setNumColors(p.colors);
    return picture;
}

class XiphModule : public TagModule {
public:
    XiphModule(TagLib::Ogg::XiphComment* comment, TagLib::FLAC::File* flac) : m_comment(comment), m_flac(flac) {}

    void read(CarriedTags& t) const override
    {
        takeFields(t, m_comment->properties());
        if (m_flac)
            takePictures(t, m_flac->pictureList());
        takePictures(t, m_comment->pictureList());
    }

    TagValues values() const override
    {
        // The comment is DESCRIPTION where a file has one, as TagLib reads and writes it.
        QString comment = text("DESCRIPTION");
        if (comment.isEmpty())
            comment = text("COMMENT");
        TagValues v{text("TITLE"), text("ARTIST"), text("ALBUM"), genres::fromText(text("GENRE")), comment,
                    m_comment->year(), m_comment->track()};
        if (v.year == 0)
            v.year = yearOfProperties(m_comment->properties());
        return v;
    }

    QStringList carry(const CarriedTags& tags) override
    {
        m_comment->setProperties(propertiesOf(totalsApart(tags.fields)));
        if (m_flac)
            m_flac->removePictures();
        m_comment->removeAllPictures();
        for (const Picture* p : frontFirst(tags.pictures)) {
            if (m_flac)
                m_flac->addPicture(flacPicture(*p));
            else
                m_comment->addPicture(flacPicture(*p));
        }
        return {};
    }

    void setValues(const TagValues& v) override { setValuesOver(m_comment, values(), v); }

private:
    QString text(const char* key) const
    {
        const auto& map = m_comment->fieldListMap();
        return map.contains(key) ? joined(map[key]) : QString();
    }

    TagLib::Ogg::XiphComment* m_comment;
    TagLib::FLAC::File* m_flac;
};

} // namespace

std::unique_ptr<TagModule> xiphModule(TagLib::Ogg::XiphComment* comment, TagLib::FLAC::File* flac)
{
    return std::make_unique<XiphModule>(comment, flac);
}

} // namespace sondrel
