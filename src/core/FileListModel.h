#pragma once
#include "ListRows.h"
#include "TrackInfo.h"

#include <QAbstractTableModel>
#include <cstdint>
#include <deque>
#include <vector>

namespace sondrel {

// One row of the file list together with its tag record: the five cell texts, what is known
// beside them, and the tags written into the converted file. Rows and records live in one
// place, so a row never meets another row's record.
struct ListRow {
    QString cells[5]; // File Name, Full Path, Time, Size, Status
    std::int64_t durationMs = -1; // exact playing time; -1 when only the Time text is known
    std::int64_t bytes = -1;      // the source's size when measured; -1 when not measured
    std::int64_t modifiedMs = 0;  // and its modification time
    int progress = -1;            // percent while converting; -1 for none
    QString toolTip;
    QString addedFolder;          // the folder added (Add Path) whose scan found the file
    bool titleCaption = false;    // the File Name is a title typed in the tag editor
    TrackInfo info;

    // The playing time in milliseconds: the exact one, else read from the Time text.
    std::int64_t playingMs() const;
    // The size in bytes: as measured, else read from the Size text.
    double sizeBytes() const;
};

// The list's rows in list order, which is also the order of conversion. The view shows it;
// every change of rows or records goes through it. GUI thread only.
class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Reorders the rows themselves (stable): names and statuses in natural order, Time and
    // Size by value. The selection stays on its row.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    int count() const { return int(m_rows.size()); }
    const ListRow& at(int row) const { return m_rows[std::size_t(row)]; }
    bool valid(int row) const { return row >= 0 && row < count(); }

    // Appends rows at the end in one insertion; returns the index of the first.
    int append(std::vector<ListRow>&& rows);
    void remove(int row);
    void clear();

    void setCell(int row, int column, const QString& text);
    void setDurationMs(int row, std::int64_t ms);
    void setSourceStamp(int row, std::int64_t bytes, std::int64_t modifiedMs);
    void setProgress(int row, int percent);
    void setToolTip(int row, const QString& text);
    void setAddedFolder(int row, const QString& folder);
    // Sets the File Name to a title typed in the tag editor; the row keeps knowing it is one.
    void setTitleCaption(int row, const QString& title);
    void setTrackInfo(int row, const TrackInfo& info);

private:
    void changed(int row, int firstColumn, int lastColumn);
    // A deque: appending never moves the rows already there (with a vector, every doubling
    // moved them all at once on the GUI thread: 0.1 s at 64,000 rows).
    std::deque<ListRow> m_rows;
};

} // namespace sondrel
