#include "ValueTables.h"

#include <QStandardPaths>

namespace sondrel {

const std::array<const char*, 47> wma_profiles{
    "WMA9 48KHz, 192Kbps, Stereo, CBR",
    "WMA9 48KHz, 160Kbps, Stereo, CBR",
    "WMA9 48KHz, 128Kbps, Stereo, CBR",
    "WMA9 48KHz, 96Kbps, Stereo, CBR",
    "WMA9 48KHz, 64Kbps, Stereo, CBR",
    "WMA9 44KHz, 320Kbps, Stereo, CBR",
    "WMA9 44KHz, 256Kbps, Stereo, CBR",
    "WMA9 44KHz, 192Kbps, Stereo, CBR",
    "WMA9 44KHz, 160Kbps, Stereo, CBR",
    "WMA9 44KHz, 128Kbps, Stereo, CBR",
    "WMA9 44KHz, 96Kbps, Stereo, CBR",
    "WMA9 44KHz, 80Kbps, Stereo, CBR",
    "WMA9 44KHz, 64Kbps, Stereo, CBR",
    "WMA9 44KHz, 48Kbps, Stereo, CBR",
    "WMA9 44KHz, 32Kbps, Stereo, CBR",
    "WMA9 44KHz, 48Kbps, Mono, CBR",
    "WMA9 44KHz, 32Kbps, Mono, CBR",
    "WMA9 44KHz, 20Kbps, Mono, CBR",
    "WMA9 32KHz, 48Kbps, Stereo, CBR",
    "WMA9 32KHz, 40Kbps, Stereo, CBR",
    "WMA9 32KHz, 32Kbps, Stereo, CBR",
    "WMA9 32KHz, 20Kbps, Mono, CBR",
    "WMA9 32KHz, 32Kbps, Stereo, CBR",
    "WMA9 32KHz, 22Kbps, Stereo, CBR",
    "WMA9 22KHz, 20Kbps, Stereo, CBR",
    "WMA9 22KHz, 20Kbps, Mono, CBR",
    "WMA9 22KHz, 16Kbps, Mono, CBR",
    "WMA9 16KHz, 20Kbps, Stereo, CBR",
    "WMA9 16KHz, 16Kbps, Stereo, CBR",
    "WMA9 16KHz, 16Kbps, Mono, CBR",
    "WMA9 16KHz, 12Kbps, Mono, CBR",
    "WMA9 16KHz, 10Kbps, Mono, CBR",
    "WMA9 11KHz, 10Kbps, Mono, CBR",
    "WMA9 11KHz, 8Kbps, Mono, CBR",
    "WMA9 8KHz,  12Kbps, Stereo, CBR",
    "WMA9 8KHz,  8Kbps, Mono, CBR",
    "WMA9 8KHz,  6Kbps, Mono, CBR",
    "WMA9 8KHz,  5Kbps, Mono, CBR",
    "WMA9 48KHz, Stereo, VBR Quality 98",
    "WMA9 48KHz, Stereo, VBR Quality 90",
    "WMA9 44KHz, Stereo, VBR Quality 98",
    "WMA9 44KHz, Stereo, VBR Quality 90",
    "WMA9 44KHz, Stereo, VBR Quality 75",
    "WMA9 44KHz, Stereo, VBR Quality 50",
    "WMA9 44KHz, Stereo, VBR Quality 25",
    "WMA9 44KHz, Stereo, VBR Quality 10",
    "WMA9 44KHz, Stereo, Lossless",
};

int tableValue(std::span<const int> table, int index, int defaultIndex)
{
    if (index >= 0 && size_t(index) < table.size())
        return table[size_t(index)];
    return table[size_t(defaultIndex)];
}

QString defaultOutputDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
}

} // namespace sondrel
