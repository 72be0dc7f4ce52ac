#pragma once
#include "AppState.h"

#include <QObject>
#include <exception>
#include <memory>

namespace sondrel {

class Launcher;
class Prompts;
class StopSignals;
class Tfm_about;
class Tfm_dir;
class Tfm_id3;
class Tfm_main;
class Tfm_set;

// The program body: creates the windows in their fixed order, installs the keyboard hook
// (Esc, F1) and the exception hook, and owns the process-wide state.
class AppShell : public QObject {
    Q_OBJECT
public:
    AppShell(Prompts& prompts, Launcher& launcher);
    ~AppShell() override;

    AppState state;
    Tfm_main& mainWindow() { return *fm_main; }

    // The exception hook: offers to restart the program, then closes it either way.
    void handleUncaughtException(std::exception_ptr error);

    // The signal (SIGINT, SIGTERM, SIGHUP) that closed the window, 0 for none; the program
    // then exits with the status a shell expects of it (StopSignals::exitStatusFor).
    int stopSignal() const;

protected:
    // The keyboard hook: sees every key press of every window before it is dispatched,
    // and never marks it handled.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void handleKeyPress(QObject* watched, QEvent* event);

    Prompts& m_prompts;
    Launcher& m_launcher;
    std::unique_ptr<Tfm_main> fm_main;
    std::unique_ptr<Tfm_set> fm_set;
    std::unique_ptr<Tfm_about> fm_about;
    std::unique_ptr<Tfm_dir> fm_dir;
    std::unique_ptr<Tfm_id3> fm_id3;
    std::unique_ptr<StopSignals> m_signals;
    bool m_inExceptionHook = false;
};

} // namespace sondrel
