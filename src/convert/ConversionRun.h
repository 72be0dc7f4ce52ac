#pragma once
// A conversion run without any window: the rows are planned in list order on the thread that
// owns the run (missing sources, targets, the overwrite questions, the sources no output may
// replace), and each file is converted by a job on a worker of the run's pool, up to maxJobs
// at once. An overwrite question never holds the thread in a loop of its own: the run waits
// for the answer, which resumes it; a stop closes the question and starts nothing more. The
// list it converts and where it shows what happens are behind RunRows, so the window and the
// command line run the very same rules.
#include "AlbumLoudness.h"
#include "ConversionJob.h"
#include "OutputNaming.h"
#include "Prompts.h"
#include "RunRows.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

namespace sondrel {

class AudioFile;
class WorkerPool;
class OutputDir;

class ConversionRun : public QObject {
    Q_OBJECT
public:
    struct Settings : OutputNaming {
        QString folder;          // ends with "/"
        int maxJobs = 1;
        Existing existing = Existing::Ask;
        // At the end of a run that was not stopped, a playlist of its outputs (RunPlaylist.h)
        // in the output folder.
        bool playlist = false;
        // ReplayGain tags measured from the audio as written. With album values, an album's
        // outputs wait as temporary files until its last row is measured.
        GainTags gainTags = GainTags::Off;
        // The audio itself is brought to the ReplayGain reference (per album with album
        // values), never past a true peak of -1 dBTP. The source is measured first.
        bool normalize = false;
        // Asked before an existing output is replaced, when existing is Ask: opens the
        // question and returns at once; the answer comes later (Prompts::askOverwriteLater).
        std::function<std::unique_ptr<Prompts::Pending>(const QString& question,
                                                        std::function<void(Prompts::Overwrite)> answered)>
            ask;
    };
    struct Totals {
        int finished = 0;
        int failed = 0;
        int skipped = 0;
        int upToDate = 0;     // rows whose output was newer than their source
        int stopped = 0;      // rows whose job was stopped
        bool stopRequested = false;
        QString playlist;     // the playlist written, or empty
        bool playlistFailed = false;
        double seconds = 0;   // from the start of the run to its end
    };

    // writer: set up with the output format; each job writes with a copy of its selection.
    explicit ConversionRun(const AudioFile& writer, QObject* parent = nullptr);
    ~ConversionRun() override; // stops and waits for the jobs

    bool running() const { return m_run != nullptr; }
    // Starts converting every row of rows (which must stay as they are until ended). Returns
    // at once; ended() comes when the last job has ended.
    void start(RunRows& rows, Settings settings);
    // Every running job gives its file up (its temporary file removed, its target untouched);
    // no other row is started. ended() comes as soon as the jobs have ended.
    void stop();
    // Stops and waits for every job; ended() has been emitted when this returns.
    void stopAndWait();

    // How many files a setting of the "jobs" key converts at once: 0 (or less) one per
    // processor core, else the number given, at most MaxJobs.
    static int jobsFor(int setting);
    static constexpr int MaxJobs = 32;

    // What a job does with its file: runConversionJob, unless a test gives another (called
    // on a worker thread; it must end soon once progress.stop is set).
    using JobFunction = std::function<JobResult(JobOrder&, JobProgress&)>;
    void setJobFunction(JobFunction work) { m_jobFunction = std::move(work); }

signals:
    // The whole run: share of the playing time done (0..1), seconds since the start, seconds
    // still to go (negative while unknown).
    void progress(double share, double elapsed, double remaining);
    // failures: one text per file that could not be converted, in list order.
    void ended(const QStringList& failures, const Totals& totals);

private:
    struct Job;
    struct Run;
    struct Albums;
    struct Planned {
        int row = -1;
        QString source;
        QString target;
        std::shared_ptr<const OutputDir> dir; // the target's folder, held open
        bool remeasure = false; // the source changed since it was measured
    };
    // What a job on the pool does.
    enum class Stage {
        Convert,  // convert the row (and, waiting for its album, hold the output)
        Measure,  // measure the source only: before normalizing it, or for its album's values
        Finish,   // tag and prove a held output with its album's values
    };

    bool identifySources();
    void fill();
    // The row's checks; a plan to start now, or none (refused, skipped, or a question opened).
    std::optional<Planned> planRow(int row);
    bool sourceUsable(int row, const QString& source);
    // The row's output: its folder, held open, and its file name there, a name no earlier
    // row of the run took; none when the row was refused.
    std::shared_ptr<const OutputDir> outputFor(int row, const QString& source, QString* name);
    std::shared_ptr<const OutputDir> folderFor(int row, const QString& sub, const QString& name);
    // What the run's rule for existing outputs makes of plan, whose target exists.
    std::optional<Planned> existingTarget(const Planned& plan);
    bool targetWritable(int row, const QString& source, const OutputDir& dir, const QString& name);
    void ask(const Planned& plan);
    void answered(quint64 run, Prompts::Overwrite answer);
    void skip(const Planned& plan);
    static void writeRunPlaylist(Run& run, QStringList& failures);
    // The output folder, or its sub-folder sub ("<name>/<sub-folders>/") for kept folders,
    // created and opened without following a link. Throws OutputError.
    std::shared_ptr<const OutputDir> prepareFolder(const QString& sub);
    void startJob(const Planned& plan);
    std::unique_ptr<Job> makeJob(const Planned& plan);
    void launch(std::unique_ptr<Job> job);
    void reap();
    void applyResult(std::unique_ptr<Job> job);
    void jobEnded(Job& job);
    // Loudness (ConversionRunLoudness.cpp).
    void setUpAlbums();
    bool albumsActive() const;
    LoudnessOrder loudnessOrder() const;
    // The row's fate is known: converted (a job started), or kept, refused or failed.
    void decided(int row, bool converts);
    void keptOutput(const Planned& plan);
    void settleRow(int row, std::shared_ptr<const LoudnessMeter> meter);
    void releaseAlbum(int album);
    // A row measured before it is normalized, or for its album: what comes next.
    void measured(std::unique_ptr<Job> job);
    void held(std::unique_ptr<Job> job);
    void convertScaled(std::unique_ptr<Job> job, double scaleDb, std::optional<AlbumGain> album);
    void dropWaiting();
    void refuse(int row, const QString& message, const QString& reason);
    void dropRowFromTotal(int row);
    void maybeFinish();
    void finish();
    void reportProgress();

    const AudioFile& m_writer;
    QTimer* m_progressTimer;
    std::unique_ptr<Run> m_run;
    quint64 m_runs = 0;
    std::vector<std::unique_ptr<Job>> m_jobs;
    std::deque<std::unique_ptr<Job>> m_ready; // jobs to start when a worker is free
    JobFunction m_jobFunction;
    std::unique_ptr<WorkerPool> m_pool; // after m_jobs: its workers end before the jobs go
};

} // namespace sondrel
