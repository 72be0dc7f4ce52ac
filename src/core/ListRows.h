#pragma once
#include "TrackInfo.h"

#include <QString>
#include <Qt>
#include <cstdint>

namespace sondrel {

class FileListView;

// The rows of the file list: caption "File Name" and the cells "Full Path", "Time", "Size"
// and "Status", each with its tag record. The list shows one selected row at most. These
// are the list's accessors by row index; they reach the rows through the view's model.
namespace rows {

enum Column { FileName = 0, FullPath = 1, Time = 2, Size = 3, Status = 4 };

inline const QString Unconverted = QStringLiteral("unconverted");
inline const QString Converting = QStringLiteral("Converting");
inline const QString Finish = QStringLiteral("finish");
// What a conversion run made of a row it did not finish: the user kept an existing output,
// it was stopped before its output was complete, or it failed (the tooltip says why).
inline const QString Skipped = QStringLiteral("skipped");
inline const QString Stopped = QStringLiteral("stopped");
inline const QString Failed = QStringLiteral("failed");

// Data kept with a row beside its texts: the exact playing time, and while the row's file
// is converted, its progress in percent (drawn in the Status cell).
inline constexpr int DurationRole = Qt::UserRole + 1;
inline constexpr int ProgressRole = Qt::UserRole + 2;
// The source's size and modification time when it was measured, to tell whether it changed.
inline constexpr int SourceBytesRole = Qt::UserRole + 3;
inline constexpr int SourceModifiedRole = Qt::UserRole + 4;

int count(const FileListView* lv);
// The selected row's index, or -1.
int selected(const FileListView* lv);
void select(FileListView* lv, int row);

QString text(const FileListView* lv, int row, Column column);
void setText(FileListView* lv, int row, Column column, const QString& text);

// Appends a row and returns its index. durationMs: the exact playing time, when known.
int append(FileListView* lv, const QString& caption, const QString& fullPath,
           const QString& time, const QString& size, const QString& status,
           std::int64_t durationMs = -1);

// The row's playing time in milliseconds: as measured when it was added, else read from its
// Time cell.
std::int64_t durationMs(const FileListView* lv, int row);
void setDurationMs(FileListView* lv, int row, std::int64_t ms);
// The source's size and modification time (ms since the epoch) as last measured; false when
// the row has none.
void setSourceStamp(FileListView* lv, int row, std::int64_t bytes, std::int64_t modifiedMs);
bool sourceStamp(const FileListView* lv, int row, std::int64_t* bytes, std::int64_t* modifiedMs);
// The folder the user added whose scan found the row's file; empty for a file added alone.
void setAddedFolder(FileListView* lv, int row, const QString& folder);
QString addedFolder(const FileListView* lv, int row);
// The File Name set to a title typed in the tag editor: the output is named by all of its text
// (with the extension appended) instead of taking its last "." for an extension's.
void setTitleCaption(FileListView* lv, int row, const QString& title);
bool captionIsTitle(const FileListView* lv, int row);
// Progress in percent shown in the Status cell; a negative value removes it.
void setProgress(FileListView* lv, int row, int percent);
int progress(const FileListView* lv, int row);
// The tooltip of every cell of the row (why a conversion failed, what was shortened).
void setToolTip(FileListView* lv, int row, const QString& text);
QString toolTip(const FileListView* lv, int row);
// The row's tag record (an empty one for a row that does not exist).
TrackInfo trackInfo(const FileListView* lv, int row);
void setTrackInfo(FileListView* lv, int row, const TrackInfo& info);
void remove(FileListView* lv, int row);
void clear(FileListView* lv);

} // namespace rows
} // namespace sondrel
