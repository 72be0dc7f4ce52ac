// Sheets carried inside their image: FLAC's CUESHEET comment or metadata block, and the
// CUESHEET item of a WavPack or Monkey's Audio file's APE tag.
#include "CueSheet.h"

#include "EngineError.h"
#include "TagFiles.h"

#include <QFile>
#include <QFileInfo>

#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/wavpackfile.h>

namespace sondrel {

namespace {

// What a FLAC file's metadata holds for a sheet.
struct FlacSheetBlocks {
    int sampleRate = 0;
    QByteArray comment;    // the CUESHEET comment's value
    QByteArray cueBlock;   // the CUESHEET block's body
};

std::uint64_t bigEndian(const char* p, int bytes)
{
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | static_cast<unsigned char>(p[i]);
    return v;
}

std::uint32_t littleEndian32(const char* p)
{
    return std::uint32_t(static_cast<unsigned char>(p[0])) | std::uint32_t(static_cast<unsigned char>(p[1])) << 8
        | std::uint32_t(static_cast<unsigned char>(p[2])) << 16 | std::uint32_t(static_cast<unsigned char>(p[3])) << 24;
}

// The value of the first CUESHEET field of a Vorbis comment block; empty when there is none.
QByteArray cuesheetComment(const QByteArray& block)
{
    qsizetype at = 0;
    auto field = [&](QByteArray* out) {
        if (block.size() - at < 4)
            return false;
        const std::uint32_t length = littleEndian32(block.constData() + at);
        at += 4;
        if (std::uint64_t(block.size() - at) < length)
            return false;
        if (out)
            *out = block.mid(at, qsizetype(length));
        at += qsizetype(length);
        return true;
    };
    if (!field(nullptr) || block.size() - at < 4)
        return {};
    std::uint32_t count = littleEndian32(block.constData() + at);
    at += 4;
    QByteArray entry;
    while (count-- > 0 && field(&entry)) {
        const qsizetype eq = entry.indexOf('=');
        if (eq > 0 && entry.left(eq).compare("CUESHEET", Qt::CaseInsensitive) == 0)
            return entry.mid(eq + 1);
    }
    return {};
}

// Walks a native FLAC file's metadata blocks (past an ID3v2 tag in front); none when the file
// is no FLAC.
std::optional<FlacSheetBlocks> readFlacBlocks(QFile& file)
{
    QByteArray head = file.read(10);
    qint64 at = 0;
    if (head.size() == 10 && head.startsWith("ID3")) {
        const auto* b = reinterpret_cast<const unsigned char*>(head.constData());
        at = 10 + ((b[6] & 0x7F) << 21 | (b[7] & 0x7F) << 14 | (b[8] & 0x7F) << 7 | (b[9] & 0x7F))
            + ((b[5] & 0x10) ? 10 : 0);
    }
    if (!file.seek(at) || file.read(4) != "fLaC")
        return std::nullopt;
    FlacSheetBlocks found;
    for (bool last = false; !last;) {
        const QByteArray header = file.read(4);
        if (header.size() < 4)
            break;
        last = header[0] & 0x80;
        const int type = header[0] & 0x7F;
        const auto length = qint64(bigEndian(header.constData() + 1, 3));
        if (type == 0 || type == 4 || type == 5) {
            const QByteArray body = file.read(length);
            if (body.size() < length)
                break;
            if (type == 0 && body.size() >= 13)
                found.sampleRate = int(bigEndian(body.constData() + 10, 3) >> 4);
            else if (type == 4 && found.comment.isEmpty())
                found.comment = cuesheetComment(body);
            else if (type == 5)
                found.cueBlock = body;
        } else if (!file.seek(file.pos() + length)) {
            break;
        }
    }
    return found;
}

// The sheet of a CUESHEET metadata block: offsets in samples at the stream's rate.
CueSheet sheetOfBlock(const QByteArray& block, int rate, const QString& image)
{
    const QString name = QFileInfo(image).fileName();
    const auto damaged = [&] {
        return EngineError(QStringLiteral("%1: damaged CUESHEET block").arg(name).toStdString());
    };
    if (rate <= 0 || block.size() < 396)
        throw damaged();
    CueSheet sheet;
    sheet.path = image;
    sheet.files << image;
    sheet.catalog = QString::fromLatin1(block.left(128).constData()).trimmed();
    const char* p = block.constData();
    const int count = static_cast<unsigned char>(p[395]);
    qsizetype at = 396;
    struct Entry { CueTrack track; bool audio; };
    std::vector<Entry> entries;
    for (int t = 0; t < count; ++t) {
        if (block.size() - at < 36)
            throw damaged();
        const auto offset = std::int64_t(bigEndian(p + at, 8));
        const int number = static_cast<unsigned char>(p[at + 8]);
        const QString isrc = QString::fromLatin1(QByteArray(p + at + 9, 12).constData());
        const auto flags = static_cast<unsigned char>(p[at + 21]);
        const int points = static_cast<unsigned char>(p[at + 35]);
        at += 36;
        if (block.size() - at < qsizetype(points) * 12)
            throw damaged();
        Entry e{{}, !(flags & 0x80)};
        e.track.number = number;
        e.track.isrc = isrc;
        if (flags & 0x40)
            e.track.flags << QStringLiteral("PRE");
        bool hasIndex01 = false;
        for (int i = 0; i < points; ++i, at += 12) {
            const std::int64_t sample = offset + std::int64_t(bigEndian(p + at, 8));
            const int index = static_cast<unsigned char>(p[at + 8]);
            if (index == 0)
                e.track.index00 = sample;
            if (index == 1) {
                e.track.index01 = sample;
                hasIndex01 = true;
            }
        }
        // The lead-out (170 on a CD, 255 otherwise) marks the end of the last track.
        if (number >= 100)
            break;
        if (!hasIndex01)
            throw EngineError(QStringLiteral("%1: CUESHEET block: track %2 has no INDEX 01").arg(name).arg(number)
                                  .toStdString());
        entries.push_back(e);
    }
    // The same cut as a written sheet's: the first track from the start, each to the next.
    const auto frames = [&](std::int64_t sample) { return sample * kCueFramesPerSecond / rate; };
    for (std::size_t i = 0; i < entries.size(); ++i) {
        CueTrack& t = entries[i].track;
        t.file = image;
        t.sampleRate = rate;
        t.startSample = i == 0 ? 0 : t.index01;
        t.endSample = i + 1 == entries.size() ? -1 : entries[i + 1].track.index01;
        t.start = frames(t.startSample);
        t.end = t.endSample < 0 ? -1 : frames(t.endSample);
        t.index00 = t.index00 < 0 ? -1 : frames(t.index00);
        t.index01 = frames(t.index01);
        if (entries[i].audio)
            sheet.tracks.push_back(t);
    }
    if (sheet.tracks.empty())
        throw EngineError(QStringLiteral("%1: CUESHEET block: no audio track").arg(name).toStdString());
    return sheet;
}

// The CUESHEET item of a WavPack or Monkey's Audio file's APE tag.
QByteArray apeCuesheet(const QString& path, const QByteArray& head)
{
    const TagKind kind = tagKindOf(path, head);
    if (kind != TagKind::WavPack && kind != TagKind::Ape)
        return {};
    const std::unique_ptr<TagLib::File> file = openTagFile(kind, QFile::encodeName(path));
    if (!file || !file->isValid())
        return {};
    TagLib::APE::Tag* tag = kind == TagKind::WavPack ? static_cast<TagLib::WavPack::File*>(file.get())->APETag()
                                                     : static_cast<TagLib::APE::File*>(file.get())->APETag();
    if (!tag)
        return {};
    const auto& items = tag->itemListMap();
    const auto it = items.find("CUESHEET");
    if (it == items.end())
        return {};
    if (it->second.type() == TagLib::APE::Item::Text)
        return toQ(it->second.values().toString("\n")).toUtf8();
    const TagLib::ByteVector data = it->second.binaryData();
    return QByteArray(data.data(), qsizetype(data.size()));
}

} // namespace

std::optional<CueSheet> embeddedCueSheet(const QString& imagePath)
{
    QFile file(imagePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    if (const std::optional<FlacSheetBlocks> flac = readFlacBlocks(file)) {
        // The comment, where there is one, is a whole sheet with titles; the block holds
        // times and numbers only, and stands in when the comment cannot be read.
        if (!flac->comment.isEmpty()) {
            try {
                return parseCueSheet(flac->comment, imagePath, imagePath);
            } catch (const EngineError&) {
                if (flac->cueBlock.isEmpty())
                    throw;
            }
        }
        if (!flac->cueBlock.isEmpty())
            return sheetOfBlock(flac->cueBlock, flac->sampleRate, imagePath);
        return std::nullopt;
    }
    file.seek(0);
    const QByteArray text = apeCuesheet(imagePath, file.read(4096));
    if (text.trimmed().isEmpty())
        return std::nullopt;
    return parseCueSheet(text, imagePath, imagePath);
}

} // namespace sondrel
