#include "Playback.h"

#include "AppState.h"
#include "AudioFile.h"
#include "AudioPlayer.h"
#include "EngineError.h"
#include "ExceptionHook.h"
#include "FileListModel.h"
#include "Prompts.h"
#include "WorkerPool.h"

#include <QFileInfo>

#include <atomic>
#include <stdexcept>

namespace sondrel {

// One Play: the worker opens the file into its own reader, which the GUI thread takes over
// when the request is still the one awaited. The cancel flag is the reader's for as long as
// it reads, so the request lives while its file is played.
struct Playback::Request {
    std::uint64_t id = 0;
    QString path;
    std::optional<TrackRange> range;
    std::atomic<bool> cancel{false};
    AudioFile file;
    // Set by the worker before it hands the request over.
    std::exception_ptr error;
    bool removed = false;
};

Playback::Playback(QWidget* window, FileListModel& list, AppState& state, Prompts& prompts,
                   AudioFile& reader, AudioPlayer& player)
    : m_window(window), m_list(list), m_state(state), m_prompts(prompts), m_reader(reader), m_player(player),
      m_pool(std::make_unique<WorkerPool>(2, QByteArrayLiteral("sondrel-play")))
{
    connect(&m_player, &AudioPlayer::OnEndArrayPlay, this, guarded([this] { FeedPlayer(); }));
    connect(&m_player, &AudioPlayer::OnRequestOnLoadArray, this, guarded([this] { FeedPlayer(); }));
    connect(&m_player, &AudioPlayer::OnEndPlay, this, guarded([this] { AudioPlayerEndPlay(); }));
    connect(&m_player, &AudioPlayer::OnTimer, this, guarded([this](int samples, int, int) { heard(samples); }));
    connect(m_pool.get(), &WorkerPool::notified, this, guarded([this] { openFinished(); }));
}

Playback::~Playback()
{
    giveUpOpening();
    m_pool.reset();
    closeReader();
}

void Playback::FeedPlayer()
{
    // Once playback has closed the source, or while it is still being opened, there is
    // nothing to feed.
    if (!m_reader.IsOpen())
        return;
    SampleArray chunk = m_reader.ReadSamples(ChunkSamples);
    m_player.LoadArray(chunk);
}

void Playback::closeReader()
{
    if (m_reader.IsOpen())
        m_reader.Close();
    m_playing.reset();
}

void Playback::giveUpOpening()
{
    if (m_opening) {
        m_opening->cancel = true;
        m_opening.reset();
    }
}

void Playback::backToIdle()
{
    const bool wasPlaying = m_state.flag_playing();
    m_list.clearPlayMark();
    m_state.setPaused(false);
    m_state.setPlaying(false);
    if (wasPlaying)
        emit ended();
}

void Playback::heard(int samples)
{
    const int rate = m_reader.IsOpen() ? m_reader.SampleRate() : 0;
    if (rate <= 0 || !m_state.flag_playing())
        return;
    const std::int64_t elapsedMs = std::int64_t(samples) * 1000 / rate;
    if (elapsedMs / 1000 == m_shownSecond)
        return;
    m_shownSecond = elapsedMs / 1000;
    emit positionChanged(elapsedMs, m_totalMs);
}

void Playback::stopCurrent()
{
    giveUpOpening();
    closeReader();
    m_player.Stop();
    backToIdle();
}

void Playback::PlayRow(int selected)
{
    if (m_state.flag_paused()) {
        m_state.setPaused(false);
        m_list.setPlayMark(m_list.playMarkRow(), ListRow::PlayMark::Playing);
        emit listFocusWanted();
        resumePlayer();
        return;
    }
    if (m_state.flag_converting() || m_state.flag_adding() || m_list.count() == 0)
        return;
    if (m_state.flag_playing() && selected < 0)
        return;
    if (m_state.flag_playing())
        stopCurrent();
    if (selected < 0) {
        m_prompts.information(m_window, QStringLiteral("Please select the file you want to play!"));
        return;
    }
    m_state.play_row = selected;
    emit listFocusWanted();
    closeReader();
    const QString path = m_list.text(selected, rows::FullPath);
    if (!QFileInfo::exists(path)) {
        m_prompts.information(m_window, path + QStringLiteral(" has been removed."));
        return;
    }
    // The playing state starts now, so the commands that would change the list or start a
    // conversion are off while the file opens.
    m_state.setPlaying(true);
    m_list.setPlayMark(selected, ListRow::PlayMark::Playing);
    m_totalMs = m_list.durationMs(selected);
    if (m_list.text(selected, rows::Time).isEmpty())
        m_totalMs = -1;
    m_shownSecond = 0;
    emit positionChanged(0, m_totalMs);
    startOpening(path, m_list.trackRange(selected));
}

void Playback::startOpening(const QString& path, const std::optional<TrackRange>& range)
{
    auto request = std::make_shared<Request>();
    request->id = ++m_lastId;
    request->path = path;
    request->range = range;
    request->file.SetCancelFlag(&request->cancel);
    m_opening = request;
    WorkerPool* pool = m_pool.get();
    const bool queued = pool->submit([this, pool, request](std::stop_token stop) {
        {
            const std::stop_callback onStop(stop, [&] { request->cancel = true; });
            try {
                if (!request->cancel) {
                    request->file.OpenReadUncounted(request->path);
                    // A track of an album image plays its own range of the image.
                    if (request->range)
                        request->file.SetReadRange(request->range->start, request->range->end);
                }
            } catch (...) {
                request->error = std::current_exception();
                request->removed = !QFileInfo::exists(request->path);
            }
        }
        {
            const std::lock_guard lock(m_finishedMutex);
            m_finished.push_back(request);
        }
        pool->notify();
    });
    if (!queued) {
        m_opening.reset();
        backToIdle();
        throw std::runtime_error("No thread could be started to open " + path.toStdString() + ".");
    }
}

void Playback::openFinished()
{
    std::vector<std::shared_ptr<Request>> finished;
    {
        const std::lock_guard lock(m_finishedMutex);
        finished.swap(m_finished);
    }
    for (const std::shared_ptr<Request>& request : finished) {
        // A request given up since (Stop Playing, another Play, closing) is dropped.
        if (!m_opening || request->id != m_opening->id)
            continue;
        m_opening.reset();
        if (request->error) {
            backToIdle();
            if (request->removed) {
                m_prompts.information(m_window, request->path + QStringLiteral(" has been removed."));
                continue;
            }
            try {
                std::rethrow_exception(request->error);
            } catch (const EngineError&) {
                // The file changed since it was added; the window is idle again.
                m_prompts.information(m_window, request->path + QStringLiteral(" is an invalid audio file!"));
            }
            continue;
        }
        m_reader.TakeReader(request->file);
        m_playing = request;
        startPlayer();
    }
}

void Playback::startPlayer()
{
    try {
        m_player.SetArrayFormat(m_reader.FormatParamB(), m_reader.FormatParamA());
        m_reader.PreparePlayback(0, 3);
    } catch (...) {
        stopCurrent();
        throw;
    }
    // Paused while the file opened: Play or Pause starts it.
    if (!m_state.flag_paused())
        resumePlayer();
}

void Playback::resumePlayer()
{
    if (isOpening())
        return; // the player starts once the file is open
    try {
        m_player.Play();
    } catch (const NoAudioDeviceError& e) {
        // No sound server or device is an expected condition on some machines.
        stopCurrent();
        m_prompts.information(m_window, QStringLiteral("No sound output is available, so the file cannot be played.\n")
                                            + QString::fromUtf8(e.what()));
        return;
    }
    FeedPlayer();
    FeedPlayer();
}

void Playback::TogglePause()
{
    if (!m_state.flag_playing())
        return;
    const int row = m_list.playMarkRow();
    if (m_state.flag_paused()) {
        m_state.setPaused(false);
        m_list.setPlayMark(row, ListRow::PlayMark::Playing);
        resumePlayer();
    } else {
        m_player.Stop();
        m_state.setPaused(true);
        m_list.setPlayMark(row, ListRow::PlayMark::Paused);
    }
}

void Playback::StopPlaying()
{
    if (!m_state.flag_playing())
        return;
    stopCurrent();
}

void Playback::StopAndWait()
{
    if (m_state.flag_playing())
        stopCurrent();
    m_pool->waitIdle();
    // What the worker handed over since is for requests given up: dropped.
    const std::lock_guard lock(m_finishedMutex);
    m_finished.clear();
}

void Playback::AudioPlayerEndPlay()
{
    m_player.Stop();
    giveUpOpening();
    closeReader();
    backToIdle();
}

} // namespace sondrel
