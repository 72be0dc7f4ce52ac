#pragma once

class QMainWindow;
class QTreeView;

namespace sondrel {

class SettingsFile;

// The main window's size, position, maximised state and column widths, kept in the settings
// file's section "window". A position no screen shows any more (a screen taken away) is
// replaced by the middle of the primary screen; a size larger than the screen is cut to it.
// The widths are those at the list's designed size: the column that takes the list's growth
// is kept without it (growingWidth).
void restoreWindow(QMainWindow& window, QTreeView& list, const SettingsFile& settings);
void saveWindow(const QMainWindow& window, const QTreeView& list, int growingColumn, int growingWidth,
                SettingsFile& settings);

} // namespace sondrel
