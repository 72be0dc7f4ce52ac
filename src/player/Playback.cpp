#include "Playback.h"

#include "AppState.h"
#include "AudioFile.h"
#include "AudioPlayer.h"
#include "EngineError.h"
#include "ExceptionHook.h"
#include "ListRows.h"
#include "Prompts.h"

#include <QFileInfo>
#include "FileListView.h"

namespace sondrel {

Playback::Playback(QWidget* window, FileListView* lv, AppState& state, Prompts& prompts,
                   AudioFile& reader, AudioPlayer& player)
    : m_window(window), m_lv(lv), m_state(state), m_prompts(prompts), m_reader(reader), m_player(player)
{
    connect(&m_player, &AudioPlayer::OnEndArrayPlay, this, guarded([this] { FeedPlayer(); }));
    connect(&m_player, &AudioPlayer::OnRequestOnLoadArray, this, guarded([this] { FeedPlayer(); }));
    connect(&m_player, &AudioPlayer::OnEndPlay, this, guarded([this] { AudioPlayerEndPlay(); }));
}

void Playback::FeedPlayer()
{
    // The source is shared with adding and converting; once playback has closed it there is
    // nothing to feed.
    if (!m_reader.IsOpen())
        return;
    SampleArray chunk = m_reader.ReadSamples(ChunkSamples);
    m_player.LoadArray(chunk);
}

void Playback::stopCurrent()
{
    if (m_reader.IsOpen())
        m_reader.Close();
    m_player.Stop();
    m_state.setPaused(false);
    m_state.setPlaying(false);
}

void Playback::PlaySelected()
{
    if (m_state.flag_paused()) {
        m_state.setPaused(false);
        m_player.Play();
        m_lv->setFocus();
        FeedPlayer();
        FeedPlayer();
        return;
    }
    if (m_state.flag_converting() || m_state.flag_adding() || rows::count(m_lv) == 0)
        return;
    const int selected = rows::selected(m_lv);
    if (m_state.flag_playing() && selected < 0)
        return;
    if (m_state.flag_playing())
        stopCurrent();
    if (selected < 0) {
        m_prompts.information(m_window, QStringLiteral("Please select the file you want to play!"));
        return;
    }
    m_state.play_row = selected;
    m_lv->setFocus();
    if (m_reader.IsOpen())
        m_reader.Close();
    const QString path = rows::text(m_lv, selected, rows::FullPath);
    if (!QFileInfo::exists(path)) {
        m_prompts.information(m_window, path + QStringLiteral(" has been removed."));
        return;
    }
    try {
        m_reader.OpenRead(path, 0, 1);
    } catch (const EngineError&) {
        // The file changed since it was added; the window stays idle.
        m_prompts.information(m_window, path + QStringLiteral(" is an invalid audio file!"));
        return;
    }
    m_player.SetArrayFormat(m_reader.FormatParamB(), m_reader.FormatParamA());
    m_reader.PreparePlayback(0, 3);
    try {
        m_player.Play();
    } catch (const NoAudioDeviceError& e) {
        // No sound server or device is an expected condition on some machines.
        m_reader.Close();
        m_prompts.information(m_window, QStringLiteral("No sound output is available, so the file cannot be played.\n")
                                            + QString::fromUtf8(e.what()));
        return;
    }
    m_state.setPlaying(true);
    FeedPlayer();
    FeedPlayer();
}

void Playback::TogglePause()
{
    if (!m_state.flag_playing())
        return;
    if (m_state.flag_paused()) {
        m_player.Play();
        FeedPlayer();
        FeedPlayer();
        m_state.setPaused(false);
    } else {
        m_player.Stop();
        m_state.setPaused(true);
    }
}

void Playback::StopPlaying()
{
    if (!m_state.flag_playing())
        return;
    stopCurrent();
}

void Playback::AudioPlayerEndPlay()
{
    m_player.Stop();
    if (m_reader.IsOpen())
        m_reader.Close();
    m_state.setPaused(false);
    m_state.setPlaying(false);
}

} // namespace sondrel
