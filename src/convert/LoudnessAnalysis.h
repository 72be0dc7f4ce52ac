#pragma once
// Measures the loudness of files without writing anything: one task per file on a worker pool
// (as many at once as asked), each decoding its file (or its track's range) to the end into a
// loudness meter. The
// owner hears each file's result, and each album's once all its files are in, on its own
// thread. The window's Analyze Loudness and the command line's --analyze share it.
#include "AlbumLoudness.h"
#include "LoudnessMeter.h"
#include "TrackRange.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace sondrel {

class LoudnessMeter;
class WorkerPool;

class LoudnessAnalysis : public QObject {
    Q_OBJECT
public:
    struct File {
        QString path;
        QString albumKey;        // albumKeyOf the file's tags and path
        std::int64_t weight = 1; // its share of the work (its playing time, its size)
        std::optional<TrackRange> range; // one track of the file: only its range is measured
    };
    struct Result {
        // Finished, until the file's album has it (a meter keeps every gating block of its
        // file, which nothing needs once the album's values are known).
        std::shared_ptr<const LoudnessMeter> meter;
        std::optional<LoudnessMeasure> measure; // once reaped; none when failed or stopped
        QString error;           // why the file could not be measured
        bool stopped = false;
    };

    explicit LoudnessAnalysis(QObject* parent = nullptr);
    ~LoudnessAnalysis() override; // stops and waits for the tasks

    bool running() const { return m_running; }
    // Starts measuring files, at most jobs at once. Returns at once.
    void start(std::vector<File> files, int jobs);
    // Every task gives its file up; ended() comes once they all have.
    void stop();
    // Stops and waits; ended() has come when this returns.
    void stopAndWait();

    int count() const { return int(m_jobs.size()); }
    // A file's result, once measured() named it.
    const Result& result(int file) const;
    const AlbumTally& albums() const { return m_albums; }
    // The share of the work done, 0..1.
    double share() const;
    bool stopRequested() const { return m_stopRequested; }

signals:
    // The file's result is in (measured, failed or stopped).
    void measured(int file);
    // Every file of the album is in (measured or failed): its values are known.
    void albumMeasured(int album);
    void ended();

private:
    struct Job;
    void reap();

    std::vector<std::unique_ptr<Job>> m_jobs;
    AlbumTally m_albums;
    int m_left = 0;
    int m_firstOpen = 0; // every file before it has been reaped
    bool m_running = false;
    bool m_stopRequested = false;
    std::unique_ptr<WorkerPool> m_pool; // after m_jobs: its workers end before the jobs go
};

} // namespace sondrel
