#pragma once
#include <QString>
#include <QStringList>
#include <optional>

#include "OutputNaming.h"

namespace sondrel {

// What the program was asked to do on its command line.
struct CommandLine {
    enum class Action { Window, Help, Version, Convert, Analyze, Error };
    Action action = Action::Window;
    QString error;        // Error: what was wrong, for standard error

    QStringList paths;    // files and folders to add (window), convert or analyze
    // --convert
    QString format;       // an output format's name, in lower case: "mp3", "wav", ...
    QString out;
    int jobs = -1;        // -1: the settings file's (also for --analyze)
    // --existing, or --overwrite ask|yes|no as ask|overwrite|skip; none: ask on a terminal,
    // skip otherwise.
    std::optional<Existing> existing;
    std::optional<bool> keepFolders; // --keep-folders / --no-keep-folders; none: the settings file's
    bool dryRun = false;            // --dry-run: print the plan, write nothing
    bool playlist = false;          // --playlist; false: the settings file's
    std::optional<QString> pattern; // --pattern: a valid name pattern; none: the settings file's
    bool portableNames = false;     // --portable-names; false: the settings file's
    bool copySameFormat = false;    // --copy-same-format; false: the settings file's
    std::optional<GainTags> replayGain; // --replaygain off|track|album; none: the settings file's
    bool normalize = false;         // --normalize; false: the settings file's
};

// Reads the arguments after the program's name. --format takes the names of the output
// formats (OutputFormat.h).
CommandLine parseCommandLine(const QStringList& args);

QString usageText();

} // namespace sondrel
