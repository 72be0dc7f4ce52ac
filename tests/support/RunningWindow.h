#pragma once
#include "AppShell.h"
#include "FakePrompts.h"
#include "MainWindow.h"

#include <memory>

// The program as the tests drive it: the real program body and main window, shown, with
// scripted prompts and a recording launcher. start() throws away any earlier window, as a
// restart of the program would.
class RunningWindow {
public:
    std::unique_ptr<FakePrompts> prompts;
    std::unique_ptr<FakeLauncher> launcher;
    std::unique_ptr<sondrel::AppShell> shell;

    // Returns false when the window did not show.
    bool start();
    void stop() { shell.reset(); }
    sondrel::Tfm_main& w() { return shell->mainWindow(); }
    sondrel::AppState& s() { return shell->state; }
    // Waits (at most timeoutMs) until an adding that runs has ended; false when it has not.
    bool waitAdded(int timeoutMs = 60000);
};
