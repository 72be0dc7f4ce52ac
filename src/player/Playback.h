#pragma once
#include "TrackRange.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QWidget;

namespace sondrel {

class FileListModel;

class AppState;
class AudioFile;
class AudioPlayer;
class Prompts;
class WorkerPool;

// Plays one listed file at a time: the source is decoded in chunks of 4410 samples and
// handed to the player whenever it asks for more. Pause stops the output and keeps the
// source at its position; playback never moves on to the next row. The row played carries
// a play or pause sign in the list, and the position heard is reported while it plays.
//
// The file is opened on a worker thread, since opening can take a while (a slow disk, a long
// first frame); Play returns at once with the playing state set, and the player starts when
// the file is open. Only the newest request counts: a result for a request that Stop, another
// Play or the window's closing gave up is dropped.
class Playback : public QObject {
    Q_OBJECT
public:
    Playback(QWidget* window, FileListModel& list, AppState& state, Prompts& prompts,
             AudioFile& reader, AudioPlayer& player);
    ~Playback() override;

    static constexpr int ChunkSamples = 4410;

    void FeedPlayer();
    // Plays the row (the selected one; -1 when none is), or continues when paused.
    void PlayRow(int row);
    void TogglePause();
    void StopPlaying();
    void AudioPlayerEndPlay();
    // Stops whatever plays or opens and waits for the worker: the window is closing.
    void StopAndWait();

    // Whether a file is being opened for playing (the playing state is set meanwhile).
    bool isOpening() const { return m_opening != nullptr; }

signals:
    // Playing starts or continues: the list takes the keyboard focus back.
    void listFocusWanted();
    // Where playing has got to, when it starts and as each second is heard; totalMs is the
    // row's playing time (negative when not known).
    void positionChanged(qint64 elapsedMs, qint64 totalMs);
    // Playing has ended (stopped, at its end, or it could not start).
    void ended();

private:
    struct Request;

    // Stops the running file and returns to idle (the source closed, both flags clear).
    void stopCurrent();
    void closeReader();
    void giveUpOpening();
    void startOpening(const QString& path, const std::optional<TrackRange>& range);
    void openFinished();
    // The file is open: the player takes its format and starts, unless paused meanwhile.
    void startPlayer();
    // Starts or continues the output and queues two chunks; nothing while still opening.
    void resumePlayer();
    void backToIdle();
    // The player has heard this many samples per channel of the file.
    void heard(int samples);

    QWidget* m_window;
    FileListModel& m_list;
    AppState& m_state;
    Prompts& m_prompts;
    AudioFile& m_reader;
    AudioPlayer& m_player;

    std::int64_t m_totalMs = -1;   // the playing row's time
    std::int64_t m_shownSecond = -1; // of the position last reported
    std::uint64_t m_lastId = 0;
    std::shared_ptr<Request> m_opening; // the request awaited; null when none
    std::shared_ptr<Request> m_playing; // the request whose file m_reader holds
    std::mutex m_finishedMutex;
    std::vector<std::shared_ptr<Request>> m_finished; // handed over by the worker
    std::unique_ptr<WorkerPool> m_pool; // last: its threads end before the rest goes
};

} // namespace sondrel
