#pragma once
#include "ListRows.h"
#include "OtherTags.h"
#include "RowLoudness.h"
#include "TrackInfo.h"
#include "TrackRange.h"

#include <QAbstractTableModel>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace sondrel {

// One row of the file list together with its tag record. A row keeps what it knows, and the
// cells show texts made from it: Full Path is the path, File Name its last part (unless a
// name or title was set), Time comes from the playing time, Size from the measured size,
// Status from its state. Only texts that cannot be made that way are kept as texts. Rows and
// records live in one place, so a row never meets another row's record.
struct ListRow {
    // The Status cell as one of the texts of ListRows.h, or a text of its own (Other).
    enum class State : std::uint8_t { Unconverted, Converting, Finish, Skipped, Stopped, Failed, UpToDate, Other };
    // The sign in the File Name cell of the row being played.
    enum class PlayMark : std::uint8_t { None, Playing, Paused };

    // What a row seldom has: its tooltip, and cell texts that are not made from its values.
    struct Extra {
        QString toolTip;
        QString time;   // when timeSet
        QString size;   // when sizeSet
        QString status; // when the state is Other
        QString outputNote; // what the planned output collides with
        bool timeSet = false;
        bool sizeSet = false;
        bool empty() const
        {
            return toolTip.isEmpty() && !timeSet && !sizeSet && status.isEmpty() && outputNote.isEmpty();
        }
    };

    QString path;                 // Full Path
    QString caption;              // File Name, when ownCaption
    QString addedFolder;          // the folder added (Add Path) whose scan found the file
    QString output;               // the planned output, below the output folder
    std::int64_t durationMs = -1; // exact playing time; -1 when only a Time text is known
    std::int64_t bytes = -1;      // the source's size when measured; -1 when not measured
    std::int64_t modifiedMs = 0;  // and its modification time
    std::int8_t progress = -1;    // percent while converting; -1 for none
    State state = State::Unconverted;
    PlayMark playMark = PlayMark::None;
    bool ownCaption = false;      // the File Name is not the path's last part
    bool titleCaption = false;    // the File Name is a title typed in the tag editor
    std::unique_ptr<Extra> extra;
    std::unique_ptr<TrackInfo> info; // none while the file has no tags
    std::unique_ptr<OtherTags> other; // none while the file has none of them
    std::unique_ptr<RowLoudness> loudness; // none until the row's file was analyzed
    std::unique_ptr<TrackRange> range; // a track of its file (an album image); none: all of it

    // A cell's text as the list shows it, and setting one: a text the row's values make is
    // not kept, any other is.
    QString cell(rows::Column column) const;
    void setCell(rows::Column column, const QString& text);
    // The File Name: the path's last part unless one of its own was set.
    QString captionText() const;
    void setCaption(const QString& caption);
    // The tag record; an empty one is not kept.
    void setInfo(const TrackInfo& tags);
    // The source's other tags for output names; empty ones are not kept.
    void setOtherTags(const OtherTags& tags);
    // The playing time in milliseconds: the exact one, else read from the Time text.
    std::int64_t playingMs() const;
    // The size in bytes: as measured (a track's share of its image), else read from the Size text.
    double sizeBytes() const;
};

// The file list itself: its rows in list order, which is also the order of conversion, and
// every read and change of rows and records. Adding, converting, playing and the tag editor
// work on it; the view only shows it. GUI thread only.
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
    bool valid(int row) const { return row >= 0 && row < count(); }

    // Appends rows at the end in one insertion; returns the index of the first.
    int append(std::vector<ListRow>&& rows);
    // Appends one row from its texts and returns its index. durationMs: the exact playing
    // time, when known.
    int append(const QString& caption, const QString& fullPath, const QString& time, const QString& size,
               const QString& status, std::int64_t durationMs = -1);
    void remove(int row);
    void clear();

    // A cell's text as the list shows it; empty for a row that does not exist.
    QString text(int row, rows::Column column) const;
    void setText(int row, rows::Column column, const QString& text);

    // The row's playing time in milliseconds: as measured, else read from its Time cell.
    std::int64_t durationMs(int row) const;
    // Sets the exact playing time; the Time cell shows it.
    void setDurationMs(int row, std::int64_t ms);
    // The source's size and modification time (ms since the epoch) as last measured; false
    // when the row has none. Setting them makes the Size cell show that size.
    bool sourceStamp(int row, std::int64_t* bytes, std::int64_t* modifiedMs) const;
    void setSourceStamp(int row, std::int64_t bytes, std::int64_t modifiedMs);
    // Progress in percent shown in the Status cell; -1 (any negative value) for none.
    int progress(int row) const;
    void setProgress(int row, int percent);
    // The tooltip of every cell of the row (why a conversion failed, what was shortened).
    QString toolTip(int row) const;
    void setToolTip(int row, const QString& text);
    // The folder the user added whose scan found the row's file; empty for a file added alone.
    QString addedFolder(int row) const;
    void setAddedFolder(int row, const QString& folder);
    // The File Name set to a title typed in the tag editor: the output is named by all of its
    // text (with the extension appended) instead of taking its last "." for an extension's.
    void setTitleCaption(int row, const QString& title);
    bool captionIsTitle(int row) const;
    // The row's tag record (an empty one for a row that does not exist).
    TrackInfo trackInfo(int row) const;
    void setTrackInfo(int row, const TrackInfo& info);
    // The source's tags beyond the record, as read when the row was added (none for a row
    // that does not exist).
    OtherTags otherTags(int row) const;
    // The row's loudness as last analyzed; none for a row never analyzed, or whose file
    // changed since (a new path or a new size or time of its source).
    std::optional<RowLoudness> loudness(int row) const;
    void setLoudness(int row, const RowLoudness& measure);
    void clearLoudness(int row);
    // The track of its file the row stands for; none for a row of a whole file.
    std::optional<TrackRange> trackRange(int row) const;
    void setTrackRange(int row, const TrackRange& range);

    // The planned outputs of every row, in list order: the Output cell's text, and a note of
    // what it collides with (marked, and the cell's tooltip) or an empty one. A plan made for
    // another count of rows is not taken. byPattern: the outputs are named by a name pattern,
    // whose result a track of an album image then shows as its File Name (it has no file name
    // of its own).
    struct PlannedCell {
        QString output;
        QString note;
    };
    void setPlannedOutputs(const std::vector<PlannedCell>& plan, bool byPattern = false);
    QString outputNote(int row) const;
    // Counts every change that can change the rows' output names: rows added, removed or
    // reordered, captions, paths and records. A plan made at another count is out of date.
    quint64 namingGeneration() const { return m_namingGeneration; }

    // The play or pause sign of the row being played. At most one row carries one: marking a
    // row takes it from any other; a row keeps it when the list is sorted.
    void setPlayMark(int row, ListRow::PlayMark mark);
    void clearPlayMark();
    ListRow::PlayMark playMark(int row) const;
    // The row that carries a sign; -1 for none.
    int playMarkRow() const;

signals:
    // The rows changed in a way that can change their output names.
    void namingChanged();

private:
    ListRow* rowAt(int row) { return valid(row) ? &m_rows[std::size_t(row)] : nullptr; }
    const ListRow* rowAt(int row) const { return valid(row) ? &m_rows[std::size_t(row)] : nullptr; }
    void changed(int row, int firstColumn, int lastColumn);
    // The File Name the list shows: a track's planned name under a name pattern, else the
    // row's caption.
    QString shownCaption(const ListRow& row) const;
    // Texts equal to the row before's share its copy (an album's rows come together).
    void shareTexts(ListRow& row, const ListRow* before);
    // A deque: appending never moves the rows already there (with a vector, every doubling
    // moved them all at once on the GUI thread: 0.1 s at 64,000 rows).
    std::deque<ListRow> m_rows;
    quint64 m_namingGeneration = 0;
    bool m_patternNames = false;
    void namingChangedNow();
};

} // namespace sondrel
