#include "AudioInformation.h"

#include "CheckedStream.h"
#include "EngineError.h"
#include "FfmpegSupport.h"
#include "Genres.h"
#include "SourceFile.h"
#include "SourceStream.h"
#include "TagFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/speexfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

namespace sondrel {

namespace {

// Text of a field that declares no encoding: UTF-8 when it is valid UTF-8 (what we and
// most current programs write), otherwise a single-byte code page, taken as Latin-1.
TagLib::String guessText(const TagLib::ByteVector& data)
{
    QByteArray bytes(data.data(), int(data.size()));
    const qsizetype nul = bytes.indexOf('\0'); // fields are NUL-terminated and often padded
    if (nul >= 0)
        bytes.truncate(nul);
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8.decode(bytes);
    Q_UNUSED(decoded);
    return TagLib::String(bytes.constData(), utf8.hasError() ? TagLib::String::Latin1 : TagLib::String::UTF8);
}

// RIFF INFO: written as UTF-8, read as guessed.
class InfoTextHandler : public TagLib::RIFF::Info::StringHandler {
public:
    TagLib::String parse(const TagLib::ByteVector& data) const override { return guessText(data); }
    TagLib::ByteVector render(const TagLib::String& s) const override { return s.data(TagLib::String::UTF8); }
};

// ID3v1: read as guessed; written as Latin-1 (TagLib's default), which is all it can hold.
class Id3v1TextHandler : public TagLib::ID3v1::StringHandler {
public:
    TagLib::String parse(const TagLib::ByteVector& data) const override { return guessText(data).stripWhiteSpace(); }
};

void installTextHandlers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        static InfoTextHandler info;
        static Id3v1TextHandler id3v1;
        TagLib::RIFF::Info::Tag::setStringHandler(&info);
        TagLib::ID3v1::Tag::setStringHandler(&id3v1);
    });
}

// Throws when nothing is at path, or a folder.
void requireFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw EngineError(QStringLiteral("%1: the file does not exist").arg(path).toStdString());
    if (info.isDir())
        throw EngineError(QStringLiteral("%1: this is a folder, not a file").arg(path).toStdString());
}

// Opens path for reading its tags through a descriptor of its own, which opens regular files
// only: a FIFO or a device named like audio is refused instead of waited on.
std::shared_ptr<const SourceFile> openForReading(const QString& path)
{
    try {
        return SourceFile::open(path);
    } catch (const EngineError&) {
        requireFile(path); // a clearer reason where there is one
        throw;
    }
}

QByteArray headOf(const SourceFile& source)
{
    QByteArray head(4096, Qt::Uninitialized);
    const std::int64_t n = source.readAt(0, head.data(), head.size());
    if (n < 0)
        throw EngineError(QStringLiteral("%1: cannot read the file: %2")
                              .arg(source.path(), QString::fromLocal8Bit(std::strerror(int(-n))))
                              .toStdString());
    head.truncate(qsizetype(n));
    return head;
}

// The genre of ID3v2 (TCON: a list of texts and "(13)"-style references that TagLib has
// already turned into plain numbers), as names.
QString id3v2Genre(const TagLib::ID3v2::Tag* tag)
{
    if (!tag)
        return {};
    const auto& frames = tag->frameListMap()["TCON"];
    if (frames.isEmpty())
        return {};
    QStringList names;
    if (const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frames.front())) {
        for (const auto& field : text->fieldList()) {
            // TagLib leaves "(RX)" and "(CR)" as bare keywords.
            const QString raw = toQ(field);
            const QString name = raw == QLatin1String("RX")   ? QStringLiteral("Remix")
                                 : raw == QLatin1String("CR") ? QStringLiteral("Cover")
                                                              : genres::fromText(raw);
            if (!name.isEmpty() && !names.contains(name))
                names << name;
        }
    } else {
        names << genres::fromText(toQ(frames.front()->toString()));
    }
    return names.join(QLatin1String(" / "));
}

QString mpegGenre(TagLib::MPEG::File& f)
{
    if (f.hasID3v2Tag()) {
        const QString g = id3v2Genre(f.ID3v2Tag());
        if (!g.isEmpty())
            return g;
    }
    if (f.hasAPETag()) {
        const QString g = genres::fromText(toQ(f.APETag()->genre()));
        if (!g.isEmpty())
            return g;
    }
    if (f.hasID3v1Tag()) {
        const unsigned n = f.ID3v1Tag()->genreNumber();
        return n < 255 ? genres::name(int(n)) : QString();
    }
    return {};
}

QString wavGenre(TagLib::RIFF::WAV::File& f)
{
    if (f.hasID3v2Tag()) {
        const QString g = id3v2Genre(f.ID3v2Tag());
        if (!g.isEmpty())
            return g;
    }
    if (f.hasInfoTag())
        return genres::fromText(toQ(f.InfoTag()->genre()));
    return {};
}

struct Values {
    QString title, artist, album, genre, comment;
    unsigned year = 0;
    unsigned track = 0;
};

// The tags of a file TagLib has no class for (Matroska/WebM, raw AAC or AC-3, an Ogg file
// whose first stream is not audio TagLib knows), as libavformat reads them while opening it:
// the file's own, else its first audio stream's. Empty when it cannot.
Values libavformatValues(const QByteArray& name)
{
    ff::quietLogs();
    Values v;
    AVFormatContext* raw = nullptr;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int rc = avformat_open_input(&raw, name.constData(), nullptr, &options);
    av_dict_free(&options);
    if (rc < 0)
        return v;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> ctx(raw, [](AVFormatContext* c) {
        avformat_close_input(&c);
    });
    const AVDictionary* stream = nullptr;
    for (unsigned i = 0; i < ctx->nb_streams && !stream; ++i)
        if (ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            stream = ctx->streams[i]->metadata;
    const auto get = [&](const char* key) {
        for (const AVDictionary* dict : {const_cast<const AVDictionary*>(ctx->metadata), stream}) {
            if (const AVDictionaryEntry* e = av_dict_get(dict, key, nullptr, 0))
                return QString::fromUtf8(e->value);
        }
        return QString();
    };
    v.title = get("title");
    v.artist = get("artist");
    v.album = get("album");
    v.genre = get("genre");
    v.comment = get("description");
    if (v.comment.isEmpty())
        v.comment = get("comment");
    v.year = get("date").left(4).toUInt();
    v.track = get("tracknumber").section(QLatin1Char('/'), 0, 0).toUInt();
    if (v.track == 0)
        v.track = get("track").section(QLatin1Char('/'), 0, 0).toUInt();
    return v;
}

// The five texts and two numbers through TagLib's common interface, which removes a field
// for an empty text or a zero number. A date or track number that says more than the number
// to write ("2003-05-12", "5/12", carried over from the source) stays when it holds that
// very year or number.
void setCommon(TagLib::Tag* tag, const Values& v)
{
    tag->setTitle(toT(v.title));
    tag->setArtist(toT(v.artist));
    tag->setAlbum(toT(v.album));
    tag->setComment(toT(v.comment));
    tag->setGenre(toT(v.genre));
    if (v.year == 0 || tag->year() != v.year)
        tag->setYear(v.year);
    if (v.track == 0 || tag->track() != v.track)
        tag->setTrack(v.track);
}

void setId3v2(TagLib::ID3v2::Tag* tag, const Values& v)
{
    // The year lives in TDRC (2.4) or TYER (2.3, with TDAT/TIME/TRDA beside it); a tag
    // may carry frames of both versions. Unless one date frame holds the year already, clear
    // them all so the new year is the only one.
    const auto& frames = tag->frameListMap();
    const int dates = int(frames["TDRC"].size() + frames["TYER"].size());
    if (dates != 1 || tag->year() != v.year) {
        for (const char* id : {"TDRC", "TYER", "TDAT", "TIME", "TRDA"})
            tag->removeFrames(id);
    }
    setCommon(tag, v);
    // Saved as 2.3, TDRC becomes TYER only when it has four characters: years below 1000
    // are written with leading zeros.
    if (v.year > 0 && v.year < 1000) {
        tag->removeFrames("TDRC");
        auto* frame = new TagLib::ID3v2::TextIdentificationFrame("TDRC", TagLib::String::Latin1);
        frame->setText(toT(QStringLiteral("%1").arg(v.year, 4, 10, QLatin1Char('0'))));
        tag->addFrame(frame);
    }
}

void setId3v1(TagLib::ID3v1::Tag* tag, const Values& v)
{
    tag->setTitle(toT(v.title));
    tag->setArtist(toT(v.artist));
    tag->setAlbum(toT(v.album));
    tag->setComment(toT(v.comment));
    tag->setYear(v.year);
    tag->setTrack(v.track <= 255 ? v.track : 0);
    // ID3v1 holds a genre only as a number from the list; 255 means none.
    const int n = genres::number(v.genre);
    tag->setGenreNumber(n >= 0 && n < 255 ? unsigned(n) : 255u);
}

void setAsf(TagLib::ASF::Tag* tag, const Values& v)
{
    // Title, artist and comment live in the content description object; the others are
    // attributes, removed rather than left empty.
    tag->setTitle(toT(v.title));
    tag->setArtist(toT(v.artist));
    tag->setComment(toT(v.comment));
    auto setText = [tag](const char* key, const QString& value) {
        tag->removeItem(key);
        if (!value.isEmpty())
            tag->setAttribute(key, TagLib::ASF::Attribute(toT(value)));
    };
    setText("WM/AlbumTitle", v.album);
    setText("WM/Genre", v.genre);
    tag->removeItem("WM/GenreID");
    // A fuller date or track number holding the very value stays, as in setCommon.
    if (v.year == 0 || tag->year() != v.year) {
        tag->removeItem("WM/Year");
        if (v.year != 0)
            tag->setYear(v.year);
    }
    if (v.track == 0 || tag->track() != v.track || tag->contains("WM/Track")) {
        tag->removeItem("WM/TrackNumber");
        tag->removeItem("WM/Track");
        if (v.track != 0)
            tag->setTrack(v.track);
    }
}

// The year of a date the common interface does not parse: a DATE property, or the "date" or
// "year" attribute other programs (ffmpeg among them) write into ASF files. Its first four
// characters, when they are digits.
unsigned yearOfDate(TagLib::File& file)
{
    QString date;
    const TagLib::PropertyMap props = file.properties();
    if (props.contains("DATE") && !props["DATE"].isEmpty())
        date = toQ(props["DATE"].front());
    if (auto* asf = dynamic_cast<TagLib::ASF::File*>(&file); asf && date.isEmpty()) {
        for (const char* key : {"date", "year", "DATE", "YEAR"}) {
            const auto& map = asf->tag()->attributeListMap();
            if (map.contains(key) && !map[key].isEmpty()) {
                date = toQ(map[key].front().toString());
                break;
            }
        }
    }
    const QString digits = date.trimmed().left(4);
    bool ok = false;
    const unsigned year = digits.size() == 4 ? digits.toUInt(&ok) : 0;
    return ok ? year : 0;
}

// A text as it reaches the file: up to its first NUL character (where TagLib's C strings
// end), through UTF-8 (a lone surrogate becomes U+FFFD).
QString asWritten(const QString& s)
{
    QByteArray utf8 = s.toUtf8();
    const qsizetype nul = utf8.indexOf('\0');
    if (nul >= 0)
        utf8.truncate(nul);
    return QString::fromUtf8(utf8);
}

// Cuts a text to at most n UTF-16 units without splitting a surrogate pair.
QString cutText(const QString& s, qsizetype n)
{
    if (s.size() <= n)
        return s;
    return s.left(n > 0 && s.at(n - 1).isHighSurrogate() ? n - 1 : n);
}

// ASF keeps title, artist and comment in its content description object, whose texts are
// UTF-16 with a terminating NUL and a 16-bit byte count: (65535 - 2) / 2 units at most.
constexpr qsizetype AsfMaxText = 32766;
// ID3v2.3 keeps the year in TYER, four digits.
constexpr unsigned Id3v23MaxYear = 9999;

// Leaves out or shortens what a tag format cannot hold, so writing never fails on a value;
// returns one note per value changed. year is the value as given (it may be negative).
QStringList fitTo(TagKind kind, Values& v, std::int32_t year)
{
    QStringList notes;
    if (year < 0)
        notes << QStringLiteral("year %1 not written: a year cannot be negative").arg(year);
    if ((kind == TagKind::Mpeg || kind == TagKind::Wav) && v.year > Id3v23MaxYear) {
        notes << QStringLiteral("year %1 not written: %2 tags hold four digits").arg(v.year).arg(tagKindName(kind));
        v.year = 0;
    }
    if (kind == TagKind::Asf) {
        const std::pair<QString*, const char*> texts[] = {
            {&v.title, "title"}, {&v.artist, "artist"}, {&v.comment, "comment"}};
        for (const auto& [text, name] : texts) {
            if (text->size() <= AsfMaxText)
                continue;
            *text = cutText(*text, AsfMaxText);
            notes << QStringLiteral("%1 shortened to %2 characters: WMA tags hold no more")
                         .arg(QLatin1String(name))
                         .arg(text->size());
        }
    }
    return notes;
}

} // namespace

void AudioInformation::LoadFromFile(const QString& path)
{
    installTextHandlers();
    const std::shared_ptr<const SourceFile> source = openForReading(path);
    const QByteArray head = headOf(*source);
    SourceStream stream(source);

    infoTitle.clear();
    infoArtist.clear();
    infoAlbum.clear();
    infoGenreS.clear();
    infoComments.clear();
    infoYear = 0;
    infoTrack = 0;

    const QByteArray name = QFile::encodeName(path);
    const TagKind kind = tagKindOf(stream, path, head);
    if (kind == TagKind::Unknown)
        return; // readable, but no tag format we know: no tags

    if (kind == TagKind::Other) {
        const Values v = libavformatValues(name);
        infoTitle = v.title;
        infoArtist = v.artist;
        infoAlbum = v.album;
        infoGenreS = genres::fromText(v.genre);
        infoComments = v.comment;
        infoYear = std::int32_t(std::min<unsigned>(v.year, unsigned(std::numeric_limits<std::int32_t>::max())));
        infoTrack = std::int16_t(std::uint16_t(std::min<unsigned>(v.track, 65535u)));
        return;
    }

    try {
        std::unique_ptr<TagLib::File> file = openTagFile(kind, &stream);
        if (!file || !file->isOpen() || !file->isValid())
            return; // tags that cannot be parsed read as none
        const TagLib::Tag* tag = file->tag();
        if (!tag)
            return;
        infoTitle = toQ(tag->title());
        infoArtist = toQ(tag->artist());
        infoAlbum = toQ(tag->album());
        infoComments = toQ(tag->comment());
        // TagLib 1.x's WAV tag() is the ID3v2 tag alone: fields it lacks come from RIFF INFO.
        auto* riff = dynamic_cast<TagLib::RIFF::WAV::File*>(file.get());
        if (riff && riff->hasInfoTag()) {
            const TagLib::RIFF::Info::Tag* info = riff->InfoTag();
            const auto fill = [](QString& field, const TagLib::String& from) {
                if (field.isEmpty())
                    field = toQ(from);
            };
            fill(infoTitle, info->title());
            fill(infoArtist, info->artist());
            fill(infoAlbum, info->album());
            fill(infoComments, info->comment());
        }
        if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file.get()))
            infoGenreS = mpegGenre(*mpeg);
        else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file.get()))
            infoGenreS = wavGenre(*wav);
        else
            infoGenreS = genres::fromText(toQ(tag->genre()));
        unsigned year = tag->year();
        unsigned track = tag->track();
        if (riff && riff->hasInfoTag()) {
            if (year == 0)
                year = riff->InfoTag()->year();
            if (track == 0)
                track = riff->InfoTag()->track();
        }
        if (year == 0)
            year = yearOfDate(*file);
        infoYear = std::int32_t(std::min<unsigned>(year, unsigned(std::numeric_limits<std::int32_t>::max())));
        // The track is a 16-bit value: numbers up to 65535 keep their low 16 bits.
        infoTrack = std::int16_t(std::uint16_t(std::min<unsigned>(track, 65535u)));
    } catch (const std::exception&) {
        // A tag so broken that TagLib gives up (e.g. a size that cannot be allocated):
        // the file has no usable tags.
        infoTitle.clear();
        infoArtist.clear();
        infoAlbum.clear();
        infoGenreS.clear();
        infoComments.clear();
        infoYear = 0;
        infoTrack = 0;
    }
}

QStringList AudioInformation::SaveToFile(const QString& path, AudioInformation* written) const
{
    installTextHandlers();
    requireFile(path);
    CheckedStream stream(path);
    const TagLib::ByteVector start = stream.readBlock(4096);
    const QByteArray head(start.data(), qsizetype(start.size()));

    Values v;
    v.title = asWritten(infoTitle);
    v.artist = asWritten(infoArtist);
    v.album = asWritten(infoAlbum);
    v.genre = asWritten(infoGenreS).trimmed();
    v.comment = asWritten(infoComments);
    v.year = infoYear > 0 ? unsigned(infoYear) : 0u;
    v.track = std::uint16_t(infoTrack); // the low 16 bits as given; 0 is none

    const TagKind kind = tagKindOf(stream, path, head);
    stream.seek(0); // TagLib's classes read from where the stream is
    auto fail = [&](const QString& why) {
        return EngineError(QStringLiteral("%1: cannot write the tags: %2").arg(path, why).toStdString());
    };
    if (kind == TagKind::Unknown || kind == TagKind::Other)
        throw fail(QStringLiteral("not a file whose tags can be written"));
    const QStringList notes = fitTo(kind, v, infoYear);

    bool saved = false;
    try {
        std::unique_ptr<TagLib::File> file = openTagFile(kind, &stream);
        if (!file || !file->isOpen())
            throw fail(QStringLiteral("the file cannot be opened"));
        if (!file->isValid())
            throw fail(QStringLiteral("not a valid %1 file").arg(tagKindName(kind)));
        if (file->readOnly())
            throw fail(QStringLiteral("the file is read-only"));

        if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file.get())) {
            // ID3v2.3 (what most players read) plus ID3v1 for the oldest ones. An APE tag
            // that is already there gets the same values, so no reader that prefers it
            // sees stale ones; every other tag type is stripped.
            setId3v2(mpeg->ID3v2Tag(true), v);
            setId3v1(mpeg->ID3v1Tag(true), v);
            int tags = TagLib::MPEG::File::ID3v2 | TagLib::MPEG::File::ID3v1;
            if (mpeg->hasAPETag()) {
                setCommon(mpeg->APETag(), v);
                tags |= TagLib::MPEG::File::APE;
            }
            saved = mpeg->save(tags, TagLib::File::StripOthers, TagLib::ID3v2::v3,
                               TagLib::File::DoNotDuplicate);
        } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file.get())) {
            // Both chunks: readers differ in which one they take (FFmpeg reads only INFO
            // when it exists). INFO's track is a plain number.
            setId3v2(wav->ID3v2Tag(), v);
            setCommon(wav->InfoTag(), v);
            saved = wav->save(TagLib::RIFF::WAV::File::AllTags, TagLib::File::StripOthers, TagLib::ID3v2::v3);
        } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file.get())) {
            setAsf(asf->tag(), v);
            saved = asf->save();
        } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file.get())) {
            setCommon(flac->xiphComment(true), v);
            saved = flac->save();
        } else {
            // The Ogg kinds: one Xiph comment.
            setCommon(file->tag(), v);
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

    AudioInformation fitted;
    fitted.infoTitle = v.title;
    fitted.infoArtist = v.artist;
    fitted.infoAlbum = v.album;
    fitted.infoGenreS = v.genre;
    fitted.infoComments = v.comment;
    fitted.infoYear = std::int32_t(v.year);
    fitted.infoTrack = std::int16_t(v.track);
    if (written) {
        *written = fitted;
        return notes;
    }
    // TagLib reports success on some damaged files (e.g. a WAV without a proper chunk
    // list) where nothing readable was written; read the values back to be sure.
    AudioInformation check;
    check.LoadFromFile(path);
    if (!check.SameValues(fitted))
        throw fail(QStringLiteral("the file's structure is damaged: the tags do not read back"));
    return notes;
}

bool AudioInformation::SameValues(const AudioInformation& o) const
{
    return infoTitle == o.infoTitle && infoArtist == o.infoArtist && infoAlbum == o.infoAlbum
        && infoComments == o.infoComments && infoYear == o.infoYear && std::uint16_t(infoTrack) == std::uint16_t(o.infoTrack);
}

} // namespace sondrel
