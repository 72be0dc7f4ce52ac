#pragma once
// The window's Analyze Loudness command: every row of the list measured on worker threads
// (LoudnessAnalysis, as many files at once as the "jobs" setting), nothing written anywhere.
// Each row's values go into the list's model as they come in (the Loudness column), its
// album's once every file of the album is in; the progress bar shows the share done, and the
// files that could not be read are listed in one message at the end. AnalyzeList returns at once.
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QProgressBar;
class QTimer;
class QWidget;

namespace sondrel {

class AppState;
class BusyFlag;
class FileListModel;
class LoudnessAnalysis;
class Prompts;

class LoudnessAnalyzer : public QObject {
    Q_OBJECT
public:
    LoudnessAnalyzer(QWidget* window, FileListModel& list, QProgressBar* pb, AppState& state, Prompts& prompts);
    ~LoudnessAnalyzer() override;

    void AnalyzeList();
    // Every file in work is given up; rows already measured keep their values.
    void StopAnalyzing();
    // For closing the window: stops, waits for every task and ends without a message.
    void stopAndWait();

    // "12 analyzed, 1 failed, 2 stopped" (parts that are 0 left out).
    static QString summaryText(int analyzed, int failed, int stopped);

signals:
    // The analysis has ended (after its closing message, if any).
    void analysisEnded();

private:
    void fileMeasured(int file);
    void albumMeasured(int album);
    void finished();

    QWidget* m_window;
    FileListModel& m_list;
    QProgressBar* m_pb;
    AppState& m_state;
    Prompts& m_prompts;
    std::unique_ptr<LoudnessAnalysis> m_analysis;
    QTimer* m_progressTimer;
    std::unique_ptr<BusyFlag> m_busy; // the analyzing state, from the start to the end
    QStringList m_failures;
    int m_analyzed = 0;
    int m_stopped = 0;
    bool m_closing = false;
};

} // namespace sondrel
