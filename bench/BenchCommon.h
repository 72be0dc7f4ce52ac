#pragma once
#include <QString>
#include <QStringList>
#include <functional>

// What the sub-commands of sondrel-bench share: the registry, timing and memory figures,
// and the tab-separated output.
namespace bench {

struct Command {
    QString name;
    QString usage;   // arguments, shown by "sondrel-bench help"; "%formats" there lists the output formats' names
    QString summary; // one line
    std::function<int(const QStringList& args)> run;
    bool gui = false; // runs the real window (offscreen unless a platform is chosen)
};

// Called from a static initialiser in each sub-command's file:
//   static const bool registered = bench::registerCommand({...});
bool registerCommand(Command command);
const QList<Command>& commands();

// Seconds since the first call of this function (the program's start, in practice).
double wallSeconds();
// Peak resident set size of this process in KiB.
long peakRssKiB();
// User plus system CPU time of this process in seconds.
double cpuSeconds();

// One output line: fields joined by tabs; tabs and line breaks inside a field become
// blanks so that every record stays on one line.
void printRow(const QStringList& fields);
// The closing line: total, files, wall seconds, peak RSS in KiB.
void printTotal(int files, double seconds);
void printError(const QString& text);

QString number(double value, int decimals = 3);

} // namespace bench
