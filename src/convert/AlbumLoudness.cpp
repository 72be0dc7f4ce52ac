#include "AlbumLoudness.h"

#include "LoudnessMeter.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cmath>

namespace sondrel {

QString albumKeyOf(const NameValues& values, const QString& source)
{
    if (values.albumArtist.isEmpty() && values.album.isEmpty())
        return QStringLiteral("folder\n") + QFileInfo(source).absolutePath();
    return QStringLiteral("tags\n") + values.albumArtist + QLatin1Char('\n') + values.album;
}

double normalizingGain(const std::optional<double>& lufs, double peak)
{
    if (!lufs)
        return 0.0;
    double gain = ReplayGainReference - *lufs;
    constexpr double PeakCeilingDb = -1.0;
    if (peak > 0)
        gain = std::min(gain, PeakCeilingDb - 20.0 * std::log10(peak));
    return gain;
}

AlbumTally::AlbumTally(const std::vector<QString>& keys)
{
    QHash<QString, int> albums;
    m_albumOf.reserve(keys.size());
    m_settled.assign(keys.size(), false);
    for (std::size_t row = 0; row < keys.size(); ++row) {
        auto it = albums.find(keys[row]);
        if (it == albums.end()) {
            it = albums.insert(keys[row], int(m_albums.size()));
            m_albums.emplace_back();
        }
        Album& album = m_albums[std::size_t(*it)];
        album.rows.push_back(int(row));
        ++album.left;
        m_albumOf.push_back(*it);
    }
}

bool AlbumTally::settle(int row, std::shared_ptr<const LoudnessMeter> meter)
{
    if (m_settled[std::size_t(row)])
        return false;
    m_settled[std::size_t(row)] = true;
    Album& album = m_albums[std::size_t(albumOf(row))];
    if (meter)
        album.meters.push_back(std::move(meter));
    if (--album.left > 0)
        return false;
    album.lufs = measureTogether(album);
    for (const auto& m : album.meters)
        album.peak = std::max(album.peak, m->measure().peak);
    album.meters.clear();
    album.meters.shrink_to_fit();
    return true;
}

std::optional<double> AlbumTally::measureTogether(const Album& album) const
{
    std::vector<const LoudnessMeter*> meters;
    for (const auto& m : album.meters)
        meters.push_back(m.get());
    return LoudnessMeter::together(meters);
}

std::optional<double> AlbumTally::loudnessOf(int album) const
{
    const Album& a = m_albums[std::size_t(album)];
    return a.left == 0 ? a.lufs : measureTogether(a);
}

double AlbumTally::peakOf(int album) const
{
    const Album& a = m_albums[std::size_t(album)];
    if (a.left == 0)
        return a.peak;
    double peak = 0;
    for (const auto& m : a.meters)
        peak = std::max(peak, m->measure().peak);
    return peak;
}

AlbumGain AlbumTally::gainOf(int album) const
{
    return AlbumGain{gainToReference(loudnessOf(album)), peakOf(album)};
}

} // namespace sondrel
