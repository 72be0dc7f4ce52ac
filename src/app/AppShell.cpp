#include "AppShell.h"

#include "ExceptionHook.h"
#include "Launcher.h"
#include "MainWindow.h"
#include "Prompts.h"

#include <QApplication>
#include <QKeyEvent>

namespace sondrel {

AppShell::AppShell(Prompts& prompts, Launcher& launcher) : m_prompts(prompts), m_launcher(launcher)
{
    setExceptionHandler([this](std::exception_ptr e) { ApplicationEventsException(e); });
    fm_main = std::make_unique<Tfm_main>(state, prompts, launcher);
    qApp->installEventFilter(this);
}

AppShell::~AppShell()
{
    qApp->removeEventFilter(this);
    setExceptionHandler({});
}

void AppShell::ApplicationEventsException(std::exception_ptr)
{
    // One question at a time: an error raised while the question is up changes nothing.
    if (m_inExceptionHook)
        return;
    m_inExceptionHook = true;
    const bool restart = m_prompts.askYesNo(
        fm_main.get(), QStringLiteral("A system error occurs,do you want to restart this program?"));
    fm_main->close();
    if (restart)
        m_launcher.startDetached(QCoreApplication::applicationFilePath(), {});
    m_inExceptionHook = false;
}

bool AppShell::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress)
        guardedCall([&] { ApplicationEventsMessage(watched, event); });
    return false;
}

void AppShell::ApplicationEventsMessage(QObject* watched, QEvent* event)
{
    // A key press travels from the window to the focus widget and on to its parents; act on
    // it once, where it is first delivered to a widget.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return;
    QWidget* first = QApplication::focusWidget();
    if (!first)
        first = widget->window();
    if (widget != first)
        return;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
        if (QApplication::activeWindow() == fm_main.get())
            fm_main->close();
    } else if (key->key() == Qt::Key_F1) {
        fm_main->OpenHelp();
    }
}

} // namespace sondrel
