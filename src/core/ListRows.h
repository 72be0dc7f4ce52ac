#pragma once
#include <QString>
#include <Qt>

namespace sondrel {

// The columns of the file list: caption "File Name" and the cells "Full Path", "Time", "Size",
// "Status", "Output" (where a conversion would write the row's file) and "Loudness" (as last
// analyzed); the texts a Status cell shows and the roles of the data kept beside the texts.
// The rows themselves are read and changed through FileListModel.
namespace rows {

enum Column { FileName = 0, FullPath = 1, Time = 2, Size = 3, Status = 4, Output = 5, Loudness = 6 };
inline constexpr int ColumnCount = 7;

inline const QString Unconverted = QStringLiteral("unconverted");
inline const QString Converting = QStringLiteral("Converting");
inline const QString Finish = QStringLiteral("finish");
// What a conversion run made of a row it did not finish: the user kept an existing output,
// it was stopped before its output was complete, or it failed (the tooltip says why).
inline const QString Skipped = QStringLiteral("skipped");
inline const QString Stopped = QStringLiteral("stopped");
inline const QString Failed = QStringLiteral("failed");
// Not converted because its output is newer than its source.
inline const QString UpToDate = QStringLiteral("up to date");

// Data kept with a row beside its texts: the exact playing time, and while the row's file
// is converted, its progress in percent (drawn in the Status cell).
inline constexpr int DurationRole = Qt::UserRole + 1;
inline constexpr int ProgressRole = Qt::UserRole + 2;
// The source's size and modification time when it was measured, to tell whether it changed.
inline constexpr int SourceBytesRole = Qt::UserRole + 3;
inline constexpr int SourceModifiedRole = Qt::UserRole + 4;

} // namespace rows
} // namespace sondrel
