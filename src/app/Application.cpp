#include "Application.h"

#include "ExceptionHook.h"

#include <QFile>
#include <QFontDatabase>
#include <QIcon>

namespace sondrel {

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Sondrel"));
    setApplicationVersion(QString::fromLatin1(ApplicationVersion));
    setDesktopFileName(QStringLiteral("sondrel"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("sondrel")));
    // The windows are laid out for Tahoma 8 pt. Debian's fonts-wine has a free Tahoma that
    // fontconfig does not list; without it the nearest sans-serif font stands in.
    for (const char* file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
        if (QFile::exists(QString::fromLatin1(file)))
            QFontDatabase::addApplicationFont(QString::fromLatin1(file));
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportException(std::current_exception());
        return false;
    }
}

} // namespace sondrel
