#include "TargetSetup.h"

#include "OutputFormat.h"
#include "SettingsFile.h"

#include <algorithm>

namespace sondrel {

TargetSetup configureTarget(const SettingsFile& s, int format, AudioFile& writer, LameEncSettings& lame)
{
    const OutputFormat* f = outputFormat(format);
    if (!f)
        return {{}, QStringLiteral("No output format is chosen.")};
    EncoderTarget target{writer, lame};
    const QString refusal = f->configure(s, target);
    if (!refusal.isEmpty())
        return {{}, refusal};
    return {QString::fromLatin1(f->extension), {}};
}

namespace stored {

int indexOf(const SettingsFile& s, const IntKey& k, std::size_t count)
{
    const int v = readKey(s, k);
    return v >= 0 && std::size_t(v) < count ? v : k.def;
}

int numberOf(const SettingsFile& s, const IntKey& k, int lowest, int highest)
{
    return std::clamp(readKey(s, k), lowest, highest);
}

int valueOf(const SettingsFile& s, const IntKey& k, std::span<const int> table)
{
    return tableValue(table, readKey(s, k), k.def);
}

int frequencyOf(const SettingsFile& s, const IntKey& k)
{
    return valueOf(s, k, frequency_values);
}

int bitrateOf(const SettingsFile& s, const IntKey& k)
{
    return valueOf(s, k, bitrate_values);
}

int channelsOf(const SettingsFile& s, const IntKey& k)
{
    return indexOf(s, k, 2) + 1;
}

} // namespace stored

} // namespace sondrel
