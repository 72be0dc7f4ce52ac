#pragma once
// The fidelity matrix's two sides, through TagLib directly: every source format tagged with the
// fifteen common fields and a front and a back cover, and an output's fields and pictures read
// back as TagLib reads them.
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <vector>

namespace fidelity {

struct Cover {
    QByteArray data;
    QString mime;
    int type = 0;   // 3 front, 4 back
    int width = 0;  // where the format keeps it (FLAC pictures)
    int height = 0;
    int depth = 0;
};

struct Read {
    // Upper-case names; a Xiph comment's TRACKTOTAL and DISCTOTAL put into their numbers
    // ("3/12"), as the other formats keep them.
    QMap<QString, QStringList> fields;
    std::vector<Cover> covers;         // in the order readers meet them
    QByteArray commentLanguage;        // ID3v2 COMM, empty elsewhere
};

// The fields every source is given: several artists where the format holds them.
QMap<QString, QStringList> sourceFields(bool severalArtists);

// Tags the file at path (its kind told by its extension) with fields and covers, through
// TagLib; an ID3v2 comment gets the language "deu". False when TagLib could not save it.
bool tagSource(const QString& path, const QMap<QString, QStringList>& fields, const std::vector<Cover>& covers);

// The fields and covers of path as TagLib reads them.
Read readBack(const QString& path);

} // namespace fidelity
