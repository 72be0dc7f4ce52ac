#pragma once
// What the tag code shares: which kind of tagged file a path holds (told by its content, the
// name only when the content says nothing), opening it with the right TagLib class, and text
// between Qt and TagLib.
#include <QByteArray>
#include <QString>
#include <memory>

#include <taglib/tfile.h>
#include <taglib/tiostream.h>
#include <taglib/tstring.h>

namespace sondrel {

// Other: a file TagLib has no class for (Matroska/WebM, raw AAC or AC-3, an Ogg file whose
// first stream is not audio TagLib knows): its tags are read through libavformat.
enum class TagKind {
    Unknown, Mpeg, Wav, Aiff, OggVorbis, OggFlac, OggOpus, OggSpeex, Asf, Flac, Mp4, WavPack, Ape, Other
};

QString tagKindName(TagKind kind);

// The kind of the file at path whose first bytes are head (ID3v2 tags in front are looked past,
// read from stream when given).
TagKind tagKindOf(const QString& path, const QByteArray& head);
TagKind tagKindOf(TagLib::IOStream& stream, const QString& path, const QByteArray& head);

// The file opened by its TagLib class (audio properties not read); null for Unknown and Other.
// A stream stays the caller's and must outlive the file.
std::unique_ptr<TagLib::File> openTagFile(TagKind kind, const QByteArray& encodedName);
std::unique_ptr<TagLib::File> openTagFile(TagKind kind, TagLib::IOStream* stream);

inline QString toQ(const TagLib::String& s) { return QString::fromUtf8(s.toCString(true)); }
inline TagLib::String toT(const QString& s) { return TagLib::String(s.toUtf8().constData(), TagLib::String::UTF8); }

} // namespace sondrel
