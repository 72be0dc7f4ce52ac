#pragma once
// Reading and writing a file's tags, each in one pass of TagLib over the file: the tags and
// pictures carried between formats, and the seven values of the track record over them.
#include "AudioInformation.h"
#include "CarriedTags.h"

#include <QString>
#include <QStringList>

namespace sondrel {

struct FileTags {
    CarriedTags carried; // empty unless asked for
    AudioInformation values;
};

// The tags of path: the seven values, with every field and picture when withCarried. Tags that
// cannot be parsed read as none; a file that cannot be read at all (missing, a folder, not a
// regular file) throws EngineError.
FileTags readFileTags(const QString& path, bool withCarried = true);

struct TagsWritten {
    QStringList notes;        // what the format could not hold as it was given
    AudioInformation values;  // the seven values as written (fitted to the format)
};

// Writes into path (a closed MP3, WAV, WMA, OGG, FLAC, Opus or M4A file, or another kind
// TagLib writes) every field and picture of carried (none: the file's own stay), and the seven
// values of values over them, in one open, change and save. A value the format cannot hold is
// left out or shortened rather than refused (a year beyond four digits in ID3v2.3, a WMA title,
// artist or comment beyond 32766 characters), with a note. Every write is checked: a failed one
// throws WriteFailure with the system's reason; tags that cannot be written throw EngineError.
TagsWritten writeFileTags(const QString& path, const CarriedTags& carried, const AudioInformation& values);

} // namespace sondrel
