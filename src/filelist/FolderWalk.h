#pragma once
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

namespace sondrel {

// Whether a file name has one of the extensions of the audio files a folder is searched for.
bool isAudioExtension(const QString& name);

// What a folder scan found, in scan order: a file named like audio, a folder named so that is
// not entered (folder), or an entry whose name is no valid UTF-8 (badName).
struct ScanEntry {
    QString path;
    QString name;
    bool folder = false;
    bool badName = false;
};

// Walks folder as adding a folder takes it, on any thread: every folder's entries in natural,
// case-insensitive name order ("a 3" before "a 20"), a sub-folder (not a link to one, its name
// not starting with ".") scanned where its name comes when includeSub is set, names starting
// with "." and names without an audio extension skipped, and so are the images a cue sheet in
// the same folder describes (the sheet stands for them). Calls found for each entry the list
// has to look at. A folder that cannot be read gives nothing. Returns early once stop is set.
void scanFolderEntries(const QString& folder, bool includeSub, const std::atomic<bool>& stop,
                       const std::function<void(ScanEntry&&)>& found);

// The audio files of a folder as adding a folder takes them, without a window.
QStringList audioFilesIn(const QString& folder, bool includeSub);

} // namespace sondrel
