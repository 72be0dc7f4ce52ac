#pragma once
// The tags of a file TagLib has no class for (Matroska/WebM, raw AAC or AC-3, an Ogg file whose
// first stream is not audio TagLib knows), as libavformat reads them while opening it.
#include "TagModule.h"

namespace sondrel {

// The file's own tags, else its first audio stream's: every field (when carried is given) and
// the seven values (when values is). Nothing when libavformat cannot open it.
void readLibavTags(const QString& path, CarriedTags* carried, TagValues* values);

} // namespace sondrel
