#pragma once
#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class QProgressBar;
class QTimer;
class QTreeWidget;
class QWidget;

namespace sondrel {

class AppState;
class AudioFile;
class Doorbell;
class Prompts;
struct LameEncSettings;

// The batch conversion: every row of the list, top to bottom, into the output folder in
// the chosen format, with the row's tags written into the new file. The run is planned on
// the GUI thread in list order (missing sources, targets, the overwrite questions) and each
// file is converted by a job on a thread of its own, up to the "jobs" setting at once; the
// GUI thread only shows progress and results: each running row's own in its Status cell,
// the whole run's in the progress bar, whose caption also gives the elapsed and remaining time. ConvertList returns at once; the run ends
// (busy flag cleared, one message for all failures) when its last job has ended.
class Converter : public QObject {
    Q_OBJECT
public:
    Converter(QWidget* window, QTreeWidget* lv, QProgressBar* pb, AppState& state, Prompts& prompts,
              AudioFile& writer, LameEncSettings& lame);
    ~Converter() override;

    // format: a position in output_formats (0 MP3, 1 WAV, 2 WMA, 3 OGG, 4 FLAC, 5 Opus,
    // 6 M4A); anything else is no format.
    void ConvertList(int format);
    // Every running job ends its file where it is (kept, tagged, "finish"); no further row
    // is started. The run ends as soon as the jobs have.
    void StopConverting();
    // For closing the window: stops, waits for every job and ends the run without messages.
    void stopAndWait();

    // How many files a setting of the "jobs" key converts at once.
    static int jobsFor(int setting);
    static constexpr int MaxJobs = 32;

signals:
    // A run has ended (after its closing message, if any).
    void runEnded();

private:
    struct Job;
    struct Run;
    struct Planned {
        int row = -1;
        QString source;
        QString target;
        QString folder;         // the target's folder, ending in "/"
        bool remeasure = false; // the source changed since it was added
    };

    void fill();
    std::optional<Planned> planRow(int row);
    bool claimantRunning(const QString& target) const;
    // Creates a sub-folder of the output folder for kept folders; false when it cannot.
    bool prepareFolder(const QString& folder);
    void startJob(const Planned& plan);
    void reap();
    void applyResult(Job& job);
    void failRow(int row, const QString& message, const QString& reason);
    void dropRowFromTotal(int row);
    void maybeFinish();
    void finishRun();
    void showProgress();

    QWidget* m_window;
    QTreeWidget* m_lv;
    QProgressBar* m_pb;
    AppState& m_state;
    Prompts& m_prompts;
    AudioFile& m_writer;
    LameEncSettings& m_lame;
    Doorbell* m_bell;
    QTimer* m_progressTimer;
    std::unique_ptr<Run> m_run;
    std::vector<std::unique_ptr<Job>> m_jobs;
    bool m_planning = false;
};

} // namespace sondrel
