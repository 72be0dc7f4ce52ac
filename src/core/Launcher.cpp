#include "Launcher.h"

#include "Prompts.h"
#include "WindowRaise.h"

#include <QDesktopServices>
#include <QProcess>

namespace sondrel {

bool DesktopLauncher::openUrl(const QUrl& url)
{
    // The default handler is started on its own; only whether one could be started is known.
    return QDesktopServices::openUrl(url);
}

void openAddress(Launcher& launcher, Prompts& prompts, QWidget* parent, const QUrl& url)
{
    if (launcher.openUrl(url))
        return;
    if (url.scheme() == QLatin1String("mailto"))
        prompts.information(parent, QStringLiteral("No mail program could be started. The address is:\n%1")
                                        .arg(url.path()));
    else
        prompts.information(parent, QStringLiteral("No web browser could be started. The address is:\n%1")
                                        .arg(url.toString()));
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
