#pragma once
#include <QObject>

class QWidget;

namespace sondrel {

class FileListView;

class AppState;
class AudioFile;
class AudioPlayer;
class Prompts;

// Plays one listed file at a time: the source is decoded in chunks of 4410 samples and
// handed to the player whenever it asks for more. Pause stops the output and keeps the
// source at its position; playback never moves on to the next row.
class Playback : public QObject {
    Q_OBJECT
public:
    Playback(QWidget* window, FileListView* lv, AppState& state, Prompts& prompts,
             AudioFile& reader, AudioPlayer& player);

    static constexpr int ChunkSamples = 4410;

    void FeedPlayer();
    void PlaySelected();
    void TogglePause();
    void StopPlaying();
    void AudioPlayerEndPlay();

private:
    // Stops the running file and returns to idle (the source closed, both flags clear).
    void stopCurrent();

    QWidget* m_window;
    FileListView* m_lv;
    AppState& m_state;
    Prompts& m_prompts;
    AudioFile& m_reader;
    AudioPlayer& m_player;
};

} // namespace sondrel
