#pragma once
// The kinds of audio file the program offers to read, by file name: the open dialog's
// filters, the folder scan's name test and the MIME types of the desktop entry all come
// from this one table. What a file really
// is, is told by its content when it is opened; the name only decides what is offered.
#include <QString>
#include <QStringList>

namespace sondrel {

struct InputFormat {
    const char* name;        // as the open dialog shows it
    QStringList extensions;  // lower case, without the dot
    QStringList mimeTypes;   // as the shared MIME-info database names these files
};

// In the order the open dialog lists them; the first four are the original formats.
const QList<InputFormat>& inputFormats();

// "All Supported Files (*.mp3 *.wav ...)" followed by one filter per format, e.g.
// "FLAC Files(*.flac)".
QStringList inputFileFilters();

// Every format's MIME types, in table order, each once: the file types the desktop may
// open with the program.
QStringList inputMimeTypes();

// Whether a file name ends in one of the table's extensions, in any case ("SONG.FLAC").
bool isInputFileName(const QString& fileName);

} // namespace sondrel
