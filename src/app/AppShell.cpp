#include "AppShell.h"

#include "AboutBox.h"
#include "ExceptionHook.h"
#include "FolderPicker.h"
#include "Launcher.h"
#include "MainWindow.h"
#include "Prompts.h"
#include "SettingsDialog.h"
#include "StopSignals.h"
#include "TagEditor.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWindow>

namespace sondrel {

AppShell::AppShell(Prompts& prompts, Launcher& launcher) : m_prompts(prompts), m_launcher(launcher)
{
    setExceptionHandler([this](std::exception_ptr e) { handleUncaughtException(e); });
    fm_main = std::make_unique<Tfm_main>(state, prompts, launcher);
    fm_set = std::make_unique<Tfm_set>(state, fm_main.get());
    fm_about = std::make_unique<Tfm_about>(launcher, prompts, fm_main.get());
    fm_dir = std::make_unique<Tfm_dir>(state, fm_main.get(), &prompts);
    fm_id3 = std::make_unique<Tfm_id3>(state, *fm_main->list, prompts, fm_main.get());
    fm_main->attachDialogs(fm_set.get(), fm_about.get(), fm_dir.get(), fm_id3.get());
    qApp->installEventFilter(this);
    // Ctrl+C, SIGTERM and SIGHUP close the window as Stop and closing would: the files in
    // work are given up and their temporary files removed.
    m_signals = std::make_unique<StopSignals>();
    connect(m_signals.get(), &StopSignals::stopRequested, this, guarded([this] { fm_main->closeWithoutAsking(); }));
}

int AppShell::stopSignal() const
{
    return m_signals ? m_signals->received() : 0;
}

AppShell::~AppShell()
{
    m_signals.reset();
    // The dialogs are children of the main window: release them first, then the window.
    fm_id3.reset();
    fm_dir.reset();
    fm_about.reset();
    fm_set.reset();
    qApp->removeEventFilter(this);
    setExceptionHandler({});
}

void AppShell::handleUncaughtException(std::exception_ptr)
{
    // One question at a time: an error raised while the question is up changes nothing.
    if (m_inExceptionHook)
        return;
    m_inExceptionHook = true;
    const bool restart = m_prompts.askYesNo(
        fm_main.get(), QStringLiteral("A system error occurs,do you want to restart this program?"));
    fm_main->closeWithoutAsking();
    if (restart)
        m_launcher.startDetached(QCoreApplication::applicationFilePath(), {});
    m_inExceptionHook = false;
}

bool AppShell::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress)
        guardedCall([&] { handleKeyPress(watched, event); });
    return false;
}

void AppShell::handleKeyPress(QObject* watched, QEvent* event)
{
    // A key press from the window system reaches its window first, then the focus widget and
    // its parents; it is looked at once, at the window.
    if (!watched->isWindowType())
        return;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
        // Keys go to the active window: Esc there closes the program, Esc in a dialog in
        // front of it does not.
        if (watched == static_cast<QObject*>(fm_main->windowHandle()))
            fm_main->close();
    } else if (key->key() == Qt::Key_F1) {
        fm_main->OpenHelp();
    }
}

} // namespace sondrel
