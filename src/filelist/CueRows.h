#pragma once
// The rows of an album kept as one image (or a few) and described by a cue sheet: one row per
// track, its audio the track's range of the image, its record the sheet's tags over the
// image's own.
#include "CueSheet.h"
#include "FileListModel.h"

#include <QSet>
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

// The rows of the tracks of a sheet that the image at path carries (a FLAC, WavPack or
// Monkey's Audio file); none when it carries none, or one that cuts nothing (a sheet of one
// track is the file itself). Throws EngineError when the sheet it carries cannot be used.
std::vector<ListRow> carriedSheetRows(const QString& path, AudioFile& reader);

// Whether a sheet cuts any of its files into tracks: a file holding two tracks or more. A sheet
// with one whole file per track (as rippers write beside the tracks they wrote) describes
// files that stand on their own.
bool cueSheetCuts(const CueSheet& sheet);

// What an adding that finds a sheet beside its files makes of it: with `cuts`, the sheet is
// listed as its tracks and its images are not listed again; without, its files are listed as
// themselves and the sheet is left out. A sheet that cannot be read cuts (and names) nothing
// but is listed, so that its adding says why.
struct SheetInFolder {
    QStringList images;
    bool cuts = false;
    bool listed = true;
};
SheetInFolder cueSheetInFolder(const QString& sheetPath);

// Of files named together (chosen, dropped, or given on the command line), the ones to leave
// out as cueSheetInFolder says, as clean absolute paths: the images of the sheets among them
// that cut them, and the sheets that cut nothing whose files are named as well.
QSet<QString> leftOutOfNamedFiles(const QStringList& paths);

} // namespace sondrel
