#pragma once
#include <QStringList>
#include <cstdio>
#include <memory>
#include <vector>

namespace sondrel {

struct CommandLine;
struct ListRow;

// Converts the files and folders of a --convert command line without any window, with the
// settings file, engine and rules of the window's Convert command: one line per file on out
// ("path<TAB>result<TAB>seconds"), a progress line and the closing summary on err. Needs a
// QCoreApplication. Returns the exit status: 0 every file converted, 1 otherwise, and
// kUsageError when --existing ask (or --overwrite ask) has no terminal on standard input to answer on.
inline constexpr int kUsageError = 2;
int runBatchConversion(const CommandLine& command, std::FILE* out, std::FILE* err);

// The files a command line names, in its order: folders as adding a folder takes them, with
// their sub-folders; a cue sheet as its tracks (its images are not taken once more when named
// or found beside it), as is an image that carries a sheet. What names nothing (or a folder
// without audio files) and a sheet that cannot be used are said on err.
struct NamedFiles {
    QStringList files;     // a track's image for a track
    QStringList added;     // for each file, the folder named on the command line, or empty
    // For each file, the track of it taken, with its caption and record; null for all of it.
    std::vector<std::shared_ptr<const ListRow>> tracks;
    QStringList badNames;  // files whose names are not valid UTF-8: they cannot be opened
    int missing = 0;       // names of nothing, and folders without audio files
};
NamedFiles filesNamed(const QStringList& paths, std::FILE* err);

// How a file is named in the lines printed for it: its path, or for a track its sheet's path
// and number ("/music/album.cue track 3").
QString namedFileLabel(const NamedFiles& named, int index);

} // namespace sondrel
