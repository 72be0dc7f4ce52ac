#pragma once
// How a run names its outputs, shared by the run itself, the list's plan of outputs and the
// command line's dry run, so that what is shown before a run is what the run writes.
#include "FileNameRules.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

namespace sondrel {

class NamePattern;
class RunRows;

// What a run does with an output that exists already.
// Which ReplayGain values a run writes.
enum class GainTags { Off = 0, Track = 1, TrackAndAlbum = 2 };

enum class Existing {
    Ask = 0,       // asks the user
    Skip = 1,      // keeps it
    Overwrite = 2, // replaces it
    Rename = 3,    // writes beside it, as "name (2).ext", "name (3).ext", ...
    Update = 4,    // replaces it only when it is older than its source
};
// The word the command line takes for each: "ask", "skip", "overwrite", "rename", "update".
QString existingWord(Existing e);
std::optional<Existing> existingNamed(const QString& word);
// A stored setting; a value out of range is Ask.
Existing existingFromSetting(int value);

// The settings an output's name is made from.
struct OutputNaming {
    QString extension; // ".mp3", ...
    // Outputs of rows found in an added folder go to <folder>/<its name>/<sub-folders>/.
    bool keepFolders = false;
    // Outputs named by this pattern (NamePattern), below the (kept) folder; empty: each after
    // its row's caption.
    QString namePattern;
    NameRules nameRules = NameRules::Native;
    QString formatLabel; // the pattern's {format}: "MP3"
    // Not empty: a source whose audio is in this codec (AudioFile::CopiedCodec) is copied into
    // its output as it is, not encoded again.
    QString copyCodec;
};

// The output of row below the output folder ("sub/folders/name.ext"), made by pattern (null:
// from the caption). False, with the reason in *error, when pattern is not valid.
bool relativeOutputFor(const RunRows& rows, int row, const OutputNaming& naming, const NamePattern* pattern,
                       QString* relative, QString* error);

// relative with " (n)" put before its extension, the file name shortened where it would be
// longer than MaxNameBytes.
QString numberedName(const QString& relative, const QString& extension, int n);

// The output names one run has taken, so that no two of its rows write one file: a name an
// earlier row took becomes "name (2).ext", then "(3)", ... Names are compared the way the
// file system will: without case where names are made for FAT and NTFS drives.
class RunNames {
public:
    explicit RunNames(NameRules rules = NameRules::Native) : m_rules(rules) {}
    // relative itself when free, else the first numbered name that is; a name for which
    // alsoTaken says true (an existing file, for a run that renames) is not free either.
    QString take(const QString& relative, const QString& extension,
                 const std::function<bool(const QString&)>& alsoTaken = {});
    // Whether relative was taken by an earlier row.
    bool taken(const QString& relative) const { return m_taken.contains(key(relative)); }
    // What two names are compared by.
    QString key(const QString& relative) const;

private:
    NameRules m_rules;
    QSet<QString> m_taken;
    QHash<QString, int> m_nextNumber; // by the name as first asked for
};

} // namespace sondrel
