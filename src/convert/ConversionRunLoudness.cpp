// A run's loudness work: the order each job is given, the albums its rows make, outputs held
// until their album's values are known, and sources measured before they are normalized.
#include "ConversionRunParts.h"

#include "LoudnessMeter.h"

#include <cmath>

namespace sondrel {

bool ConversionRun::albumsActive() const
{
    return m_run->settings.gainTags == GainTags::TrackAndAlbum;
}

void ConversionRun::setUpAlbums()
{
    if (!albumsActive())
        return;
    RunRows& rows = *m_run->rows;
    std::vector<QString> keys;
    keys.reserve(std::size_t(m_run->count));
    for (int row = 0; row < m_run->count; ++row)
        keys.push_back(albumKeyOf(rows.nameValues(row), rows.source(row)));
    auto albums = std::make_unique<Albums>();
    albums->tally = AlbumTally(keys);
    int most = -1;
    for (int row = 0; row < m_run->count; ++row)
        most = std::max(most, albums->tally.albumOf(row));
    albums->unplanned.assign(std::size_t(most + 1), 0);
    albums->converts.assign(std::size_t(most + 1), 0);
    for (int row = 0; row < m_run->count; ++row)
        ++albums->unplanned[std::size_t(albums->tally.albumOf(row))];
    m_run->albums = std::move(albums);
}

LoudnessOrder ConversionRun::loudnessOrder() const
{
    const Settings& s = m_run->settings;
    LoudnessOrder order;
    order.measure = s.gainTags != GainTags::Off;
    order.waitForAlbum = s.gainTags == GainTags::TrackAndAlbum && !s.normalize;
    return order;
}

void ConversionRun::decided(int row, bool converts)
{
    Albums* albums = m_run->albums.get();
    if (!albums)
        return;
    const int album = albums->tally.albumOf(row);
    albums->converts[std::size_t(album)] |= converts;
    if (--albums->unplanned[std::size_t(album)] > 0)
        return;
    // The album's every row is decided. Rows whose output stays count for the album's values
    // when another row of it is converted; otherwise nothing is measured.
    std::vector<Planned> kept = std::move(albums->kept[album]);
    albums->kept.erase(album);
    for (const Planned& plan : kept) {
        if (!albums->converts[std::size_t(album)]) {
            settleRow(plan.row, nullptr);
            continue;
        }
        std::unique_ptr<Job> job = makeJob(plan);
        job->stage = Stage::Measure;
        job->keptOutput = true;
        m_ready.push_back(std::move(job));
    }
}

void ConversionRun::keptOutput(const Planned& plan)
{
    Albums* albums = m_run->albums.get();
    if (!albums)
        return;
    albums->kept[albums->tally.albumOf(plan.row)].push_back(plan);
    decided(plan.row, false);
}

void ConversionRun::settleRow(int row, std::shared_ptr<const LoudnessMeter> meter)
{
    Albums* albums = m_run->albums.get();
    if (albums && albums->tally.settle(row, std::move(meter)))
        releaseAlbum(albums->tally.albumOf(row));
}

void ConversionRun::releaseAlbum(int album)
{
    Albums& albums = *m_run->albums;
    std::vector<std::unique_ptr<Job>> jobs;
    if (const auto it = albums.waiting.find(album); it != albums.waiting.end()) {
        jobs = std::move(it->second);
        albums.waiting.erase(it);
    }
    if (m_run->stopping)
        return; // the jobs go, and with them their temporary files
    if (m_run->settings.normalize) {
        const std::optional<double> lufs = albums.tally.loudnessOf(album);
        const double peak = albums.tally.peakOf(album);
        const double scale = normalizingGain(lufs, peak);
        // The album as it will be written: its loudness and peak scaled alike.
        const AlbumGain values{gainToReference(lufs ? std::optional<double>(*lufs + scale) : std::nullopt),
                               peak * std::pow(10.0, scale / 20.0)};
        for (auto& job : jobs)
            convertScaled(std::move(job), scale, values);
        return;
    }
    const AlbumGain values = albums.tally.gainOf(album);
    for (auto& job : jobs) {
        job->held = std::move(job->result.held);
        job->album = values;
        job->stage = Stage::Finish;
        job->clearForNextStage();
        m_ready.push_back(std::move(job));
    }
}

void ConversionRun::measured(std::unique_ptr<Job> job)
{
    const JobResult& result = job->result;
    const bool ok = result.outcome == JobResult::Outcome::Finished && result.loudness;
    if (job->keptOutput) {
        // Its output stays either way; without a measure the album goes on without it.
        settleRow(job->row, ok ? result.loudness : nullptr);
        return;
    }
    if (!ok) {
        jobEnded(*job);
        settleRow(job->row, nullptr);
        return;
    }
    if (!albumsActive()) {
        const LoudnessMeasure& m = result.loudness->measure();
        convertScaled(std::move(job), normalizingGain(m.lufs, m.peak), std::nullopt);
        return;
    }
    const int row = job->row;
    const std::shared_ptr<const LoudnessMeter> meter = result.loudness;
    job->progressFrom = 0.5;
    m_run->albums->waiting[m_run->albums->tally.albumOf(row)].push_back(std::move(job));
    settleRow(row, meter);
}

void ConversionRun::held(std::unique_ptr<Job> job)
{
    const int row = job->row;
    const std::shared_ptr<const LoudnessMeter> meter = job->result.loudness;
    job->progressFrom = 1;
    job->progressShare = 0;
    m_run->albums->waiting[m_run->albums->tally.albumOf(row)].push_back(std::move(job));
    settleRow(row, meter);
}

void ConversionRun::convertScaled(std::unique_ptr<Job> job, double scaleDb, std::optional<AlbumGain> album)
{
    job->stage = Stage::Convert;
    job->order.loudness = loudnessOrder();
    job->order.loudness.waitForAlbum = false;
    job->order.loudness.scaleDb = scaleDb;
    job->order.loudness.album = album;
    // The source's gains describe audio that is no longer there.
    job->order.loudness.dropCarried = true;
    job->clearForNextStage();
    job->progressFrom = 0.5;
    job->progressShare = 0.5;
    m_ready.push_back(std::move(job));
}

void ConversionRun::dropWaiting()
{
    // Held outputs and rows waiting for a worker or their album end stopped; a held output's
    // temporary file goes with its job.
    std::vector<std::unique_ptr<Job>> jobs;
    for (auto& job : m_ready)
        jobs.push_back(std::move(job));
    m_ready.clear();
    if (m_run->albums) {
        for (auto& [album, waiting] : m_run->albums->waiting)
            for (auto& job : waiting)
                jobs.push_back(std::move(job));
        m_run->albums->waiting.clear();
    }
    for (auto& job : jobs) {
        if (job->keptOutput)
            continue;
        job->result = JobResult{};
        job->result.outcome = JobResult::Outcome::Stopped;
        jobEnded(*job);
    }
}

} // namespace sondrel
