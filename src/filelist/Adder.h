#pragma once
#include "Prompts.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class QTimer;
class QWidget;

namespace sondrel {

class AppState;
class FileListModel;
class WorkerPool;
struct ListRow;

// Adding rows: files are measured (opened, timed, their tags read) by workers of the adder's
// pool, one per core, while one more worker walks a folder; the GUI thread only appends the
// finished rows, in batches and in order (the order given, or the scan's order). Files that
// cannot be added are collected, and when the adding ends (also by a stop) one message lists
// each of them with its reason, in list order. The adding state lasts from the start until
// the last row is in, or until a stop, and then until that message is closed.
//
// One adding takes a sequence of files and folders (a drop, or the command line) and adds
// them in that order. A request made while an adding runs waits for it and starts after it;
// a stop ends the waiting requests too.
class Adder : public QObject {
    Q_OBJECT
public:
    // One file to add by name, or one folder to scan.
    struct Request {
        QString path;
        bool folder = false;
        bool includeSub = false; // folder: its sub-folders too
    };

    Adder(QWidget* window, FileListModel& list, AppState& state, Prompts& prompts);
    ~Adder() override;

    // Adds the files in this order; returns at once.
    void addFiles(const QStringList& paths);
    // Adds what a scan of folder finds, in scan order; returns at once.
    void addFolder(const QString& folder, bool includeSub);
    // Adds files and folders in this order; returns at once.
    void add(std::vector<Request> requests);
    // An adding runs, or its message of files not added is up.
    bool running() const { return m_run || m_report; }
    // Requests waiting for the running adding to end.
    std::size_t waiting() const { return m_waiting.size(); }
    // Ends the adding and drops the waiting requests: the rows in the list stay, nothing
    // more is added. The window is idle as soon as the worker threads have left the file
    // each is reading.
    void stop();
    // For closing the window: ends at once, without any further message.
    void stopAndWait();

    // How many files are measured at once.
    static int workerCount();

signals:
    // An adding has ended (after its message of files not added, if any, was closed).
    void finished();

private:
    struct Item;
    struct Done;
    struct Run;

    // The workers' tasks: measuring queued files, and walking a folder into the queue.
    static void measureLoop(Run& run, WorkerPool& pool);
    static void measureItems(Run& run, WorkerPool& pool);
    static void listLoop(Run& run, WorkerPool& pool, const std::vector<Request>& requests);

    void startNext();
    void start(std::unique_ptr<Run> run);
    void onBell();
    void reap();
    // Inserts the rows measured so far, in order, for one turn; false when more is to come
    // before the adding can end (another turn, or a notice is up).
    bool insertFinished();
    // The measured items at the front of the queue, in order, up to the first that needs a
    // notice.
    static std::vector<Done> takeFinished(Run& run);
    void insert(std::vector<ListRow>& batch);
    void maybeFinish();
    // Drops the waiting requests and tells the running adding's threads to end; false when
    // none runs.
    bool tellToStop();
    void finish(bool closing);
    // Starts a waiting adding once the report of the last one is closed.
    void afterReport();
    void later(int ms);

    QWidget* m_window;
    FileListModel& m_list;
    AppState& m_state;
    Prompts& m_prompts;
    QTimer* m_timer;
    QElapsedTimer m_sinceBatch;
    std::unique_ptr<Run> m_run;
    // The message of the files an adding could not take, while it is up, and that adding.
    std::unique_ptr<Prompts::Pending> m_report;
    std::unique_ptr<Run> m_reported;
    std::deque<std::vector<Request>> m_waiting;
    int m_intervalMs;
    std::unique_ptr<WorkerPool> m_pool; // last: its workers end before the run they work for
};

} // namespace sondrel
