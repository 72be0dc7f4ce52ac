#include "TagFiles.h"

#include <QFile>
#include <QFileInfo>

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/tfilestream.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/speexfile.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>

#include <algorithm>

namespace sondrel {

namespace {

// The container, told by the first bytes of the file (after any ID3v2 tags).
TagKind kindFromContent(const QByteArray& head, bool afterId3)
{
    const auto* b = reinterpret_cast<const unsigned char*>(head.constData());
    const qsizetype n = head.size();
    if (n >= 12 && (head.startsWith("RIFF") || head.startsWith("RF64")) && head.mid(8, 4) == "WAVE")
        return TagKind::Wav;
    if (n >= 12 && head.startsWith("FORM") && (head.mid(8, 4) == "AIFF" || head.mid(8, 4) == "AIFC"))
        return TagKind::Aiff;
    static const unsigned char asfGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    if (n >= 16 && std::equal(asfGuid, asfGuid + 16, b))
        return TagKind::Asf;
    if (n >= 4 && head.startsWith("fLaC"))
        return TagKind::Flac;
    if (n >= 8 && head.mid(4, 4) == "ftyp")
        return TagKind::Mp4;
    if (n >= 4 && head.startsWith("wvpk"))
        return TagKind::WavPack;
    if (n >= 4 && head.startsWith("MAC "))
        return TagKind::Ape;
    if (n >= 4 && b[0] == 0x1A && b[1] == 0x45 && b[2] == 0xDF && b[3] == 0xA3)
        return TagKind::Other; // Matroska, WebM
    if (n >= 28 && head.startsWith("OggS")) {
        // The first packet of the first page names the codec of the first stream.
        const int segments = b[26];
        const QByteArray p = head.mid(27 + segments, 8);
        if (p.startsWith("\x01vorbis"))
            return TagKind::OggVorbis;
        if (p.startsWith("\x7f" "FLAC"))
            return TagKind::OggFlac;
        if (p.startsWith("OpusHead"))
            return TagKind::OggOpus;
        if (p.startsWith("Speex   "))
            return TagKind::OggSpeex;
        return TagKind::Other;
    }
    if (n >= 2 && b[0] == 0x0B && b[1] == 0x77)
        return TagKind::Other; // AC-3
    if (n >= 2 && b[0] == 0xFF && (b[1] & 0xF6) == 0xF0)
        return TagKind::Other; // AAC in ADTS frames (MPEG sync with layer 0)
    // An MPEG audio frame header (sync, layer not "reserved"), or ID3v2 in front of anything
    // else: MP3 as far as tags go.
    if (afterId3 || (n >= 2 && b[0] == 0xFF && (b[1] & 0xE0) == 0xE0 && ((b[1] >> 1) & 3) != 0))
        return TagKind::Mpeg;
    return TagKind::Unknown;
}

TagKind kindFromExtension(const QString& path)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    static const std::pair<const char*, TagKind> names[] = {
        {"mp3", TagKind::Mpeg},  {"mp2", TagKind::Mpeg},      {"mpga", TagKind::Mpeg},   {"wav", TagKind::Wav},
        {"ogg", TagKind::OggVorbis}, {"oga", TagKind::OggVorbis}, {"opus", TagKind::OggOpus},
        {"wma", TagKind::Asf},   {"asf", TagKind::Asf},       {"flac", TagKind::Flac},   {"m4a", TagKind::Mp4},
        {"m4b", TagKind::Mp4},   {"mp4", TagKind::Mp4},       {"aif", TagKind::Aiff},    {"aiff", TagKind::Aiff},
        {"aifc", TagKind::Aiff}, {"wv", TagKind::WavPack},    {"ape", TagKind::Ape},     {"mka", TagKind::Other},
        {"webm", TagKind::Other}, {"aac", TagKind::Other},    {"ac3", TagKind::Other},
    };
    for (const auto& [name, kind] : names)
        if (ext == QLatin1String(name))
            return kind;
    return TagKind::Unknown;
}

// The bytes after the ID3v2 tags at the start of the file (empty when there are none).
QByteArray afterId3v2(TagLib::IOStream& stream, const QByteArray& head)
{
    long offset = 0;
    for (int tags = 0; tags < 16; ++tags) {
        stream.seek(offset);
        const TagLib::ByteVector h = stream.readBlock(10);
        const auto* b = reinterpret_cast<const unsigned char*>(h.data());
        if (h.size() < 10 || !h.startsWith("ID3") || ((b[6] | b[7] | b[8] | b[9]) & 0x80))
            break;
        offset += 10 + ((b[6] << 21) | (b[7] << 14) | (b[8] << 7) | b[9]) + ((b[5] & 0x10) ? 10 : 0);
    }
    if (offset == 0)
        return head;
    stream.seek(offset);
    const TagLib::ByteVector rest = stream.readBlock(64);
    return QByteArray(rest.data(), qsizetype(rest.size()));
}

// The file opened by its TagLib class, from a file name or a stream of the caller's.
template <typename Source>
std::unique_ptr<TagLib::File> openAs(TagKind kind, Source source)
{
    switch (kind) {
    case TagKind::Mpeg: return std::make_unique<TagLib::MPEG::File>(source, TagLib::ID3v2::FrameFactory::instance(), false);
    case TagKind::Wav: return std::make_unique<TagLib::RIFF::WAV::File>(source, false);
    case TagKind::Aiff: return std::make_unique<TagLib::RIFF::AIFF::File>(source, false);
    case TagKind::OggVorbis: return std::make_unique<TagLib::Ogg::Vorbis::File>(source, false);
    case TagKind::OggFlac: return std::make_unique<TagLib::Ogg::FLAC::File>(source, false);
    case TagKind::OggOpus: return std::make_unique<TagLib::Ogg::Opus::File>(source, false);
    case TagKind::OggSpeex: return std::make_unique<TagLib::Ogg::Speex::File>(source, false);
    case TagKind::Asf: return std::make_unique<TagLib::ASF::File>(source, false);
    case TagKind::Flac: return std::make_unique<TagLib::FLAC::File>(source, TagLib::ID3v2::FrameFactory::instance(), false);
    case TagKind::Mp4: return std::make_unique<TagLib::MP4::File>(source, false);
    case TagKind::WavPack: return std::make_unique<TagLib::WavPack::File>(source, false);
    case TagKind::Ape: return std::make_unique<TagLib::APE::File>(source, false);
    case TagKind::Other:
    case TagKind::Unknown: break;
    }
    return nullptr;
}

} // namespace

QString tagKindName(TagKind k)
{
    switch (k) {
    case TagKind::Mpeg: return QStringLiteral("MP3");
    case TagKind::Wav: return QStringLiteral("WAV");
    case TagKind::Aiff: return QStringLiteral("AIFF");
    case TagKind::OggVorbis: return QStringLiteral("Ogg Vorbis");
    case TagKind::OggFlac: return QStringLiteral("Ogg FLAC");
    case TagKind::OggOpus: return QStringLiteral("Ogg Opus");
    case TagKind::OggSpeex: return QStringLiteral("Ogg Speex");
    case TagKind::Asf: return QStringLiteral("WMA");
    case TagKind::Flac: return QStringLiteral("FLAC");
    case TagKind::Mp4: return QStringLiteral("M4A");
    case TagKind::WavPack: return QStringLiteral("WavPack");
    case TagKind::Ape: return QStringLiteral("Monkey's Audio");
    case TagKind::Other: return QStringLiteral("other");
    case TagKind::Unknown: break;
    }
    return QStringLiteral("unknown");
}

TagKind tagKindOf(TagLib::IOStream& stream, const QString& path, const QByteArray& head)
{
    TagKind kind = TagKind::Unknown;
    if (head.startsWith("ID3")) {
        const QByteArray rest = afterId3v2(stream, head);
        // FLAC and Monkey's Audio files may carry ID3v2 in front, which their classes skip.
        const TagKind behind = kindFromContent(rest, true);
        kind = behind == TagKind::Flac || behind == TagKind::Ape || behind == TagKind::Other ? behind : TagKind::Mpeg;
    } else {
        kind = kindFromContent(head, false);
    }
    return kind == TagKind::Unknown ? kindFromExtension(path) : kind;
}

TagKind tagKindOf(const QString& path, const QByteArray& head)
{
    TagLib::FileStream stream(QFile::encodeName(path).constData(), true);
    return tagKindOf(stream, path, head);
}

std::unique_ptr<TagLib::File> openTagFile(TagKind kind, const QByteArray& name)
{
    return openAs(kind, name.constData());
}

std::unique_ptr<TagLib::File> openTagFile(TagKind kind, TagLib::IOStream* stream)
{
    return openAs(kind, stream);
}

} // namespace sondrel
