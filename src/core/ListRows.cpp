#include "ListRows.h"

#include "FileListModel.h"
#include "FileListView.h"

#include <QItemSelectionModel>

namespace sondrel::rows {

namespace {
FileListModel& model(const FileListView* lv) { return *lv->listModel(); }
} // namespace

int count(const FileListView* lv) { return model(lv).count(); }

int selected(const FileListView* lv)
{
    const QModelIndexList chosen = lv->selectionModel()->selectedRows();
    return chosen.isEmpty() ? -1 : chosen.first().row();
}

void select(FileListView* lv, int row)
{
    if (!model(lv).valid(row))
        return;
    const QModelIndex index = model(lv).index(row, 0);
    lv->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    lv->scrollTo(index);
}

QString text(const FileListView* lv, int row, Column column)
{
    return model(lv).valid(row) ? model(lv).at(row).cells[column] : QString();
}

void setText(FileListView* lv, int row, Column column, const QString& text)
{
    model(lv).setCell(row, column, text);
}

int append(FileListView* lv, const QString& caption, const QString& fullPath,
           const QString& time, const QString& size, const QString& status, std::int64_t durationMs)
{
    std::vector<ListRow> one(1);
    one[0].cells[FileName] = caption;
    one[0].cells[FullPath] = fullPath;
    one[0].cells[Time] = time;
    one[0].cells[Size] = size;
    one[0].cells[Status] = status;
    one[0].durationMs = durationMs;
    return model(lv).append(std::move(one));
}

std::int64_t durationMs(const FileListView* lv, int row)
{
    return model(lv).valid(row) ? model(lv).at(row).playingMs() : 0;
}

void setDurationMs(FileListView* lv, int row, std::int64_t ms) { model(lv).setDurationMs(row, ms); }

void setSourceStamp(FileListView* lv, int row, std::int64_t bytes, std::int64_t modifiedMs)
{
    model(lv).setSourceStamp(row, bytes, modifiedMs);
}

bool sourceStamp(const FileListView* lv, int row, std::int64_t* bytes, std::int64_t* modifiedMs)
{
    if (!model(lv).valid(row) || model(lv).at(row).bytes < 0)
        return false;
    *bytes = model(lv).at(row).bytes;
    *modifiedMs = model(lv).at(row).modifiedMs;
    return true;
}

void setAddedFolder(FileListView* lv, int row, const QString& folder) { model(lv).setAddedFolder(row, folder); }

QString addedFolder(const FileListView* lv, int row)
{
    return model(lv).valid(row) ? model(lv).at(row).addedFolder : QString();
}

void setTitleCaption(FileListView* lv, int row, const QString& title) { model(lv).setTitleCaption(row, title); }

bool captionIsTitle(const FileListView* lv, int row)
{
    return model(lv).valid(row) && model(lv).at(row).titleCaption;
}

void setProgress(FileListView* lv, int row, int percent) { model(lv).setProgress(row, percent); }

int progress(const FileListView* lv, int row)
{
    return model(lv).valid(row) ? model(lv).at(row).progress : -1;
}

void setToolTip(FileListView* lv, int row, const QString& text) { model(lv).setToolTip(row, text); }

QString toolTip(const FileListView* lv, int row)
{
    return model(lv).valid(row) ? model(lv).at(row).toolTip : QString();
}

TrackInfo trackInfo(const FileListView* lv, int row)
{
    return model(lv).valid(row) ? model(lv).at(row).info : TrackInfo{};
}

void setTrackInfo(FileListView* lv, int row, const TrackInfo& info) { model(lv).setTrackInfo(row, info); }

void remove(FileListView* lv, int row) { model(lv).remove(row); }

void clear(FileListView* lv) { model(lv).clear(); }

} // namespace sondrel::rows
