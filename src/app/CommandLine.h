#pragma once
#include <QString>
#include <QStringList>

namespace sondrel {

// What the program was asked to do on its command line.
struct CommandLine {
    enum class Action { Window, Help, Version, Convert, Error };
    Action action = Action::Window;
    QString error;        // Error: what was wrong, for standard error

    QStringList paths;    // files and folders to add (window) or convert
    // --convert
    QString format;       // "mp3", "wav", "wma" or "ogg"
    QString out;
    int jobs = -1;        // -1: the settings file's
    enum class Overwrite { Default, Ask, Yes, No } overwrite = Overwrite::Default;
};

// Reads the arguments after the program's name.
CommandLine parseCommandLine(const QStringList& args);

// The output formats of --format, in the order of the window's format list.
const QStringList& commandLineFormats();

QString usageText();

} // namespace sondrel
