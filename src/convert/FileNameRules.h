#pragma once
#include <QString>

namespace sondrel {

// Which names a file system takes. Native: no "/" or NUL, no name starting with a dot or
// ending with a space, none over MaxNameBytes. Portable also keeps to what Windows and its
// file systems take: \ : * ? " < > | and control characters become "-", no name ends with a
// dot, and a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, also with an extension, in any
// case) gets "_" after its first part ("con.mp3" becomes "con_.mp3").
enum class NameRules { Native, Portable };

// stem and extension (".mp3", or empty for a folder) made into one name that follows rules:
// the characters replaced, the dots and spaces dropped, the stem shortened at a character
// boundary to fit MaxNameBytes with the extension whole; a stem left with nothing becomes "_".
QString fittedName(QString stem, const QString& extension, NameRules rules);

} // namespace sondrel
