#pragma once
// The kinds of audio file the program offers to read, by file name: the open dialog's
// filters and the folder scan's name test both come from this one table. What a file really
// is, is told by its content when it is opened; the name only decides what is offered.
#include <QString>
#include <QStringList>

namespace sondrel {

struct InputFormat {
    const char* name;        // as the open dialog shows it
    QStringList extensions;  // lower case, without the dot
};

// In the order the open dialog lists them; the first four are the original formats.
const QList<InputFormat>& inputFormats();

// "All Supported Files (*.mp3 *.wav ...)" followed by one filter per format, e.g.
// "FLAC Files(*.flac)".
QStringList inputFileFilters();

// Whether a file name ends in one of the table's extensions, in any case ("SONG.FLAC").
bool isInputFileName(const QString& fileName);

} // namespace sondrel
