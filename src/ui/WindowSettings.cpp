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

QSize firstStartSize(const QSize& available, const QSize& minimum)
{
    const QSize wanted(900, 560);
    return wanted.boundedTo(available * 4 / 5).expandedTo(minimum);
}

int storedWindowWidth(const SettingsFile& s)
{
    return std::max(0, s.read_int(Section, QStringLiteral("width"), 0));
}

QList<int> readColumnWidths(const SettingsFile& s, int columns, int minimum)
{
    const QString stored = s.read_string(Section, QStringLiteral("column widths"), QString());
    if (stored.trimmed().isEmpty())
        return {};
    const QStringList texts = stored.split(QLatin1Char(','));
    QList<int> widths;
    for (int c = 0; c < columns; ++c) {
        bool ok = false;
        const int width = texts.value(c).trimmed().toInt(&ok);
        widths << (ok && width >= minimum && width <= MaxColumnWidth ? width : -1);
    }
    return widths;
}

QRect restoreWindow(QMainWindow& window, const SettingsFile& s)
{
    const int width = s.read_int(Section, QStringLiteral("width"), -1);
    const int height = s.read_int(Section, QStringLiteral("height"), -1);
    if (width <= 0 || height <= 0) {
        // The first start: a comfortable size in the middle of the screen.
        QRect rect(window.geometry().topLeft(), window.size());
        if (const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen()) {
            const QRect avail = screen->availableGeometry();
            rect.setSize(firstStartSize(avail.size(), window.minimumSizeHint()));
            // The frame's extra width and height, so that the whole window is centred.
            const QSize frame = window.frameGeometry().size() - window.geometry().size();
            rect.moveTopLeft(avail.topLeft() + QPoint((avail.width() - rect.width() - frame.width()) / 2,
                                                      (avail.height() - rect.height() - frame.height()) / 2));
            rect.translate(window.geometry().topLeft() - window.frameGeometry().topLeft());
        }
        window.setGeometry(rect);
        return rect;
    }
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
    if (s.read_int(Section, QStringLiteral("maximized"), 0) == 1)
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
    return rect;
}

void saveWindow(const QMainWindow& window, const QTreeView& list, SettingsFile& s)
{
    const QRect normal = window.normalGeometry().isValid() ? window.normalGeometry() : window.geometry();
    s.write_int(Section, QStringLiteral("left"), normal.left());
    s.write_int(Section, QStringLiteral("top"), normal.top());
    s.write_int(Section, QStringLiteral("width"), normal.width());
    s.write_int(Section, QStringLiteral("height"), normal.height());
    s.write_int(Section, QStringLiteral("maximized"), window.isMaximized() ? 1 : 0);
    QStringList widths;
    for (int c = 0; c < list.header()->count(); ++c)
        widths << QString::number(list.columnWidth(c));
    s.write_string(Section, QStringLiteral("column widths"), widths.join(QLatin1Char(',')));
}

} // namespace sondrel
