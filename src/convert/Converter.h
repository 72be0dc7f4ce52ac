#pragma once
#include "ConversionRun.h"
#include "OutputPlanner.h"

#include <QObject>
#include <QString>
#include <memory>

class QProgressBar;
class QWidget;

namespace sondrel {

class AppState;
class BusyFlag;
class FileListModel;
class AudioFile;
class Prompts;
struct LameEncSettings;

// The window's Convert command: every row of the list, top to bottom, into the output folder
// in the chosen format, with the row's tags written into the new file, several files at once
// (the "jobs" setting). The run itself (ConversionRun) plans and converts; this shows it: each
// running row's progress in its Status cell, the whole run's in the progress bar, whose
// caption also gives the elapsed and remaining time, failures in their rows at once and all
// together in one message at the end. ConvertList returns at once.
class Converter : public QObject {
    Q_OBJECT
public:
    Converter(QWidget* window, FileListModel& list, QProgressBar* pb, AppState& state, Prompts& prompts,
              AudioFile& writer, LameEncSettings& lame);
    ~Converter() override;

    // format: the stored index of an output format (0 MP3, 1 WAV, 2 WMA, 3 OGG, 4 FLAC,
    // 5 Opus, 6 M4A, see OutputFormat.h); anything else is no format.
    void ConvertList(int format);
    // Every running job gives its file up (nothing written, the row "stopped"); no further
    // row is started. The run ends as soon as the jobs have.
    void StopConverting();
    // For closing the window: stops, waits for every job and ends the run without messages.
    void stopAndWait();

    // What a run did, as the progress bar shows it once the run has ended:
    // "12 converted, 1 skipped, 2 failed, 1 stopped · 0:48" (parts that are 0 left out).
    static QString summaryText(const ConversionRun::Totals& totals);

    // Where a run in format would write and how it names its outputs, from the settings file
    // (the output folder's default where none is stored); no extension without a format.
    PlanSetup planSetup(int format) const;
    // The output name of row (below the output folder) in format with pattern and the
    // portable rule instead of the stored ones; empty without such a row or format, and
    // with the pattern's error in *error when it is not valid.
    QString exampleName(int format, int row, const QString& pattern, bool portable, QString* error) const;

    // How many files a setting of the "jobs" key converts at once.
    static int jobsFor(int setting) { return ConversionRun::jobsFor(setting); }
    static constexpr int MaxJobs = ConversionRun::MaxJobs;

signals:
    // A row's conversion starts (the window selects it).
    void rowStarted(int row);
    // The whole run's progress: share of the playing time done (0..1), rows still to end.
    void progressed(double share, int rowsLeft);
    // A run has ended and the progress bar shows what it did (summaryText); before its
    // closing message, and not when the window closes.
    void summarized(const QString& summary);
    // A run has ended (after its closing message, if any).
    void runEnded();

private:
    class ListRows;
    void showProgress(double share, double elapsed, double remaining);
    void runFinished(const QStringList& failures, const ConversionRun::Totals& totals);

    QWidget* m_window;
    QProgressBar* m_pb;
    AppState& m_state;
    Prompts& m_prompts;
    AudioFile& m_writer;
    LameEncSettings& m_lame;
    std::unique_ptr<ListRows> m_rows;
    ConversionRun* m_run;
    std::unique_ptr<BusyFlag> m_busy; // the converting state, from the start of a run to its end
    bool m_closing = false;
};

} // namespace sondrel
