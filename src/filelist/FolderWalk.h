#pragma once
#include <QString>
#include <QStringList>

namespace sondrel {

// Whether a file name has one of the extensions of the audio files a folder is searched for.
bool isAudioExtension(const QString& name);

// Natural, case-insensitive order of names, the same in every language setting: runs of
// digits compare by their value ("a 3" before "a 20", "B2" before "b10"). < 0, 0 or > 0.
int naturalCompare(const QString& a, const QString& b);

// The audio files of a folder as adding a folder takes them, without a window: every
// folder's entries in natural, case-insensitive name order ("a 3" before "a 20"), a
// sub-folder's files where the sub-folder's name comes (when includeSub), hidden entries and
// links to folders left out.
QStringList audioFilesIn(const QString& folder, bool includeSub);

} // namespace sondrel
