#pragma once
#include <QString>
#include <Qt>
#include <cstdint>

class QTreeWidget;

namespace sondrel {

// The rows of the file list: caption "File Name" and the cells "Full Path", "Time", "Size"
// and "Status". The list shows one selected row at most.
namespace rows {

enum Column { FileName = 0, FullPath = 1, Time = 2, Size = 3, Status = 4 };

inline const QString Unconverted = QStringLiteral("unconverted");
inline const QString Converting = QStringLiteral("Converting");
inline const QString Finish = QStringLiteral("finish");

// Data kept with a row beside its texts: the exact playing time, and while the row's file
// is converted, its progress in percent (drawn in the Status cell).
inline constexpr int DurationRole = Qt::UserRole + 1;
inline constexpr int ProgressRole = Qt::UserRole + 2;
// The source's size and modification time when it was measured, to tell whether it changed.
inline constexpr int SourceBytesRole = Qt::UserRole + 3;
inline constexpr int SourceModifiedRole = Qt::UserRole + 4;
// The folder the user added (Add Path) that the row's file was found in, at any depth.
inline constexpr int AddedFolderRole = Qt::UserRole + 5;

int count(const QTreeWidget* lv);
// The selected row's index, or -1.
int selected(const QTreeWidget* lv);
void select(QTreeWidget* lv, int row);

QString text(const QTreeWidget* lv, int row, Column column);
void setText(QTreeWidget* lv, int row, Column column, const QString& text);

// Appends a row and returns its index. durationMs: the exact playing time, when known.
int append(QTreeWidget* lv, const QString& caption, const QString& fullPath,
           const QString& time, const QString& size, const QString& status,
           std::int64_t durationMs = -1);

// The row's playing time in milliseconds: as measured when it was added, else read from its
// Time cell.
std::int64_t durationMs(const QTreeWidget* lv, int row);
void setDurationMs(QTreeWidget* lv, int row, std::int64_t ms);
// The source's size and modification time (ms since the epoch) as last measured; false when
// the row has none.
void setSourceStamp(QTreeWidget* lv, int row, std::int64_t bytes, std::int64_t modifiedMs);
bool sourceStamp(const QTreeWidget* lv, int row, std::int64_t* bytes, std::int64_t* modifiedMs);
// The folder the user added whose scan found the row's file; empty for a file added alone.
void setAddedFolder(QTreeWidget* lv, int row, const QString& folder);
QString addedFolder(const QTreeWidget* lv, int row);
// Progress in percent shown in the Status cell; a negative value removes it.
void setProgress(QTreeWidget* lv, int row, int percent);
int progress(const QTreeWidget* lv, int row);
// The tooltip of every cell of the row (why a conversion failed, what was shortened).
void setToolTip(QTreeWidget* lv, int row, const QString& text);
QString toolTip(const QTreeWidget* lv, int row);
void remove(QTreeWidget* lv, int row);
void clear(QTreeWidget* lv);

} // namespace rows
} // namespace sondrel
