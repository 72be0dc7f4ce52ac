#include "CarriedTags.h"

#include "EngineError.h"
#include "FfmpegSupport.h"
#include "CheckedStream.h"
#include "FolderEntries.h"
#include "TagFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

namespace sondrel {

namespace {

// Tags about how the source itself was encoded, and pictures kept as text by old taggers.
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

QString mebibytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1);
}

QString tooBig(qint64 bytes)
{
    return QStringLiteral("a picture of %1 MiB was not carried over: pictures over %2 MiB are left out")
        .arg(mebibytes(bytes))
        .arg(MaxPictureBytes / (1024 * 1024));
}

void take(CarriedTags& t, Picture p)
{
    if (p.data.isEmpty() || p.mime == QLatin1String("-->")) // "-->": a link, not a picture
        return;
    if (p.data.size() > MaxPictureBytes) {
        t.notes << tooBig(p.data.size());
        return;
    }
    if (p.mime.isEmpty() || !p.mime.contains(QLatin1Char('/')))
        p.mime = sniffMime(p.data);
    t.pictures.push_back(std::move(p));
}

QByteArray bytes(const TagLib::ByteVector& v) { return QByteArray(v.data(), int(v.size())); }
TagLib::ByteVector vector(const QByteArray& b) { return TagLib::ByteVector(b.constData(), unsigned(b.size())); }

void takeFields(CarriedTags& t, const TagLib::PropertyMap& map)
{
    for (const auto& [key, values] : map) {
        const QString name = toQ(key).toUpper();
        if (notCarried(name))
            continue;
        QStringList list;
        for (const auto& v : values)
            list << toQ(v);
        t.fields[name] = list;
    }
}

void takeId3v2Pictures(CarriedTags& t, TagLib::ID3v2::Tag* tag)
{
    if (!tag)
        return;
    for (TagLib::ID3v2::Frame* f : tag->frameList("APIC")) {
        if (auto* apic = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(f))
            take(t, {bytes(apic->picture()), toQ(apic->mimeType()), int(apic->type()), toQ(apic->description())});
    }
}

void takeFlacPictures(CarriedTags& t, const TagLib::List<TagLib::FLAC::Picture*>& list)
{
    for (const TagLib::FLAC::Picture* p : list)
        take(t, {bytes(p->data()), toQ(p->mimeType()), int(p->type()), toQ(p->description())});
}

// MP4 free-form atoms ("----:mean:name") that TagLib's property names do not cover.
void takeMp4FreeForm(CarriedTags& t, const TagLib::MP4::Tag* tag)
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
        QStringList list;
        for (const auto& v : values)
            list << toQ(v);
        t.fields[name] = list;
    }
    if (tag->contains("covr")) {
        for (const TagLib::MP4::CoverArt& c : tag->item("covr").toCoverArtList())
            take(t, {bytes(c.data()), {}, 3, {}});
    }
}

// ASF attributes of our own or other programs' naming (not "WM/...") that TagLib's property
// names do not cover, and the WM/Picture attributes.
void takeAsfExtras(CarriedTags& t, const TagLib::ASF::Tag* tag)
{
    for (const auto& [key, list] : tag->attributeListMap()) {
        if (key == "WM/Picture") {
            for (const TagLib::ASF::Attribute& a : list) {
                const TagLib::ASF::Picture p = a.toPicture();
                if (p.isValid())
                    take(t, {bytes(p.picture()), toQ(p.mimeType()), int(p.type()), toQ(p.description())});
            }
            continue;
        }
        const QString name = toQ(key).toUpper();
        if (key.startsWith("WM/") || notCarried(name) || t.fields.contains(name))
            continue;
        TagLib::ASF::Tag probe;
        probe.setAttribute(key, list.front());
        if (!probe.properties().isEmpty())
            continue;
        QStringList values;
        for (const TagLib::ASF::Attribute& a : list)
            if (a.type() == TagLib::ASF::Attribute::UnicodeType)
                values << toQ(a.toString());
        if (!values.isEmpty())
            t.fields[name] = values;
    }
}

void takeApePictures(CarriedTags& t, const TagLib::APE::Tag* tag)
{
    if (!tag)
        return;
    for (const auto& [key, item] : tag->itemListMap()) {
        if (!key.upper().startsWith("COVER ART") || item.type() != TagLib::APE::Item::Binary)
            continue;
        // "file name", a NUL, then the picture.
        const QByteArray data = bytes(item.binaryData());
        const qsizetype nul = data.indexOf('\0');
        take(t, {nul >= 0 ? data.mid(nul + 1) : data, {}, key.upper() == "COVER ART (FRONT)" ? 3 : 0, {}});
    }
}

// Files TagLib has no class for: what libavformat reads of them.
void takeFromLibavformat(CarriedTags& t, const QString& path)
{
    ff::quietLogs();
    AVFormatContext* raw = nullptr;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int rc = avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, &options);
    av_dict_free(&options);
    if (rc < 0)
        return;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> ctx(raw, [](AVFormatContext* c) {
        avformat_close_input(&c);
    });
    static const QMap<QString, QString> renamed{
        {QStringLiteral("ALBUM_ARTIST"), QStringLiteral("ALBUMARTIST")},
        {QStringLiteral("TRACK"), QStringLiteral("TRACKNUMBER")},
        {QStringLiteral("DISC"), QStringLiteral("DISCNUMBER")},
        {QStringLiteral("DESCRIPTION"), QStringLiteral("COMMENT")},
    };
    static const QSet<QString> technical{QStringLiteral("CREATION_TIME"), QStringLiteral("HANDLER_NAME"),
                                         QStringLiteral("VENDOR_ID"), QStringLiteral("LANGUAGE"),
                                         QStringLiteral("MAJOR_BRAND"), QStringLiteral("MINOR_VERSION"),
                                         QStringLiteral("COMPATIBLE_BRANDS"), QStringLiteral("DURATION")};
    const auto takeDict = [&](const AVDictionary* dict) {
        const AVDictionaryEntry* e = nullptr;
        while ((e = av_dict_get(dict, "", e, AV_DICT_IGNORE_SUFFIX))) {
            QString name = QString::fromUtf8(e->key).toUpper();
            name = renamed.value(name, name);
            if (!notCarried(name) && !technical.contains(name) && !t.fields.contains(name))
                t.fields[name] = QStringList{QString::fromUtf8(e->value)};
        }
    };
    takeDict(ctx->metadata);
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        if (st->disposition & AV_DISPOSITION_ATTACHED_PIC)
            take(t, {QByteArray(reinterpret_cast<const char*>(st->attached_pic.data), st->attached_pic.size), {}, 3, {}});
    }
    const int audio = av_find_best_stream(ctx.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio >= 0)
        takeDict(ctx->streams[audio]->metadata);
}

QByteArray headOf(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        throw EngineError(QStringLiteral("%1: cannot read the file's tags").arg(path).toStdString());
    return file.read(4096);
}

TagLib::PropertyMap propertiesOf(const CarriedTags& tags)
{
    TagLib::PropertyMap map;
    for (auto it = tags.fields.cbegin(); it != tags.fields.cend(); ++it) {
        TagLib::StringList values;
        for (const QString& v : it.value())
            values.append(toT(v));
        map.insert(toT(it.key()), values);
    }
    return map;
}

QStringList namesOf(const TagLib::PropertyMap& map)
{
    QStringList names;
    for (const auto& [key, values] : map)
        names << toQ(key);
    return names;
}

void putId3v2Pictures(TagLib::ID3v2::Tag* tag, const std::vector<Picture>& pictures)
{
    for (const Picture& p : pictures) {
        auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
        frame->setTextEncoding(TagLib::String::UTF16);
        frame->setMimeType(toT(p.mime));
        frame->setType(TagLib::ID3v2::AttachedPictureFrame::Type(p.type));
        frame->setDescription(toT(p.description));
        frame->setPicture(vector(p.data));
        tag->addFrame(frame);
    }
}

TagLib::FLAC::Picture* flacPicture(const Picture& p)
{
    auto* picture = new TagLib::FLAC::Picture;
    picture->setMimeType(toT(p.mime));
    picture->setType(TagLib::FLAC::Picture::Type(p.type));
    picture->setDescription(toT(p.description));
    picture->setData(vector(p.data));
    return picture;
}

// MP4 stores only JPEG, PNG, BMP and GIF pictures, without type or description; the front
// cover goes first, where players look.
QStringList putMp4(TagLib::MP4::Tag* tag, const CarriedTags& tags)
{
    QStringList notes;
    const TagLib::PropertyMap rest = tag->setProperties(propertiesOf(tags));
    for (const auto& [key, values] : rest) {
        // REPLAYGAIN_* in lower case, as players of MP4 files read them.
        QString atom = toQ(key);
        if (atom.startsWith(QLatin1String("REPLAYGAIN_"), Qt::CaseInsensitive))
            atom = atom.toLower();
        tag->setItem(toT(QStringLiteral("----:com.apple.iTunes:") + atom), TagLib::MP4::Item(values));
    }
    TagLib::MP4::CoverArtList covers;
    std::vector<const Picture*> ordered;
    for (const Picture& p : tags.pictures)
        if (p.type == 3)
            ordered.push_back(&p);
    for (const Picture& p : tags.pictures)
        if (p.type != 3)
            ordered.push_back(&p);
    for (const Picture* p : ordered) {
        const QString mime = p->mime.isEmpty() ? sniffMime(p->data) : p->mime;
        TagLib::MP4::CoverArt::Format format;
        if (mime == QLatin1String("image/jpeg") || mime == QLatin1String("image/jpg"))
            format = TagLib::MP4::CoverArt::JPEG;
        else if (mime == QLatin1String("image/png"))
            format = TagLib::MP4::CoverArt::PNG;
        else if (mime == QLatin1String("image/bmp"))
            format = TagLib::MP4::CoverArt::BMP;
        else if (mime == QLatin1String("image/gif"))
            format = TagLib::MP4::CoverArt::GIF;
        else {
            notes << QStringLiteral("a %1 picture was not carried over: M4A files hold JPEG, PNG, BMP and GIF pictures")
                         .arg(mime.isEmpty() ? QStringLiteral("unknown") : mime);
            continue;
        }
        covers.append(TagLib::MP4::CoverArt(format, vector(p->data)));
    }
    if (!covers.isEmpty())
        tag->setItem("covr", TagLib::MP4::Item(covers));
    return notes;
}

void putAsf(TagLib::ASF::Tag* tag, const CarriedTags& tags)
{
    const TagLib::PropertyMap rest = tag->setProperties(propertiesOf(tags));
    for (const auto& [key, values] : rest) {
        tag->removeItem(key);
        for (const auto& v : values)
            tag->addAttribute(key, TagLib::ASF::Attribute(v));
    }
    for (const Picture& p : tags.pictures) {
        TagLib::ASF::Picture picture;
        picture.setMimeType(toT(p.mime));
        picture.setType(TagLib::ASF::Picture::Type(p.type));
        picture.setDescription(toT(p.description));
        picture.setPicture(vector(p.data));
        tag->addAttribute("WM/Picture", TagLib::ASF::Attribute(picture));
    }
}

} // namespace

CarriedTags readCarriedTags(const QString& path)
{
    CarriedTags t;
    const QByteArray head = headOf(path);
    const TagKind kind = tagKindOf(path, head);
    if (kind == TagKind::Unknown)
        return t;
    if (kind == TagKind::Other) {
        takeFromLibavformat(t, path);
        return t;
    }
    try {
        std::unique_ptr<TagLib::File> file = openTagFile(kind, QFile::encodeName(path));
        if (!file || !file->isOpen() || !file->isValid())
            return t;
        takeFields(t, file->properties());
        if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file.get())) {
            takeId3v2Pictures(t, mpeg->hasID3v2Tag() ? mpeg->ID3v2Tag() : nullptr);
            if (t.pictures.empty() && mpeg->hasAPETag())
                takeApePictures(t, mpeg->APETag());
        } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file.get())) {
            takeId3v2Pictures(t, wav->hasID3v2Tag() ? wav->ID3v2Tag() : nullptr);
        } else if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file.get())) {
            takeId3v2Pictures(t, aiff->hasID3v2Tag() ? aiff->tag() : nullptr);
        } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file.get())) {
            takeFlacPictures(t, flac->pictureList());
            if (flac->hasXiphComment())
                takeFlacPictures(t, flac->xiphComment()->pictureList());
        } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file.get())) {
            if (mp4->hasMP4Tag())
                takeMp4FreeForm(t, mp4->tag());
        } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file.get())) {
            takeAsfExtras(t, asf->tag());
        } else if (auto* wv = dynamic_cast<TagLib::WavPack::File*>(file.get())) {
            takeApePictures(t, wv->hasAPETag() ? wv->APETag() : nullptr);
        } else if (auto* ape = dynamic_cast<TagLib::APE::File*>(file.get())) {
            takeApePictures(t, ape->hasAPETag() ? ape->APETag() : nullptr);
        } else if (auto* xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(file->tag())) {
            takeFlacPictures(t, xiph->pictureList());
        }
    } catch (const std::exception&) {
        // Tags so broken that TagLib gives up: as good as none.
        return {};
    }
    return t;
}

namespace {

enum class BesideFile { Read, NotAFile, TooBig };

// Reads the entry name of the opened folder: only a regular file, never through a link, never
// a pipe or a device, and never more than MaxPictureBytes (a file that grows while it is read
// is refused as too big instead of being read to its end). *bytes: its size, or what was read.
BesideFile readBeside(int folder, const QByteArray& name, QByteArray* data, qint64* bytes)
{
    struct stat st {};
    if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return BesideFile::NotAFile;
    *bytes = st.st_size;
    if (st.st_size > MaxPictureBytes)
        return BesideFile::TooBig;
    const int fd = ::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return BesideFile::NotAFile;
    const auto closing = qScopeGuard([fd] { ::close(fd); });
    // What was checked is what was opened: not a pipe or device put there meanwhile.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return BesideFile::NotAFile;
    data->clear();
    data->reserve(qsizetype(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return BesideFile::NotAFile;
        if (n == 0)
            return BesideFile::Read;
        data->append(chunk, qsizetype(n));
        if (data->size() > MaxPictureBytes) {
            *bytes = data->size();
            data->clear();
            return BesideFile::TooBig;
        }
    }
}

} // namespace

std::optional<Picture> folderPicture(const QString& sourcePath, QStringList* notes)
{
    const QString folderPath = QFileInfo(sourcePath).absolutePath();
    const int folder = ::open(QFile::encodeName(folderPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return std::nullopt;
    const auto closing = qScopeGuard([folder] { ::close(folder); });
    const QList<QByteArray> names = folderEntries(folder);
    for (const char* base : {"cover", "folder", "front"}) {
        for (const char* ext : {"jpg", "jpeg", "png"}) {
            const QString wanted = QStringLiteral("%1.%2").arg(QLatin1String(base), QLatin1String(ext));
            for (const QByteArray& local : names) {
                const QString name = QFile::decodeName(local);
                if (name.compare(wanted, Qt::CaseInsensitive) != 0)
                    continue;
                Picture p;
                qint64 bytes = 0;
                switch (readBeside(folder, local, &p.data, &bytes)) {
                case BesideFile::NotAFile:
                    if (notes)
                        *notes << QStringLiteral("%1 was not used as the cover: it is not a regular file").arg(name);
                    continue;
                case BesideFile::TooBig:
                    if (notes)
                        *notes << QStringLiteral("%1: ").arg(name) + tooBig(bytes);
                    return std::nullopt;
                case BesideFile::Read:
                    break;
                }
                p.mime = sniffMime(p.data);
                if (p.mime != QLatin1String("image/jpeg") && p.mime != QLatin1String("image/png")) {
                    if (notes)
                        *notes << QStringLiteral("%1 was not used as the cover: it is not a JPEG or PNG picture").arg(name);
                    return std::nullopt;
                }
                return p;
            }
        }
    }
    return std::nullopt;
}

QStringList writeCarriedTags(const QString& path, const CarriedTags& tags)
{
    if (tags.empty())
        return {};
    CheckedStream stream(path);
    const TagLib::ByteVector start = stream.readBlock(4096);
    const QByteArray head(start.data(), qsizetype(start.size()));
    const TagKind kind = tagKindOf(stream, path, head);
    stream.seek(0); // TagLib's classes read from where the stream is
    const auto fail = [&](const QString& why) {
        return EngineError(QStringLiteral("%1: cannot write the tags: %2").arg(path, why).toStdString());
    };
    QStringList notes;
    bool saved = false;
    try {
        std::unique_ptr<TagLib::File> file = openTagFile(kind, &stream);
        if (!file || !file->isOpen() || !file->isValid())
            throw fail(QStringLiteral("not a file whose tags can be written"));
        if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file.get())) {
            TagLib::ID3v2::Tag* id3 = mpeg->ID3v2Tag(true);
            id3->setProperties(propertiesOf(tags));
            putId3v2Pictures(id3, tags.pictures);
            saved = mpeg->save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v3);
        } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file.get())) {
            // Everything in the ID3v2 chunk; RIFF INFO gets the seven values afterwards.
            TagLib::ID3v2::Tag* id3 = wav->ID3v2Tag();
            id3->setProperties(propertiesOf(tags));
            putId3v2Pictures(id3, tags.pictures);
            saved = wav->save(TagLib::RIFF::WAV::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v3);
        } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file.get())) {
            putAsf(asf->tag(), tags);
            saved = asf->save();
        } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file.get())) {
            notes << putMp4(mp4->tag(), tags);
            saved = mp4->save();
        } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file.get())) {
            flac->xiphComment(true)->setProperties(propertiesOf(tags));
            for (const Picture& p : tags.pictures)
                flac->addPicture(flacPicture(p));
            saved = flac->save();
        } else if (auto* xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(file->tag())) {
            xiph->setProperties(propertiesOf(tags));
            for (const Picture& p : tags.pictures)
                xiph->addPicture(flacPicture(p));
            saved = file->save();
        } else {
            const TagLib::PropertyMap rest = file->setProperties(propertiesOf(tags));
            if (!rest.isEmpty())
                notes << QStringLiteral("not carried over (%1 tags have no place for them): %2")
                             .arg(tagKindName(kind), namesOf(rest).join(QStringLiteral(", ")));
            saved = file->save();
        }
    } catch (const EngineError&) {
        throw;
    } catch (const std::exception& e) {
        throw fail(QString::fromUtf8(e.what()));
    }
    // A failed write is the reason, whatever TagLib made of it afterwards.
    if (stream.error())
        throw WriteFailure(fail(stream.errorText()).what());
    if (!saved)
        throw fail(QStringLiteral("TagLib could not save the %1 file").arg(tagKindName(kind)));
    return notes;
}

} // namespace sondrel
