#pragma once
// Keeps the list's Output column in step with what a conversion would write: after any change
// of the rows, the format, the folder or the naming settings, the plan is made again on a
// worker thread from a copy of the rows, and shown only if nothing changed meanwhile. A long
// list never holds up the window, and a plan of an older list is never shown.
#include "OutputNaming.h"

#include <QObject>
#include <functional>
#include <memory>

class QTimer;

namespace sondrel {

class FileListModel;
class WorkerPool;

// What a plan is made with; no extension: no format is chosen, and nothing is planned.
struct PlanSetup {
    QString folder; // ends with "/"
    OutputNaming naming;
    Existing existing = Existing::Ask;
    bool playlist = false;
    GainTags gainTags = GainTags::Off;
    bool normalize = false;
};

class OutputPlanner : public QObject {
    Q_OBJECT
public:
    OutputPlanner(FileListModel& list, std::function<PlanSetup()> setup, QObject* parent = nullptr);
    ~OutputPlanner() override; // a plan in the making is given up

    // Plans again soon: changes that come together are planned once.
    void schedule();

signals:
    // A plan was shown (tests wait for it).
    void planShown();

private:
    struct Result;
    void start();
    void finished();

    FileListModel& m_list;
    std::function<PlanSetup()> m_setup;
    QTimer* m_timer;
    std::unique_ptr<WorkerPool> m_pool;
    std::shared_ptr<Result> m_result; // of the plan in the making
    quint64 m_asked = 0;              // schedule() calls so far
};

} // namespace sondrel
