#pragma once
// One file measured for the list on a worker thread: whether it can be listed, its row with
// the playing time, size and tags. It opens the file only when it is a regular file, so a
// FIFO, a device or a socket named like audio is never waited on. Never throws.
#include "FileListModel.h"

#include <QString>
#include <atomic>
#include <vector>

namespace sondrel {

class AudioFile;

struct Probed {
    enum class Outcome {
        Listed,   // row holds the new row and its record
        Removed,  // no such file, or a folder: "has been removed!"
        Invalid,  // not audio, no samples, or not a regular file added by name
        Skipped,  // not a regular file, found by a folder scan: no message
        BadName,  // not there under this name, but a file whose name is no valid UTF-8 is
        Stopped,  // the adding was stopped while the file was read
    };
    Outcome outcome = Outcome::Invalid;
    ListRow row;
    // Listed: for a cue sheet, or an image that carries one, the rows of its tracks, which
    // take the place of row.
    std::vector<ListRow> tracks;
    // Invalid: why, where there is more to say than that it is no audio (a sheet's line).
    QString reason;
};

// Measures path for a row captioned caption; a cue sheet gives the rows of its tracks. fromScan: found by a folder scan (which skips
// what is not a regular file) rather than chosen by name. reader and tags are the calling
// thread's own; reader's cancel flag ends a long measurement. The row keeps the file's tag
// record and the other tags output names are made from.
Probed probeFile(const QString& path, const QString& caption, bool fromScan, AudioFile& reader) noexcept;

// Whether the folder of path holds an entry whose name is not valid UTF-8 and reads, as
// text, like the file name of path: such a file cannot be reached by its text name.
bool hasUndecodableTwin(const QString& path);

// Whether a file name as the file system gives it survives the trip to text and back.
bool nameDecodes(const char* name);

} // namespace sondrel
