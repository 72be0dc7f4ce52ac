#pragma once
#include <QList>
#include <QRect>
#include <QSize>

class QMainWindow;
class QTreeView;

namespace sondrel {

class SettingsFile;

// The size of the window when none is stored (the first start): about 900 by 560, never more
// than four fifths of the available screen, never less than the window's smallest size.
QSize firstStartSize(const QSize& available, const QSize& minimum);

// The main window's size, position, maximised state and column widths, kept in the settings
// file's section "window". A position no screen shows any more (a screen taken away) is
// replaced by the middle of the primary screen; a size larger than the screen is cut to it.
// Without a stored size the window takes firstStartSize, centred. Returns the geometry asked
// for (the window may take it later).
QRect restoreWindow(QMainWindow& window, const SettingsFile& settings);
// The window's width when the column widths were stored; 0 when none is stored.
int storedWindowWidth(const SettingsFile& settings);
// The stored column widths as shown; empty when none are stored. A width that is not a
// number, below minimum or above MaxColumnWidth is -1: not to be used.
inline constexpr int MaxColumnWidth = 4000;
QList<int> readColumnWidths(const SettingsFile& settings, int columns, int minimum);
void saveWindow(const QMainWindow& window, const QTreeView& list, SettingsFile& settings);

} // namespace sondrel
