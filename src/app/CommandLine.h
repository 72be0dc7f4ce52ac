#pragma once
#include <QString>
#include <QStringList>
#include <optional>

namespace sondrel {

// What the program was asked to do on its command line.
struct CommandLine {
    enum class Action { Window, Help, Version, Convert, Error };
    Action action = Action::Window;
    QString error;        // Error: what was wrong, for standard error

    QStringList paths;    // files and folders to add (window) or convert
    // --convert
    QString format;       // an output format's name, in lower case: "mp3", "wav", ...
    QString out;
    int jobs = -1;        // -1: the settings file's
    enum class Overwrite { Default, Ask, Yes, No } overwrite = Overwrite::Default;
    std::optional<QString> pattern; // --pattern: a valid name pattern; none: the settings file's
    bool portableNames = false;     // --portable-names; false: the settings file's
};

// Reads the arguments after the program's name. --format takes the names of the output
// formats (OutputFormat.h).
CommandLine parseCommandLine(const QStringList& args);

QString usageText();

} // namespace sondrel
