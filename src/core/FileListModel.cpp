#include "FileListModel.h"

#include "NaturalOrder.h"

#include <QLocale>

#include <algorithm>
#include <numeric>

namespace sondrel {

namespace {
const char* const Headers[5] = {"File Name", "Full Path", "Time", "Size", "Status"};
} // namespace

std::int64_t ListRow::playingMs() const
{
    if (durationMs >= 0)
        return durationMs;
    // h:mm:ss
    std::int64_t seconds = 0;
    for (const QString& part : cells[rows::Time].split(QLatin1Char(':')))
        seconds = seconds * 60 + part.toLongLong();
    return seconds * 1000;
}

double ListRow::sizeBytes() const
{
    if (bytes >= 0)
        return double(bytes);
    const QString& text = cells[rows::Size];
    const QString number = text.endsWith(QLatin1String("MB")) ? text.chopped(2) : text;
    bool ok = false;
    double mb = QLocale().toDouble(number, &ok);
    if (!ok)
        mb = QLocale::c().toDouble(number, &ok);
    return ok ? mb * 1024.0 * 1024.0 : 0.0;
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

int FileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 5;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !valid(index.row()) || index.column() < 0 || index.column() >= 5)
        return {};
    const ListRow& r = at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return r.cells[index.column()];
    case Qt::ToolTipRole:
        return r.toolTip.isEmpty() ? QVariant() : QVariant(r.toolTip);
    case rows::DurationRole:
        return index.column() == rows::Time && r.durationMs >= 0 ? QVariant(qint64(r.durationMs)) : QVariant();
    case rows::ProgressRole:
        return index.column() == rows::Status && r.progress >= 0 ? QVariant(r.progress) : QVariant();
    case rows::SourceBytesRole:
        return index.column() == rows::Size && r.bytes >= 0 ? QVariant(qint64(r.bytes)) : QVariant();
    case rows::SourceModifiedRole:
        return index.column() == rows::Size && r.bytes >= 0 ? QVariant(qint64(r.modifiedMs)) : QVariant();
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= 5)
        return {};
    return QString::fromLatin1(Headers[section]);
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void FileListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= 5 || m_rows.size() < 2)
        return;
    std::vector<int> byRow(m_rows.size());
    std::iota(byRow.begin(), byRow.end(), 0);
    const bool descending = order == Qt::DescendingOrder;
    if (column == rows::Time || column == rows::Size) {
        std::vector<double> key(m_rows.size());
        for (std::size_t i = 0; i < m_rows.size(); ++i)
            key[i] = column == rows::Time ? double(m_rows[i].playingMs()) : m_rows[i].sizeBytes();
        std::stable_sort(byRow.begin(), byRow.end(), [&](int a, int b) {
            return descending ? key[std::size_t(b)] < key[std::size_t(a)] : key[std::size_t(a)] < key[std::size_t(b)];
        });
    } else {
        std::stable_sort(byRow.begin(), byRow.end(), [&](int a, int b) {
            const int c = naturalCompare(m_rows[std::size_t(a)].cells[column], m_rows[std::size_t(b)].cells[column]);
            return descending ? c > 0 : c < 0;
        });
    }

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(m_rows.size());
    std::deque<ListRow> sorted;
    for (std::size_t i = 0; i < byRow.size(); ++i) {
        newRowOf[std::size_t(byRow[i])] = int(i);
        sorted.push_back(std::move(m_rows[std::size_t(byRow[i])]));
    }
    m_rows = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before)
        after << index(newRowOf[std::size_t(i.row())], i.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int FileListModel::append(std::vector<ListRow>&& rows)
{
    const int first = count();
    if (rows.empty())
        return first;
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
    return first;
}

void FileListModel::remove(int row)
{
    if (!valid(row))
        return;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void FileListModel::clear()
{
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    endResetModel();
}

void FileListModel::changed(int row, int firstColumn, int lastColumn)
{
    emit dataChanged(index(row, firstColumn), index(row, lastColumn));
}

void FileListModel::setCell(int row, int column, const QString& text)
{
    if (!valid(row) || column < 0 || column >= 5 || m_rows[std::size_t(row)].cells[column] == text)
        return;
    m_rows[std::size_t(row)].cells[column] = text;
    changed(row, column, column);
}

void FileListModel::setDurationMs(int row, std::int64_t ms)
{
    if (!valid(row))
        return;
    m_rows[std::size_t(row)].durationMs = ms;
    changed(row, rows::Time, rows::Time);
}

void FileListModel::setSourceStamp(int row, std::int64_t bytes, std::int64_t modifiedMs)
{
    if (!valid(row))
        return;
    m_rows[std::size_t(row)].bytes = bytes;
    m_rows[std::size_t(row)].modifiedMs = modifiedMs;
    changed(row, rows::Size, rows::Size);
}

void FileListModel::setProgress(int row, int percent)
{
    if (!valid(row))
        return;
    const int value = percent < 0 ? -1 : percent;
    if (m_rows[std::size_t(row)].progress == value)
        return;
    m_rows[std::size_t(row)].progress = value;
    changed(row, rows::Status, rows::Status);
}

void FileListModel::setToolTip(int row, const QString& text)
{
    if (!valid(row) || m_rows[std::size_t(row)].toolTip == text)
        return;
    m_rows[std::size_t(row)].toolTip = text;
    changed(row, 0, 4);
}

void FileListModel::setAddedFolder(int row, const QString& folder)
{
    if (valid(row))
        m_rows[std::size_t(row)].addedFolder = folder;
}

void FileListModel::setTitleCaption(int row, const QString& title)
{
    if (!valid(row))
        return;
    m_rows[std::size_t(row)].titleCaption = true;
    setCell(row, rows::FileName, title);
}

void FileListModel::setTrackInfo(int row, const TrackInfo& info)
{
    if (valid(row))
        m_rows[std::size_t(row)].info = info;
}

} // namespace sondrel
