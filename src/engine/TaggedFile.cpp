#include "TaggedFile.h"

#include "ApeTags.h"
#include "AsfTags.h"
#include "Id3Tags.h"
#include "Mp4Tags.h"
#include "RiffInfoTags.h"
#include "XiphTags.h"

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

namespace sondrel {

TaggedFile::TaggedFile(TagKind kind, TagLib::IOStream* stream, bool writing)
    : m_kind(kind), m_stream(stream), m_file(openTagFile(kind, stream))
{
    if (isValid())
        addModules(writing);
}

TaggedFile::~TaggedFile() = default;

bool TaggedFile::isOpen() const { return m_file && m_file->isOpen(); }
bool TaggedFile::isValid() const { return isOpen() && m_file->isValid(); }
bool TaggedFile::readOnly() const { return !m_file || m_file->readOnly(); }

namespace {

using Modules = std::vector<std::unique_ptr<TagModule>>;

void addMpeg(Modules& m, TagLib::MPEG::File* f, bool writing)
{
    if (writing || f->hasID3v2Tag())
        m.push_back(id3v2Module(f->ID3v2Tag(true)));
    if (f->hasAPETag())
        m.push_back(apeModule(f->APETag()));
    if (writing || f->hasID3v1Tag())
        m.push_back(id3v1Module(f->ID3v1Tag(true)));
}

void addWav(Modules& m, TagLib::RIFF::WAV::File* f, bool writing)
{
    if (writing || f->hasID3v2Tag())
        m.push_back(id3v2Module(f->ID3v2Tag()));
    if (writing || f->hasInfoTag())
        m.push_back(riffInfoModule(f->InfoTag()));
}

// FLAC: the comment is made in memory when missing, for the picture blocks beside it; ID3
// tags of old taggers are read behind it.
void addFlac(Modules& m, TagLib::FLAC::File* f, bool writing)
{
    m.push_back(xiphModule(f->xiphComment(true), f));
    if (!writing && f->hasID3v2Tag())
        m.push_back(id3v2Module(f->ID3v2Tag()));
    if (!writing && f->hasID3v1Tag())
        m.push_back(id3v1Module(f->ID3v1Tag()));
}

// WavPack and Monkey's Audio: APE, and ID3v1 behind it.
template <typename File>
void addApe(Modules& m, File* f, bool writing)
{
    if (writing || f->hasAPETag())
        m.push_back(apeModule(f->APETag(true)));
    if (!writing && f->hasID3v1Tag())
        m.push_back(id3v1Module(f->ID3v1Tag()));
}

} // namespace

void TaggedFile::addModules(bool writing)
{
    TagLib::File* file = m_file.get();
    switch (m_kind) {
    case TagKind::Mpeg: addMpeg(m_modules, static_cast<TagLib::MPEG::File*>(file), writing); break;
    case TagKind::Wav: addWav(m_modules, static_cast<TagLib::RIFF::WAV::File*>(file), writing); break;
    case TagKind::Aiff:
        if (auto* f = static_cast<TagLib::RIFF::AIFF::File*>(file); writing || f->hasID3v2Tag())
            m_modules.push_back(id3v2Module(f->tag()));
        break;
    case TagKind::Flac: addFlac(m_modules, static_cast<TagLib::FLAC::File*>(file), writing); break;
    case TagKind::OggVorbis:
    case TagKind::OggFlac:
    case TagKind::OggOpus:
    case TagKind::OggSpeex:
        if (auto* comment = dynamic_cast<TagLib::Ogg::XiphComment*>(file->tag()))
            m_modules.push_back(xiphModule(comment));
        break;
    case TagKind::Asf: m_modules.push_back(asfModule(static_cast<TagLib::ASF::File*>(file)->tag())); break;
    case TagKind::Mp4:
        if (auto* tag = static_cast<TagLib::MP4::File*>(file)->tag())
            m_modules.push_back(mp4Module(tag));
        break;
    case TagKind::WavPack: addApe(m_modules, static_cast<TagLib::WavPack::File*>(file), writing); break;
    case TagKind::Ape: addApe(m_modules, static_cast<TagLib::APE::File*>(file), writing); break;
    case TagKind::Other:
    case TagKind::Unknown: break;
    }
}

CarriedTags TaggedFile::carried() const
{
    CarriedTags t;
    for (const auto& m : m_modules) {
        const std::size_t pictures = t.pictures.size();
        m->read(t);
        if (pictures > 0)
            t.pictures.resize(pictures);
    }
    return t;
}

TagValues TaggedFile::values() const
{
    TagValues v;
    const auto fill = [](auto& field, const auto& from) {
        if (field == std::decay_t<decltype(field)>{})
            field = from;
    };
    for (const auto& m : m_modules) {
        const TagValues o = m->values();
        fill(v.title, o.title);
        fill(v.artist, o.artist);
        fill(v.album, o.album);
        fill(v.genre, o.genre);
        fill(v.comment, o.comment);
        fill(v.year, o.year);
        fill(v.track, o.track);
    }
    return v;
}

QStringList TaggedFile::carry(const CarriedTags& tags)
{
    QStringList notes;
    for (const auto& m : m_modules)
        notes << m->carry(tags);
    return notes;
}

void TaggedFile::setValues(const TagValues& v)
{
    for (const auto& m : m_modules)
        m->setValues(v);
}

bool TaggedFile::save()
{
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(m_file.get())) {
        // An APE tag that is already there gets the same values, so no reader that prefers it
        // sees stale ones; every other kind of tag is stripped.
        int tags = TagLib::MPEG::File::ID3v2 | TagLib::MPEG::File::ID3v1;
        if (mpeg->hasAPETag())
            tags |= TagLib::MPEG::File::APE;
        return mpeg->save(tags, TagLib::File::StripOthers, TagLib::ID3v2::v3, TagLib::File::DoNotDuplicate);
    }
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(m_file.get()))
        return wav->save(TagLib::RIFF::WAV::File::AllTags, TagLib::File::StripOthers, TagLib::ID3v2::v3);
    if (!m_file->save())
        return false;
    if (m_kind == TagKind::Asf)
        dropEmptyAsfTexts(*m_stream);
    return true;
}

} // namespace sondrel
