#pragma once
#include <QStringList>
#include <cstdio>

namespace sondrel {

struct CommandLine;

// Converts the files and folders of a --convert command line without any window, with the
// settings file, engine and rules of the window's Convert command: one line per file on out
// ("path<TAB>result<TAB>seconds"), a progress line and the closing summary on err. Needs a
// QCoreApplication. Returns the exit status: 0 every file converted, 1 otherwise, and
// kUsageError when --existing ask (or --overwrite ask) has no terminal on standard input to answer on.
inline constexpr int kUsageError = 2;
int runBatchConversion(const CommandLine& command, std::FILE* out, std::FILE* err);

// The files a command line names, in its order: folders as adding a folder takes them, with
// their sub-folders. What names nothing (or a folder without audio files) is said on err.
struct NamedFiles {
    QStringList files;
    QStringList added;     // for each file, the folder named on the command line, or empty
    QStringList badNames;  // files whose names are not valid UTF-8: they cannot be opened
    int missing = 0;       // names of nothing, and folders without audio files
};
NamedFiles filesNamed(const QStringList& paths, std::FILE* err);

} // namespace sondrel
