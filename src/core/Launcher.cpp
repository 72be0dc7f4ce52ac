#include "Launcher.h"

#include "WindowRaise.h"

#include <QDesktopServices>
#include <QProcess>

namespace sondrel {

void DesktopLauncher::openUrl(const QUrl& url)
{
    // The default handler is started on its own; the result is not looked at.
    QDesktopServices::openUrl(url);
}

bool DesktopLauncher::raiseWindow(const QString& title)
{
    return raiseOtherProgramsWindow(title);
}

void DesktopLauncher::startDetached(const QString& program, const QStringList& arguments)
{
    QProcess::startDetached(program, arguments);
}

} // namespace sondrel
