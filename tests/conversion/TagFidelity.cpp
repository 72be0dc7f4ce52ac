#include "TagFidelity.h"

#include <QFile>
#include <QFileInfo>

#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>

namespace fidelity {

namespace {

TagLib::String t(const QString& s) { return TagLib::String(s.toUtf8().constData(), TagLib::String::UTF8); }
QString q(const TagLib::String& s) { return QString::fromUtf8(s.toCString(true)); }
TagLib::ByteVector v(const QByteArray& b) { return TagLib::ByteVector(b.constData(), unsigned(b.size())); }
QByteArray b(const TagLib::ByteVector& v) { return QByteArray(v.data(), qsizetype(v.size())); }

TagLib::PropertyMap properties(const QMap<QString, QStringList>& fields)
{
    TagLib::PropertyMap map;
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        TagLib::StringList values;
        for (const QString& value : it.value())
            values.append(t(value));
        map.insert(t(it.key()), values);
    }
    return map;
}

void tagId3v2(TagLib::ID3v2::Tag* tag, const QMap<QString, QStringList>& fields, const std::vector<Cover>& covers)
{
    tag->setProperties(properties(fields));
    for (TagLib::ID3v2::Frame* f : tag->frameList("COMM"))
        static_cast<TagLib::ID3v2::CommentsFrame*>(f)->setLanguage("deu");
    for (const Cover& c : covers) {
        auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
        frame->setMimeType(t(c.mime));
        frame->setType(TagLib::ID3v2::AttachedPictureFrame::Type(c.type));
        frame->setPicture(v(c.data));
        tag->addFrame(frame);
    }
}

TagLib::FLAC::Picture* flacPicture(const Cover& c)
{
    auto* p = new TagLib::FLAC::Picture;
    p->setMimeType(t(c.mime));
    p->setType(TagLib::FLAC::Picture::Type(c.type));
    p->setData(v(c.data));
    p->setWidth(c.width);
    p->setHeight(c.height);
    p->setColorDepth(c.depth);
    return p;
}

bool tagAsf(const QByteArray& name, const QMap<QString, QStringList>& fields, const std::vector<Cover>& covers)
{
    TagLib::ASF::File f(name.constData());
    const TagLib::PropertyMap rest = f.tag()->setProperties(properties(fields));
    for (const auto& [key, values] : rest)
        f.tag()->setAttribute(key, TagLib::ASF::Attribute(values.front()));
    for (const Cover& c : covers) {
        TagLib::ASF::Picture p;
        p.setMimeType(t(c.mime));
        p.setType(TagLib::ASF::Picture::Type(c.type));
        p.setPicture(v(c.data));
        f.tag()->addAttribute("WM/Picture", TagLib::ASF::Attribute(p));
    }
    return f.save();
}

bool tagMp4(const QByteArray& name, const QMap<QString, QStringList>& fields, const std::vector<Cover>& covers)
{
    TagLib::MP4::File f(name.constData());
    const TagLib::PropertyMap rest = f.tag()->setProperties(properties(fields));
    for (const auto& [key, values] : rest)
        f.tag()->setItem("----:com.apple.iTunes:" + key, TagLib::MP4::Item(values));
    TagLib::MP4::CoverArtList list;
    for (const Cover& c : covers)
        list.append(TagLib::MP4::CoverArt(c.mime == "image/png" ? TagLib::MP4::CoverArt::PNG : TagLib::MP4::CoverArt::JPEG,
                                          v(c.data)));
    f.tag()->setItem("covr", list);
    return f.save();
}

bool tagWavPack(const QByteArray& name, const QMap<QString, QStringList>& fields, const std::vector<Cover>& covers)
{
    TagLib::WavPack::File f(name.constData());
    TagLib::APE::Tag* tag = f.APETag(true);
    tag->setProperties(properties(fields));
    for (const Cover& c : covers)
        tag->setData(c.type == 3 ? "Cover Art (Front)" : "Cover Art (Back)", v(QByteArray("c.img") + '\0' + c.data));
    return f.save();
}

void readId3v2(Read& r, const TagLib::ID3v2::Tag* tag)
{
    for (TagLib::ID3v2::Frame* f : tag->frameList("APIC")) {
        const auto* p = static_cast<TagLib::ID3v2::AttachedPictureFrame*>(f);
        r.covers.push_back({b(p->picture()), q(p->mimeType()), int(p->type())});
    }
    for (TagLib::ID3v2::Frame* f : tag->frameList("COMM"))
        r.commentLanguage = b(static_cast<TagLib::ID3v2::CommentsFrame*>(f)->language());
}

void readFlacPictures(Read& r, const TagLib::List<TagLib::FLAC::Picture*>& list)
{
    for (const TagLib::FLAC::Picture* p : list)
        r.covers.push_back({b(p->data()), q(p->mimeType()), int(p->type()), p->width(), p->height(), p->colorDepth()});
}

// Fields of the output's own naming that TagLib's properties leave out: MP4 free-form atoms
// and ASF attributes of no WM/ name.
void readExtras(Read& r, TagLib::File* file)
{
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        for (const auto& [key, item] : mp4->tag()->itemMap()) {
            const QString name = q(key).section(':', 2).toUpper();
            if (key.startsWith("----:com.apple.iTunes:") && !r.fields.contains(name))
                for (const auto& s : item.toStringList())
                    r.fields[name] << q(s);
        }
        if (mp4->tag()->contains("covr"))
            for (const auto& c : mp4->tag()->item("covr").toCoverArtList())
                r.covers.push_back({b(c.data()), c.format() == TagLib::MP4::CoverArt::PNG ? "image/png" : "image/jpeg", 0});
    } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file)) {
        for (const auto& [key, list] : asf->tag()->attributeListMap()) {
            if (key == "WM/Picture")
                for (const auto& a : list)
                    r.covers.push_back({b(a.toPicture().picture()), q(a.toPicture().mimeType()), int(a.toPicture().type())});
            else if (!key.startsWith("WM/") && !r.fields.contains(q(key).toUpper()))
                for (const auto& a : list)
                    r.fields[q(key).toUpper()] << q(a.toString());
        }
    }
}

void totalsIntoNumbers(QMap<QString, QStringList>& fields)
{
    for (const auto& [number, total] : {std::pair{"TRACKNUMBER", "TRACKTOTAL"}, std::pair{"DISCNUMBER", "DISCTOTAL"}}) {
        if (fields.contains(total) && fields.contains(number)) {
            fields[number].front() += "/" + fields.value(total).value(0);
            fields.remove(total);
        }
    }
}

} // namespace

QMap<QString, QStringList> sourceFields(bool severalArtists)
{
    return {
        {"TITLE", {"Fidelity title"}},
        {"ARTIST", severalArtists ? QStringList{"First Artist", "Second Artist"} : QStringList{"First Artist; Second Artist"}},
        {"ALBUM", {"Fidelity album"}},
        {"ALBUMARTIST", {"Album Artist"}},
        {"GENRE", {"Jazz"}},
        {"DATE", {"2004-05-06"}},
        {"TRACKNUMBER", {"3/12"}},
        {"DISCNUMBER", {"1/2"}},
        {"COMPOSER", {"Composer Name"}},
        {"COMMENT", {"A comment"}},
        {"LYRICS", {"First line\nSecond line"}},
        {"REPLAYGAIN_TRACK_GAIN", {"-6.50 dB"}},
        {"MUSICBRAINZ_TRACKID", {"0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0"}},
        {"BPM", {"120"}},
        {"COPYRIGHT", {"2004 Label"}},
    };
}

bool tagSource(const QString& path, const QMap<QString, QStringList>& fields, const std::vector<Cover>& covers)
{
    const QByteArray name = QFile::encodeName(path);
    const QString ext = QFileInfo(path).suffix();
    if (ext == "mp3") {
        TagLib::MPEG::File f(name.constData());
        tagId3v2(f.ID3v2Tag(true), fields, covers);
        return f.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v3);
    }
    if (ext == "wav") {
        TagLib::RIFF::WAV::File f(name.constData());
        tagId3v2(f.ID3v2Tag(), fields, covers);
        return f.save(TagLib::RIFF::WAV::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v3);
    }
    // Xiph comments keep the totals apart, as their taggers write them.
    QMap<QString, QStringList> apart = fields;
    for (const char* key : {"TRACK", "DISC"}) {
        const QString number = QString(key) + "NUMBER";
        apart[QString(key) + "TOTAL"] = QStringList{fields.value(number).value(0).section('/', 1)};
        apart[number] = QStringList{fields.value(number).value(0).section('/', 0, 0)};
    }
    if (ext == "flac") {
        TagLib::FLAC::File f(name.constData());
        f.xiphComment(true)->setProperties(properties(apart));
        for (const Cover& c : covers)
            f.addPicture(flacPicture(c));
        return f.save();
    }
    if (ext == "ogg" || ext == "opus") {
        TagLib::FileRef f(name.constData());
        auto* comment = dynamic_cast<TagLib::Ogg::XiphComment*>(f.tag());
        if (!comment)
            return false;
        comment->setProperties(properties(apart));
        for (const Cover& c : covers)
            comment->addPicture(flacPicture(c));
        return f.save();
    }
    if (ext == "wma")
        return tagAsf(name, fields, covers);
    if (ext == "m4a")
        return tagMp4(name, fields, covers);
    return ext == "wv" && tagWavPack(name, fields, covers);
}

Read readBack(const QString& path)
{
    Read r;
    const QByteArray name = QFile::encodeName(path);
    TagLib::FileRef ref(name.constData());
    if (ref.isNull())
        return r;
    for (const auto& [key, values] : ref.file()->properties())
        for (const auto& s : values)
            r.fields[q(key).toUpper()] << q(s);
    readExtras(r, ref.file());
    // Xiph comments keep the totals apart; anywhere else a total apart is a stray field.
    if (dynamic_cast<TagLib::Ogg::XiphComment*>(ref.tag()) || dynamic_cast<TagLib::FLAC::File*>(ref.file()))
        totalsIntoNumbers(r.fields);
    for (const char* stray : {"TRACKTOTAL", "DISCTOTAL"})
        if (r.fields.contains(stray))
            r.fields["TRACKNUMBER"] << QStringLiteral("stray %1").arg(stray);
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(ref.file()); mpeg && mpeg->hasID3v2Tag())
        readId3v2(r, mpeg->ID3v2Tag());
    else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(ref.file()); wav && wav->hasID3v2Tag())
        readId3v2(r, wav->ID3v2Tag());
    else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(ref.file()))
        readFlacPictures(r, flac->pictureList());
    else if (auto* comment = dynamic_cast<TagLib::Ogg::XiphComment*>(ref.tag()))
        readFlacPictures(r, comment->pictureList());
    return r;
}

} // namespace fidelity
