#pragma once
// RIFF INFO, the LIST chunk of WAV files: one text per field.
#include "TagModule.h"

#include <memory>

namespace TagLib::RIFF::Info { class Tag; }

namespace sondrel {

// The fields INFO has an id for (title, artist, album, comment, genre, date, track, copyright,
// language); several values of a field are written joined with "; ".
std::unique_ptr<TagModule> riffInfoModule(TagLib::RIFF::Info::Tag* tag);

} // namespace sondrel
