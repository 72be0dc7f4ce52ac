#include "WindowSettings.h"

#include "SettingsFile.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QScreen>
#include <QTreeView>

namespace sondrel {

namespace {
const QString Section = QStringLiteral("window");
// How much of the window's top must lie on a screen for its place to be kept: enough of the
// title bar to grab it.
constexpr int GrabWidth = 100;
constexpr int GrabHeight = 30;

const QScreen* screenShowing(const QRect& rect)
{
    const QRect top(rect.left() + std::max(0, rect.width() - GrabWidth) / 2, rect.top(), std::min(GrabWidth, rect.width()),
                    GrabHeight);
    for (const QScreen* s : QGuiApplication::screens())
        if (s->availableGeometry().intersected(top).size() == top.size())
            return s;
    return nullptr;
}
} // namespace

void restoreWindow(QMainWindow& window, QTreeView& list, const SettingsFile& s)
{
    const QStringList widths = s.read_string(Section, QStringLiteral("column widths"), QString()).split(QLatin1Char(','));
    for (int c = 0; c < widths.size() && c < list.header()->count(); ++c) {
        bool ok = false;
        const int width = widths[c].trimmed().toInt(&ok);
        if (ok && width >= list.header()->minimumSectionSize() && width <= 4000)
            list.setColumnWidth(c, width);
    }

    const int width = s.read_int(Section, QStringLiteral("width"), -1);
    const int height = s.read_int(Section, QStringLiteral("height"), -1);
    if (width > 0 && height > 0) {
        QRect rect(s.read_int(Section, QStringLiteral("left"), 0), s.read_int(Section, QStringLiteral("top"), 0),
                   std::max(width, window.minimumSizeHint().width()), std::max(height, window.minimumSizeHint().height()));
        const QScreen* screen = screenShowing(rect);
        if (!screen) {
            screen = QGuiApplication::primaryScreen();
            if (screen) {
                const QRect avail = screen->availableGeometry();
                rect.setSize(rect.size().boundedTo(avail.size()).expandedTo(window.minimumSizeHint()));
                rect.moveCenter(avail.center());
            }
        } else {
            rect.setSize(rect.size().boundedTo(screen->availableGeometry().size()).expandedTo(window.minimumSizeHint()));
        }
        window.setGeometry(rect);
    }
    if (s.read_int(Section, QStringLiteral("maximized"), 0) == 1)
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

void saveWindow(const QMainWindow& window, const QTreeView& list, int growingColumn, int growingWidth, SettingsFile& s)
{
    const QRect normal = window.normalGeometry().isValid() ? window.normalGeometry() : window.geometry();
    s.write_int(Section, QStringLiteral("left"), normal.left());
    s.write_int(Section, QStringLiteral("top"), normal.top());
    s.write_int(Section, QStringLiteral("width"), normal.width());
    s.write_int(Section, QStringLiteral("height"), normal.height());
    s.write_int(Section, QStringLiteral("maximized"), window.isMaximized() ? 1 : 0);
    QStringList widths;
    for (int c = 0; c < list.header()->count(); ++c)
        widths << QString::number(c == growingColumn ? growingWidth : list.columnWidth(c));
    s.write_string(Section, QStringLiteral("column widths"), widths.join(QLatin1Char(',')));
}

} // namespace sondrel
