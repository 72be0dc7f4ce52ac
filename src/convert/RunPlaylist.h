#pragma once
// The playlist a run can leave in its output folder: its outputs in list order, as paths
// relative to the playlist, in an extended M3U file in UTF-8 (.m3u8).
#include "FileNameRules.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

namespace sondrel {

class OutputDir;

struct PlaylistEntry {
    QString relative;       // the output below the playlist's folder, "/" between folders
    QString title;          // shown by players
    std::int64_t durationMs = -1; // -1 where unknown
};

// "<name of the added folder>.m3u8", or "Sondrel.m3u8" for files added alone.
QString playlistNameFor(const QString& addedFolder, NameRules rules);
QByteArray playlistText(const std::vector<PlaylistEntry>& entries);
// Writes text as name into folder the way outputs are written: a temporary file renamed
// onto the name once complete and synced. Throws OutputError with the reason.
void writePlaylist(const std::shared_ptr<const OutputDir>& folder, const QString& name, const QByteArray& text);

} // namespace sondrel
