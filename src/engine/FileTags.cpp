#include "FileTags.h"

#include "CheckedStream.h"
#include "EngineError.h"
#include "Genres.h"
#include "LibavTags.h"
#include "SourceFile.h"
#include "SourceStream.h"
#include "TaggedFile.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <taglib/id3v1tag.h>
#include <taglib/infotag.h>
#include <taglib/textidentificationframe.h>

#include <algorithm>
#include <cstring>
#include <limits>
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

// Done once, before any file's tags are read or written: the text handlers, and TagLib's
// table of TIPL roles. That table is filled on its first use without a lock, and ID3v2 tags
// reach it whenever they read or set properties, so two files tagged at once on two threads
// would both fill it, racing on the one map.
void setUpTagLib()
{
    static std::once_flag once;
    std::call_once(once, [] {
        static InfoTextHandler info;
        static Id3v1TextHandler id3v1;
        TagLib::RIFF::Info::Tag::setStringHandler(&info);
        TagLib::ID3v1::Tag::setStringHandler(&id3v1);
        TagLib::ID3v2::TextIdentificationFrame::involvedPeopleMap();
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

AudioInformation informationOf(const TagValues& v)
{
    AudioInformation info;
    info.infoTitle = v.title;
    info.infoArtist = v.artist;
    info.infoAlbum = v.album;
    info.infoGenreS = v.genre;
    info.infoComments = v.comment;
    info.infoYear = std::int32_t(std::min<unsigned>(v.year, unsigned(std::numeric_limits<std::int32_t>::max())));
    // The track is a 16-bit value: numbers up to 65535 keep their low 16 bits.
    info.infoTrack = std::int16_t(std::uint16_t(std::min<unsigned>(v.track, 65535u)));
    return info;
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

TagValues valuesToWrite(const AudioInformation& info)
{
    return {asWritten(info.infoTitle), asWritten(info.infoArtist), asWritten(info.infoAlbum),
            asWritten(info.infoGenreS).trimmed(), asWritten(info.infoComments),
            info.infoYear > 0 ? unsigned(info.infoYear) : 0u,
            std::uint16_t(info.infoTrack)}; // the low 16 bits as given; 0 is none
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
QStringList fitTo(TagKind kind, TagValues& v, std::int32_t year)
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

FileTags readFileTags(const QString& path, bool withCarried)
{
    setUpTagLib();
    const std::shared_ptr<const SourceFile> source = openForReading(path);
    const QByteArray head = headOf(*source);
    SourceStream stream(source);
    FileTags out;
    const TagKind kind = tagKindOf(stream, path, head);
    if (kind == TagKind::Unknown)
        return out; // readable, but no tag format we know: no tags
    if (kind == TagKind::Other) {
        TagValues v;
        readLibavTags(path, withCarried ? &out.carried : nullptr, &v);
        v.genre = genres::fromText(v.genre);
        out.values = informationOf(v);
        return out;
    }
    try {
        const TaggedFile file(kind, &stream, false);
        if (!file.isValid())
            return out; // tags that cannot be parsed read as none
        out.values = informationOf(file.values());
        if (withCarried)
            out.carried = file.carried();
    } catch (const std::exception&) {
        // A tag so broken that TagLib gives up (e.g. a size that cannot be allocated): the
        // file has no usable tags.
        return {};
    }
    return out;
}

TagsWritten writeFileTags(const QString& path, const CarriedTags& carried, const AudioInformation& values)
{
    setUpTagLib();
    requireFile(path);
    CheckedStream stream(path);
    const TagLib::ByteVector start = stream.readBlock(4096);
    const TagKind kind = tagKindOf(stream, path, QByteArray(start.data(), qsizetype(start.size())));
    stream.seek(0); // TagLib's classes read from where the stream is
    const auto fail = [&](const QString& why) {
        return EngineError(QStringLiteral("%1: cannot write the tags: %2").arg(path, why).toStdString());
    };
    if (kind == TagKind::Unknown || kind == TagKind::Other)
        throw fail(QStringLiteral("not a file whose tags can be written"));
    TagValues v = valuesToWrite(values);
    TagsWritten written;
    const QStringList fitted = fitTo(kind, v, values.infoYear);
    bool saved = false;
    try {
        TaggedFile file(kind, &stream, true);
        if (!file.isOpen())
            throw fail(QStringLiteral("the file cannot be opened"));
        if (!file.isValid())
            throw fail(QStringLiteral("not a valid %1 file").arg(tagKindName(kind)));
        if (file.readOnly())
            throw fail(QStringLiteral("the file is read-only"));
        if (!carried.empty())
            written.notes << file.carry(carried);
        file.setValues(v);
        saved = file.save();
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
    written.notes << fitted;
    written.values = informationOf(v);
    return written;
}

} // namespace sondrel
