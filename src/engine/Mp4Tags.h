#pragma once
// MP4 (M4A) item atoms.
#include "TagModule.h"

#include <memory>

namespace TagLib::MP4 { class Tag; }

namespace sondrel {

// Fields of no atom of their own become "----:com.apple.iTunes:" atoms (REPLAYGAIN_* in lower
// case, as players of MP4 files read them); several values are one atom's list; track and disc
// numbers are pairs with their totals; pictures are JPEG, PNG, BMP or GIF "covr" data, the
// front cover first.
std::unique_ptr<TagModule> mp4Module(TagLib::MP4::Tag* tag);

} // namespace sondrel
