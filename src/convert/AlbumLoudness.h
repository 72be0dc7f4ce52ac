#pragma once
// Albums for loudness: the rows that share album artist and album tags (rows with neither: the
// rows of one source folder), and an album's values from its rows' measures. A run (or an
// analysis) counts each row of an album off as its measure comes in, or as it turns out to
// have none; when the last is in, the album's values are known.
#include "ConversionJob.h"
#include "NamePattern.h"

#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace sondrel {

class LoudnessMeter;

// The album a row belongs to, as a key: equal keys, one album.
QString albumKeyOf(const NameValues& values, const QString& source);

// The gain that brings audio of this loudness to the ReplayGain reference, lowered so that its
// true peak stays at or below -1 dBTP; 0 for silence.
double normalizingGain(const std::optional<double>& lufs, double peak);

class AlbumTally {
public:
    AlbumTally() = default;
    // keys: each row's albumKeyOf.
    explicit AlbumTally(const std::vector<QString>& keys);

    int albumOf(int row) const { return m_albumOf[std::size_t(row)]; }
    const std::vector<int>& rowsOf(int album) const { return m_albums[std::size_t(album)].rows; }
    // The row's measure is in (meter), or it will have none (null). True when it was the last
    // of its album's rows to come in.
    bool settle(int row, std::shared_ptr<const LoudnessMeter> meter);
    bool complete(int album) const { return m_albums[std::size_t(album)].left == 0; }
    // The album's values from the measures that came in.
    AlbumGain gainOf(int album) const;
    // Their integrated loudness together; none for silence or no measure.
    std::optional<double> loudnessOf(int album) const;
    double peakOf(int album) const;

private:
    struct Album {
        std::vector<int> rows;
        int left = 0;
        // Until the album is complete; then its values alone are kept, since the meters hold
        // every gating block of their files.
        std::vector<std::shared_ptr<const LoudnessMeter>> meters;
        std::optional<double> lufs;
        double peak = 0;
    };
    std::optional<double> measureTogether(const Album& album) const;
    std::vector<int> m_albumOf;
    std::vector<bool> m_settled;
    std::vector<Album> m_albums;
};

} // namespace sondrel
