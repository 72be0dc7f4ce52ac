#include "BenchIni.h"

#include <QFile>
#include <array>

namespace bench {

bool BenchIni::load(const QString& path)
{
    m_values.clear();
    if (path.isEmpty())
        return true;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QString section;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed().toLower();
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed().toLower();
        const QString k = section + QLatin1Char('\n') + key;
        if (!m_values.contains(k)) // the first of duplicate keys wins
            m_values.insert(k, line.mid(eq + 1).trimmed());
    }
    return true;
}

int BenchIni::readInt(const QString& section, const QString& key, int defaultValue) const
{
    const QString text = m_values.value(section.toLower() + QLatin1Char('\n') + key.toLower());
    if (text.isEmpty())
        return defaultValue;
    bool ok = false;
    int value = 0;
    if (text.size() > 2 && (text.startsWith(QLatin1String("0x")) || text.startsWith(QLatin1String("0X"))))
        value = text.mid(2).toInt(&ok, 16);
    else
        value = text.toInt(&ok, 10);
    return ok ? value : defaultValue;
}

namespace {
constexpr std::array<int, 9> kFrequencies{8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
constexpr std::array<int, 17> kBitrates{8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr std::array<int, 2> kBits{8, 16};

template <std::size_t N>
int at(const std::array<int, N>& table, int index, int defaultIndex)
{
    return (index >= 0 && index < int(N)) ? table[std::size_t(index)] : table[std::size_t(defaultIndex)];
}
} // namespace

int frequencyAt(int index, int defaultIndex) { return at(kFrequencies, index, defaultIndex); }
int bitrateAt(int index, int defaultIndex) { return at(kBitrates, index, defaultIndex); }
int bitsAt(int index, int defaultIndex) { return at(kBits, index, defaultIndex); }

} // namespace bench
