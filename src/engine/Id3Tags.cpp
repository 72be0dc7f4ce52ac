#include "Id3Tags.h"

#include "Genres.h"
#include "TagFields.h"
#include "TagFiles.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unsynchronizedlyricsframe.h>

namespace sondrel {

namespace {

using TagLib::ID3v2::AttachedPictureFrame;
using TagLib::ID3v2::CommentsFrame;
using TagLib::ID3v2::UnsynchronizedLyricsFrame;

// The genre of TCON (a list of texts and "(13)"-style references that TagLib has already
// turned into plain numbers), as names.
QString genreOf(const TagLib::ID3v2::Tag* tag)
{
    const auto& frames = tag->frameListMap()["TCON"];
    if (frames.isEmpty())
        return {};
    const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frames.front());
    if (!text)
        return genres::fromText(toQ(frames.front()->toString()));
    QStringList names;
    for (const auto& field : text->fieldList()) {
        // TagLib leaves "(RX)" and "(CR)" as bare keywords.
        const QString raw = toQ(field);
        const QString name = raw == QLatin1String("RX")   ? QStringLiteral("Remix")
                             : raw == QLatin1String("CR") ? QStringLiteral("Cover")
                                                          : genres::fromText(raw);
        if (!name.isEmpty() && !names.contains(name))
            names << name;
    }
    return names.join(QLatin1String(" / "));
}

// The strings of a text frame, joined.
QString textOf(const TagLib::ID3v2::Tag* tag, const char* id)
{
    const auto& frames = tag->frameListMap()[id];
    if (frames.isEmpty())
        return {};
    if (const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frames.front()))
        return joined(text->fieldList());
    return toQ(frames.front()->toString());
}

// The language of the comment or lyrics without a description (the one properties name
// COMMENT or LYRICS).
template <typename Frame>
QByteArray languageOf(const TagLib::ID3v2::Tag* tag, const char* id)
{
    for (const TagLib::ID3v2::Frame* f : tag->frameList(id)) {
        const auto* frame = dynamic_cast<const Frame*>(f);
        if (frame && frame->description().isEmpty() && !frame->language().isEmpty())
            return toBytes(frame->language());
    }
    return {};
}

template <typename Frame>
void setLanguage(TagLib::ID3v2::Tag* tag, const char* id, const QByteArray& language)
{
    if (language.size() != 3)
        return;
    for (TagLib::ID3v2::Frame* f : tag->frameList(id)) {
        if (auto* frame = dynamic_cast<Frame*>(f); frame && frame->description().isEmpty())
            frame->setLanguage(toVector(language));
    }
}

AttachedPictureFrame* pictureFrame(const Picture& p)
{
    auto* frame = new AttachedPictureFrame;
    frame->setTextEncoding(TagLib::String::UTF16);
    frame->setMimeType(toT(p.mime));
    frame->setType(AttachedPictureFrame::Type(p.type));
    frame->setDescription(toT(p.description));
    frame->setPicture(toVector(p.data));
    return frame;
}

class Id3v2Module : public TagModule {
public:
    explicit Id3v2Module(TagLib::ID3v2::Tag* tag) : m_tag(tag) {}

    void read(CarriedTags& t) const override
    {
        takeFields(t, m_tag->properties());
        for (TagLib::ID3v2::Frame* f : m_tag->frameList("APIC")) {
            if (auto* apic = dynamic_cast<AttachedPictureFrame*>(f))
                takePicture(t, {toBytes(apic->picture()), toQ(apic->mimeType()), int(apic->type()),
                                toQ(apic->description())});
        }
        const QByteArray comment = languageOf<CommentsFrame>(m_tag, "COMM");
        const QByteArray lyrics = languageOf<UnsynchronizedLyricsFrame>(m_tag, "USLT");
        if (!comment.isEmpty() && !t.languages.contains(QStringLiteral("COMMENT")))
            t.languages[QStringLiteral("COMMENT")] = comment;
        if (!lyrics.isEmpty() && !t.languages.contains(QStringLiteral("LYRICS")))
            t.languages[QStringLiteral("LYRICS")] = lyrics;
    }

    TagValues values() const override
    {
        TagValues v;
        v.title = textOf(m_tag, "TIT2");
        v.artist = textOf(m_tag, "TPE1");
        v.album = textOf(m_tag, "TALB");
        v.comment = toQ(m_tag->comment());
        v.genre = genreOf(m_tag);
        v.year = m_tag->year();
        if (v.year == 0)
            v.year = yearOfProperties(m_tag->properties());
        v.track = m_tag->track();
        return v;
    }

    QStringList carry(const CarriedTags& tags) override
    {
        // One COMM and one USLT frame per description and language: several comments are
        // one text.
        const TagFieldMap fields = joinedFields(totalsInNumbers(tags.fields),
                                                {QStringLiteral("COMMENT"), QStringLiteral("LYRICS")});
        const TagLib::PropertyMap rest = m_tag->setProperties(propertiesOf(fields));
        m_tag->removeFrames("APIC");
        for (const Picture* p : frontFirst(tags.pictures))
            m_tag->addFrame(pictureFrame(*p));
        setLanguage<CommentsFrame>(m_tag, "COMM", tags.languages.value(QStringLiteral("COMMENT")));
        setLanguage<UnsynchronizedLyricsFrame>(m_tag, "USLT", tags.languages.value(QStringLiteral("LYRICS")));
        QStringList notes;
        for (const auto& [key, values] : rest)
            notes << QStringLiteral("%1 not carried over: ID3v2 has no place for it").arg(toQ(key));
        return notes;
    }

    void setValues(const TagValues& v) override
    {
        TagValues now = values();
        // The year lives in TDRC (2.4) or TYER (2.3, with TDAT/TIME/TRDA beside it); a tag
        // may carry frames of both versions. Unless one date frame holds the year already,
        // clear them all so the new year is the only one.
        const auto& frames = m_tag->frameListMap();
        const int dates = int(frames["TDRC"].size() + frames["TYER"].size());
        if (dates != 1 || m_tag->year() != v.year) {
            for (const char* id : {"TDRC", "TYER", "TDAT", "TIME", "TRDA"})
                m_tag->removeFrames(id);
            now.year = 0;
        }
        setValuesOver(m_tag, now, v);
        // Saved as 2.3, TDRC becomes TYER only when it has four characters: years below
        // 1000 are written with leading zeros.
        if (v.year > 0 && v.year < 1000) {
            m_tag->removeFrames("TDRC");
            auto* frame = new TagLib::ID3v2::TextIdentificationFrame("TDRC", TagLib::String::Latin1);
            frame->setText(toT(QStringLiteral("%1").arg(v.year, 4, 10, QLatin1Char('0'))));
            m_tag->addFrame(frame);
        }
    }

private:
    TagLib::ID3v2::Tag* m_tag;
};

class Id3v1Module : public TagModule {
public:
    explicit Id3v1Module(TagLib::ID3v1::Tag* tag) : m_tag(tag) {}

    void read(CarriedTags& t) const override { takeFields(t, m_tag->properties()); }

    TagValues values() const override
    {
        const unsigned genre = m_tag->genreNumber();
        return {toQ(m_tag->title()), toQ(m_tag->artist()), toQ(m_tag->album()),
                genre < 255 ? genres::name(int(genre)) : QString(), toQ(m_tag->comment()), m_tag->year(),
                m_tag->track()};
    }

    QStringList carry(const CarriedTags&) override { return {}; } // the seven values alone

    void setValues(const TagValues& v) override
    {
        m_tag->setTitle(toT(v.title));
        m_tag->setArtist(toT(v.artist));
        m_tag->setAlbum(toT(v.album));
        m_tag->setComment(toT(v.comment));
        m_tag->setYear(v.year);
        m_tag->setTrack(v.track <= 255 ? v.track : 0);
        // ID3v1 holds a genre only as a number from the list; 255 means none.
        const int n = genres::number(v.genre);
        m_tag->setGenreNumber(n >= 0 && n < 255 ? unsigned(n) : 255u);
    }

private:
    TagLib::ID3v1::Tag* m_tag;
};

} // namespace

std::unique_ptr<TagModule> id3v2Module(TagLib::ID3v2::Tag* tag) { return std::make_unique<Id3v2Module>(tag); }
std::unique_ptr<TagModule> id3v1Module(TagLib::ID3v1::Tag* tag) { return std::make_unique<Id3v1Module>(tag); }

} // namespace sondrel
