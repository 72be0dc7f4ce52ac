#pragma once
// Xiph comments: FLAC, Ogg Vorbis, Ogg FLAC, Opus and Speex.
#include "TagModule.h"

#include <memory>

namespace TagLib::FLAC { class File; }
namespace TagLib::Ogg { class XiphComment; }

namespace sondrel {

// Every field under its own name, several values as several comments, TRACKTOTAL and
// DISCTOTAL apart from their numbers; pictures with their size and colour depth, as picture
// blocks of a FLAC file (flac, when given) or METADATA_BLOCK_PICTURE comments of an Ogg one.
std::unique_ptr<TagModule> xiphModule(TagLib::Ogg::XiphComment* comment, TagLib::FLAC::File* flac = nullptr);

} // namespace sondrel
