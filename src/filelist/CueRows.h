#pragma once
// The rows of an album kept as one image (or a few) and described by a cue sheet: one row per
// track, its audio the track's range of the image, its record the sheet's tags over the
// image's own.
#include "CueSheet.h"
#include "FileListModel.h"

#include <QString>
#include <vector>

namespace sondrel {

class AudioFile;

// Whether a file name is a cue sheet's (".cue", any letter case).
bool isCueSheetName(const QString& name);

// The rows of sheet's tracks, in its order: caption "03 Title" ("Track 03" without a title),
// Time the track's length, Size its share of its image, the record and the sheet's other tags
// (album artist, composer, track total, disc, ...) over the image's tags. Every image is
// opened with reader (whose cancel flag ends a long count: CancelledError). Throws EngineError
// for an image that is no audio and for a track outside its image.
std::vector<ListRow> cueSheetRows(const CueSheet& sheet, AudioFile& reader);

// The images a sheet describes, for a folder scan that lists its tracks instead of them:
// empty for a sheet that cannot be read.
QStringList imagesOfCueSheet(const QString& sheetPath);

} // namespace sondrel
