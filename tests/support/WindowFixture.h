#pragma once
// What the tests that drive the whole window share: the settings file under the test's own
// home folder (test mode), the real program shown with scripted prompts and a recording
// launcher, Add File(s) through the open dialog, and waits with a time limit until adding or
// a conversion has ended.
#include "AppShell.h"
#include "FakePrompts.h"
#include "MainWindow.h"
#include "RunningWindow.h"
#include "SettingsFile.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

class WindowFixture : public QObject {
public:
    // Before any test function runs, so that no test ever reads or writes the user's own
    // settings file.
    WindowFixture();

protected:
    QTemporaryDir tmp;
    RunningWindow app;
    // The running program's parts; set by start().
    FakePrompts* prompts = nullptr;
    FakeLauncher* launcher = nullptr;
    sondrel::AppShell* shell = nullptr;

    sondrel::Tfm_main& w() { return app.w(); }
    sondrel::AppState& s() { return app.s(); }
    static QString settingsPath() { return sondrel::SettingsFile::defaultPath(); }
    static sondrel::SettingsFile settings() { return sondrel::SettingsFile(settingsPath()); }
    // Removes the settings file, after making it writable again (a test may have locked it).
    static void forgetSettings();

    // Starts the program, throwing away any earlier window as a restart would; false when the
    // window did not show. Without a stored window size, the window opens at its smallest
    // size (a stored size too small for it), where the tests know its layout.
    bool startWindow();
    // The same as the very first start: no settings file at all, the window at the size the
    // program chooses for it.
    bool startFirstTime();
    void start() { QVERIFY(startWindow()); }
    // The same without any settings file: the program as at its first start.
    void startFresh()
    {
        forgetSettings();
        start();
    }
    void stop();

    // Adds the files as chosen in the open dialog of Add File(s) (from `folder`, by default the
    // first file's), and waits until the adding has ended.
    void add(const QStringList& files, const QString& folder = {});
    // Wait until an adding or a conversion that runs has ended; false when it did not in time.
    bool waitAdded(int timeoutMs = 60000) { return app.waitAdded(timeoutMs); }
    bool waitConverted(int timeoutMs = 120000);

    int rowCount() const;
    QString cell(int row, int column) const;
};
