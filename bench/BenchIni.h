#pragma once
#include <QHash>
#include <QString>

namespace bench {

// The encoder settings of an INI file read the way the program's settings store reads
// them: section and key names without regard to case; an absent key, an empty value or
// one that is not a number gives the default; "0x.." is hexadecimal.
class BenchIni {
public:
    BenchIni() = default;
    // Empty path: no file, every read gives its default. Returns false when the file
    // cannot be read.
    bool load(const QString& path);
    int readInt(const QString& section, const QString& key, int defaultValue) const;

private:
    QHash<QString, QString> m_values; // "section\nkey" in lower case -> value
};

// The value tables through which stored indexes become numbers. An index outside a table
// gives the default's value.
int frequencyAt(int index, int defaultIndex = 7);
int bitrateAt(int index, int defaultIndex = 11);
int bitsAt(int index, int defaultIndex = 1);

} // namespace bench
