#pragma once
#include "DesktopNotices.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QWidget;

namespace sondrel {

class AppState;
class Converter;
class FileListModel;

// The window's long work told to the desktop: while a conversion runs, the task bar entry
// shows its progress and the files still to go; while files are added, how many are in so
// far. At the end of a conversion or an adding that took longer than the threshold while the
// window was not the active one, a notification gives what the window's status shows.
class RunNotices : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 DefaultThresholdMs = 10000;

    RunNotices(QWidget* window, AppState& state, FileListModel& list, Converter& converter);
    ~RunNotices() override; // a run still shown is cleared from the task bar entry

    // How long work must have taken for its end to be notified.
    void setThresholdMs(qint64 ms) { m_thresholdMs = ms; }

    // The notification's text at the end of an adding: "12 files added".
    static QString addedText(int files);

private:
    enum class Work { None, Converting, Adding };
    void onFlagsChanged();
    void start(Work work);
    // The work has ended; summary is what the window shows of it (empty: nothing to notify).
    void end(const QString& title, const QString& summary);

    QWidget* m_window;
    AppState& m_state;
    FileListModel& m_list;
    DesktopNotices m_desktop;
    QElapsedTimer m_clock;
    Work m_work = Work::None;
    int m_rowsAtStart = 0;
    qint64 m_thresholdMs = DefaultThresholdMs;
};

} // namespace sondrel
