// Writes the MIME types of the files the program reads, from its input formats table, as the
// value of a desktop entry's MimeType key ("audio/mpeg;audio/x-wav;...;"), into the file named
// by its argument.
#include "InputFormats.h"

#include <QFile>
#include <QSaveFile>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    QSaveFile out(QFile::decodeName(argv[1]));
    if (!out.open(QIODevice::WriteOnly))
        return 1;
    out.write((sondrel::inputMimeTypes().join(QLatin1Char(';')) + QLatin1Char(';')).toUtf8());
    return out.commit() ? 0 : 1;
}
