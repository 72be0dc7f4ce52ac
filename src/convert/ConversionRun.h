#pragma once
// A conversion run without any window: the rows are planned in list order on the thread that
// owns the run (missing sources, targets, the overwrite questions, the sources no output may
// replace), and each file is converted by a job on a worker of the run's pool, up to maxJobs
// at once. An overwrite question never holds the thread in a loop of its own: the run waits
// for the answer, which resumes it; a stop closes the question and starts nothing more. The
// list it converts and where it shows what happens are behind RunRows, so the window and the
// command line run the very same rules.
#include "ConversionJob.h"
#include "NamePattern.h"
#include "Prompts.h"
#include "TrackInfo.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

namespace sondrel {

class AudioFile;
class WorkerPool;
class OutputDir;

// The list a run converts, as the run sees it: what each row holds, and where the run reports
// what becomes of it. Called on the run's thread only.
class RunRows {
public:
    virtual ~RunRows() = default;
    virtual int count() const = 0;
    virtual QString source(int row) const = 0;
    // The name of the output, before its extension is changed.
    virtual QString caption(int row) const = 0;
    // Whether the caption is a title (typed in the tag editor) rather than a file name: the
    // extension is then appended to all of it.
    virtual bool captionIsTitle(int /*row*/) const { return false; }
    // The tags to write; none: the source's own, read by the job.
    virtual std::optional<TrackInfo> tags(int row) const = 0;
    // The folder the user added that the row's file was found in; empty for a file added
    // alone. With keepFolders, the output keeps its place below that folder.
    virtual QString addedFolder(int /*row*/) const { return {}; }
    // The tag values an output name pattern is filled with (the name, folder and format are
    // the run's own); asked for only when the run names its outputs by a pattern.
    virtual NameValues nameValues(int /*row*/) const { return {}; }
    // How much of the run the row is, for the progress: its playing time where known.
    virtual std::int64_t weight(int row) const = 0;
    // The playing time the row shows, in milliseconds; -1 where it shows none.
    virtual std::int64_t shownDurationMs(int /*row*/) const { return -1; }
    // The source's size and modification time when it was measured; false when unknown.
    virtual bool sourceStamp(int row, std::int64_t* bytes, std::int64_t* modifiedMs) const = 0;

    virtual void planned(int /*row*/) {}
    virtual void started(int row) = 0;
    virtual void progressed(int /*row*/, int /*percent*/) {}
    // result: Finished, Stopped or Failed; for a row whose source changed since it was
    // measured, or decoded to another length, result.measured holds what the job found.
    virtual void ended(int row, const JobResult& result, double seconds) = 0;
    // Not converted: a failure found while planning (message for the user, reason for the row).
    virtual void refused(int row, const QString& message, const QString& reason) = 0;
    // Not converted: the user kept the existing output.
    virtual void skipped(int /*row*/) {}
};

class ConversionRun : public QObject {
    Q_OBJECT
public:
    enum class Overwrite { Ask, Yes, No };
    struct Settings {
        QString folder;          // ends with "/"
        QString extension;       // ".mp3", ...
        int maxJobs = 1;
        // Outputs of rows found in an added folder go to <folder>/<its name>/<sub-folders>/.
        bool keepFolders = false;
        Overwrite overwrite = Overwrite::Ask;
        // Outputs named by this pattern (NamePattern), below the (kept) folder; empty: each
        // after its row's caption. A pattern that is not valid fails every row with its error.
        QString namePattern;
        NameRules nameRules = NameRules::Native;
        QString formatLabel; // the pattern's {format}: "MP3"
        // Asked before an existing output is replaced, when overwrite is Ask: opens the
        // question and returns at once; the answer comes later (Prompts::askOverwriteLater).
        std::function<std::unique_ptr<Prompts::Pending>(const QString& question,
                                                        std::function<void(Prompts::Overwrite)> answered)>
            ask;
    };
    struct Totals {
        int finished = 0;
        int failed = 0;
        int skipped = 0;
        int stopped = 0;      // rows whose job was stopped
        bool stopRequested = false;
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
    struct Planned {
        int row = -1;
        QString source;
        QString target;
        std::shared_ptr<const OutputDir> dir; // the target's folder, held open
        bool remeasure = false; // the source changed since it was measured
    };

    bool identifySources();
    void fill();
    // The row's checks; a plan to start now, or none (refused, skipped, or a question opened).
    std::optional<Planned> planRow(int row);
    bool sourceUsable(int row, const QString& source);
    // The row's output below the output folder: its sub-folder ("" or ending in "/") and its
    // file name; false when the row was refused.
    bool outputNameFor(int row, const QString& source, QString* sub, QString* name);
    std::shared_ptr<const OutputDir> folderFor(int row, const QString& sub, const QString& name);
    bool targetWritable(int row, const QString& source, const OutputDir& dir, const QString& name);
    void go(const Planned& plan);
    void ask(const Planned& plan);
    void answered(quint64 run, Prompts::Overwrite answer);
    void skip(int row);
    bool claimantRunning(const QString& target) const;
    // The output folder, or its sub-folder sub ("<name>/<sub-folders>/") for kept folders,
    // created and opened without following a link. Throws OutputError.
    std::shared_ptr<const OutputDir> prepareFolder(const QString& sub);
    void startJob(const Planned& plan);
    void reap();
    void applyResult(Job& job);
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
    JobFunction m_jobFunction;
    std::unique_ptr<WorkerPool> m_pool; // after m_jobs: its workers end before the jobs go
};

} // namespace sondrel
