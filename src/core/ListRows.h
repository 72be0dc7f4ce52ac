#pragma once
#include <QString>

class QTreeWidget;

namespace sondrel {

// The rows of the file list: caption "File Name" and the cells "Full Path", "Time", "Size"
// and "Status". The list shows one selected row at most.
namespace rows {

enum Column { FileName = 0, FullPath = 1, Time = 2, Size = 3, Status = 4 };

inline const QString Unconverted = QStringLiteral("unconverted");
inline const QString Converting = QStringLiteral("Converting");
inline const QString Finish = QStringLiteral("finish");

int count(const QTreeWidget* lv);
// The selected row's index, or -1.
int selected(const QTreeWidget* lv);
void select(QTreeWidget* lv, int row);

QString text(const QTreeWidget* lv, int row, Column column);
void setText(QTreeWidget* lv, int row, Column column, const QString& text);

// Appends a row and returns its index.
int append(QTreeWidget* lv, const QString& caption, const QString& fullPath,
           const QString& time, const QString& size, const QString& status);
void remove(QTreeWidget* lv, int row);
void clear(QTreeWidget* lv);

} // namespace rows
} // namespace sondrel
