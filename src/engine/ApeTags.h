#pragma once
// APEv2 tags: WavPack, Monkey's Audio, and APE behind an MP3.
#include "TagModule.h"

#include <memory>

namespace TagLib::APE { class Tag; }

namespace sondrel {

// Every field under its own name, several values in one item; pictures as binary
// "Cover Art (Front)", "Cover Art (Back)", ... items (one per kind of picture).
std::unique_ptr<TagModule> apeModule(TagLib::APE::Tag* tag);

} // namespace sondrel
