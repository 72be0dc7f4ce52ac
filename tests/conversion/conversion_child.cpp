// A program the conversion tests start and then kill or signal: it converts the given files
// through the real window (offscreen, every question answered Yes) and prints "started" once
// the first file is in work.
//   conversion_child FORMAT OUTPUT-FOLDER FILE...
// The settings file lives under $XDG_CONFIG_HOME, which the test points to a folder of its own.
#include "AppShell.h"
#include "FakePrompts.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "SettingsFile.h"
#include "StopSignals.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QTimer>
#include <QTest>
#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 3)
        return 2;
    sondrel::SettingsFile(sondrel::SettingsFile::defaultPath()).write_string("basic", "output directory", args[1]);
    FakePrompts prompts;
    FakeLauncher launcher;
    sondrel::AppShell shell(prompts, launcher);
    sondrel::Tfm_main& w = shell.mainWindow();
    w.show();
    prompts.fileChoices.push_back({args.mid(2), QFileInfo(args[2]).absolutePath()});
    w.item("AddFile1")->trigger();
    if (!QTest::qWaitFor([&] { return !shell.state.flag_adding(); }, 60000))
        return 3;
    w.cb_format->setCurrentIndex(args[0].toInt());
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (w.list->text(0, sondrel::rows::Status) == sondrel::rows::Converting) {
            std::puts("started");
            std::fflush(stdout);
            watch.stop();
        }
    });
    watch.start(1);
    w.item("Convert1")->trigger();
    QObject::connect(&shell.state, &sondrel::AppState::flagsChanged, &app, [&] {
        if (!shell.state.flag_converting())
            app.quit();
    });
    const int status = app.exec();
    return shell.stopSignal() ? sondrel::StopSignals::exitStatusFor(shell.stopSignal()) : status;
}
