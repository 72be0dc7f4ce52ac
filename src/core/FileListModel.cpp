#include "FileListModel.h"

#include "NaturalOrder.h"
#include "RowTexts.h"

#include <QApplication>
#include <QLocale>
#include <QStyle>

#include <algorithm>
#include <numeric>

namespace sondrel {

namespace {
const char* const Headers[rows::ColumnCount] = {"File Name", "Full Path", "Time", "Size", "Status", "Output", "Loudness"};

// The Status texts in the order of ListRow::State.
const QString* const StateTexts[] = {&rows::Unconverted, &rows::Converting, &rows::Finish,
                                     &rows::Skipped, &rows::Stopped, &rows::Failed, &rows::UpToDate};

ListRow::State stateOf(const QString& text)
{
    for (std::size_t i = 0; i < std::size(StateTexts); ++i) {
        if (text == *StateTexts[i])
            return ListRow::State(i);
    }
    return ListRow::State::Other;
}

QStringView lastPart(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QStringView(path) : QStringView(path).mid(slash + 1);
}

ListRow::Extra& extraOf(ListRow& row)
{
    if (!row.extra)
        row.extra = std::make_unique<ListRow::Extra>();
    return *row.extra;
}

void dropEmptyExtra(ListRow& row)
{
    if (row.extra && row.extra->empty())
        row.extra.reset();
}

// Equal texts of neighbouring rows share one copy.
void share(QString& text, const QString& before)
{
    if (!text.isEmpty() && text == before)
        text = before;
}
} // namespace

QString ListRow::captionText() const
{
    return ownCaption ? caption : lastPart(path).toString();
}

void ListRow::setCaption(const QString& text)
{
    ownCaption = text != lastPart(path);
    caption = ownCaption ? text : QString();
}

void ListRow::setInfo(const TrackInfo& tags)
{
    if (tags == TrackInfo{})
        info.reset();
    else if (info)
        *info = tags;
    else
        info = std::make_unique<TrackInfo>(tags);
}

void ListRow::setOtherTags(const OtherTags& tags)
{
    other = tags.empty() ? nullptr : std::make_unique<OtherTags>(tags);
}

QString ListRow::cell(rows::Column column) const
{
    switch (column) {
    case rows::FileName:
        return captionText();
    case rows::FullPath:
        return path;
    case rows::Time:
        if (extra && extra->timeSet)
            return extra->time;
        return durationMs >= 0 ? timeText(durationMs) : QString();
    case rows::Size:
        if (extra && extra->sizeSet)
            return extra->size;
        if (range && range->bytes >= 0)
            return sizeText(range->bytes);
        return bytes >= 0 ? sizeText(bytes) : QString();
    case rows::Status:
        if (state == State::Other)
            return extra ? extra->status : QString();
        return *StateTexts[std::size_t(state)];
    case rows::Output:
        return output;
    case rows::Loudness:
        return loudness ? loudnessText(*loudness) : QString();
    }
    return {};
}

void ListRow::setCell(rows::Column column, const QString& text)
{
    switch (column) {
    case rows::FileName:
        setCaption(text);
        break;
    case rows::FullPath: {
        const QString name = captionText();
        path = text;
        setCaption(name);
        break;
    }
    case rows::Time: {
        const bool made = durationMs >= 0 ? text == timeText(durationMs) : text.isEmpty();
        if (made) {
            if (extra) {
                extra->timeSet = false;
                extra->time.clear();
            }
        } else {
            extraOf(*this).time = text;
            extra->timeSet = true;
        }
        break;
    }
    case rows::Size: {
        const std::int64_t shown = range && range->bytes >= 0 ? range->bytes : bytes;
        const bool made = shown >= 0 ? text == sizeText(shown) : text.isEmpty();
        if (made) {
            if (extra) {
                extra->sizeSet = false;
                extra->size.clear();
            }
        } else {
            extraOf(*this).size = text;
            extra->sizeSet = true;
        }
        break;
    }
    case rows::Status:
        state = stateOf(text);
        if (state == State::Other)
            extraOf(*this).status = text;
        else if (extra)
            extra->status.clear();
        break;
    case rows::Output:
        output = text;
        break;
    case rows::Loudness:
        break; // made from the measured values only
    }
    dropEmptyExtra(*this);
}

std::int64_t ListRow::playingMs() const
{
    if (durationMs >= 0)
        return durationMs;
    // h:mm:ss
    std::int64_t seconds = 0;
    for (const QString& part : cell(rows::Time).split(QLatin1Char(':')))
        seconds = seconds * 60 + part.toLongLong();
    return seconds * 1000;
}

double ListRow::sizeBytes() const
{
    if (range && range->bytes >= 0 && !(extra && extra->sizeSet))
        return double(range->bytes);
    if (bytes >= 0)
        return double(bytes);
    const QString text = cell(rows::Size);
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
    return parent.isValid() ? 0 : rows::ColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !valid(index.row()) || index.column() < 0 || index.column() >= rows::ColumnCount)
        return {};
    const ListRow& r = m_rows[std::size_t(index.row())];
    const bool marked = index.column() == rows::Output && r.extra && !r.extra->outputNote.isEmpty();
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == rows::FileName ? shownCaption(r) : r.cell(rows::Column(index.column()));
    case Qt::DecorationRole:
        if (marked)
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        if (index.column() != rows::FileName || r.playMark == ListRow::PlayMark::None)
            return {};
        return QApplication::style()->standardIcon(r.playMark == ListRow::PlayMark::Playing ? QStyle::SP_MediaPlay
                                                                                          : QStyle::SP_MediaPause);
    case Qt::ToolTipRole:
        if (index.column() == rows::Loudness && r.loudness)
            return loudnessToolTip(*r.loudness);
        if (marked)
            return r.extra->outputNote;
        return r.extra && !r.extra->toolTip.isEmpty() ? QVariant(r.extra->toolTip) : QVariant();
    case rows::DurationRole:
        return index.column() == rows::Time && r.durationMs >= 0 ? QVariant(qint64(r.durationMs)) : QVariant();
    case rows::ProgressRole:
        return index.column() == rows::Status && r.progress >= 0 ? QVariant(int(r.progress)) : QVariant();
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
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= rows::ColumnCount)
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
    if (column < 0 || column >= rows::ColumnCount || m_rows.size() < 2)
        return;
    std::vector<int> byRow(m_rows.size());
    std::iota(byRow.begin(), byRow.end(), 0);
    const bool descending = order == Qt::DescendingOrder;
    if (column == rows::Time || column == rows::Size || column == rows::Loudness) {
        // Loudness by value: rows never analyzed first, then silent ones, then the quietest.
        const auto loudnessKey = [](const ListRow& r) {
            return !r.loudness ? -2e9 : r.loudness->lufs ? *r.loudness->lufs : -1e9;
        };
        std::vector<double> key(m_rows.size());
        for (std::size_t i = 0; i < m_rows.size(); ++i)
            key[i] = column == rows::Time ? double(m_rows[i].playingMs())
                : column == rows::Size    ? m_rows[i].sizeBytes()
                                          : loudnessKey(m_rows[i]);
        std::stable_sort(byRow.begin(), byRow.end(), [&](int a, int b) {
            return descending ? key[std::size_t(b)] < key[std::size_t(a)] : key[std::size_t(a)] < key[std::size_t(b)];
        });
    } else {
        std::vector<QString> key(m_rows.size());
        for (std::size_t i = 0; i < m_rows.size(); ++i)
            key[i] = column == rows::FileName ? shownCaption(m_rows[i]) : m_rows[i].cell(rows::Column(column));
        std::stable_sort(byRow.begin(), byRow.end(), [&](int a, int b) {
            const int c = naturalCompare(key[std::size_t(a)], key[std::size_t(b)]);
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
    namingChangedNow();
}

void FileListModel::shareTexts(ListRow& row, const ListRow* before)
{
    if (!before)
        return;
    share(row.addedFolder, before->addedFolder);
    if (row.info && before->info) {
        share(row.info->title, before->info->title);
        share(row.info->artist, before->info->artist);
        share(row.info->album, before->info->album);
        share(row.info->genre, before->info->genre);
        share(row.info->comment, before->info->comment);
    }
}

int FileListModel::append(std::vector<ListRow>&& rows)
{
    const int first = count();
    if (rows.empty())
        return first;
    const ListRow* before = m_rows.empty() ? nullptr : &m_rows.back();
    for (ListRow& row : rows) {
        shareTexts(row, before);
        before = &row;
    }
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
    namingChangedNow();
    return first;
}

int FileListModel::append(const QString& caption, const QString& fullPath, const QString& time,
                          const QString& size, const QString& status, std::int64_t durationMs)
{
    std::vector<ListRow> one(1);
    ListRow& row = one[0];
    row.path = fullPath;
    row.durationMs = durationMs;
    row.setCell(rows::FileName, caption);
    row.setCell(rows::Time, time);
    row.setCell(rows::Size, size);
    row.setCell(rows::Status, status);
    return append(std::move(one));
}

void FileListModel::remove(int row)
{
    if (!valid(row))
        return;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    namingChangedNow();
}

void FileListModel::clear()
{
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    endResetModel();
    namingChangedNow();
}

void FileListModel::changed(int row, int firstColumn, int lastColumn)
{
    emit dataChanged(index(row, firstColumn), index(row, lastColumn));
}

QString FileListModel::text(int row, rows::Column column) const
{
    const ListRow* r = rowAt(row);
    return r ? r->cell(column) : QString();
}

void FileListModel::setText(int row, rows::Column column, const QString& text)
{
    ListRow* r = rowAt(row);
    if (!r || column < 0 || column >= rows::ColumnCount || r->cell(column) == text)
        return;
    r->setCell(column, text);
    changed(row, column, column);
    if (column == rows::FullPath)
        clearLoudness(row); // another file: the measure was not of it
    if (column == rows::FileName || column == rows::FullPath)
        namingChangedNow();
}

std::int64_t FileListModel::durationMs(int row) const
{
    const ListRow* r = rowAt(row);
    return r ? r->playingMs() : 0;
}

void FileListModel::setDurationMs(int row, std::int64_t ms)
{
    ListRow* r = rowAt(row);
    if (!r)
        return;
    r->durationMs = ms;
    if (r->extra) {
        r->extra->timeSet = false;
        r->extra->time.clear();
        dropEmptyExtra(*r);
    }
    changed(row, rows::Time, rows::Time);
}

bool FileListModel::sourceStamp(int row, std::int64_t* bytes, std::int64_t* modifiedMs) const
{
    const ListRow* r = rowAt(row);
    if (!r || r->bytes < 0)
        return false;
    *bytes = r->bytes;
    *modifiedMs = r->modifiedMs;
    return true;
}

void FileListModel::setSourceStamp(int row, std::int64_t bytes, std::int64_t modifiedMs)
{
    ListRow* r = rowAt(row);
    if (!r)
        return;
    // The file changed since it was measured: so may its loudness have.
    if (r->bytes >= 0 && (r->bytes != bytes || r->modifiedMs != modifiedMs))
        clearLoudness(row);
    r->bytes = bytes;
    r->modifiedMs = modifiedMs;
    if (r->extra) {
        r->extra->sizeSet = false;
        r->extra->size.clear();
        dropEmptyExtra(*r);
    }
    changed(row, rows::Size, rows::Size);
}

int FileListModel::progress(int row) const
{
    const ListRow* r = rowAt(row);
    return r ? r->progress : -1;
}

void FileListModel::setProgress(int row, int percent)
{
    ListRow* r = rowAt(row);
    if (!r)
        return;
    const auto value = std::int8_t(std::clamp(percent, -1, 100));
    if (r->progress == value)
        return;
    r->progress = value;
    changed(row, rows::Status, rows::Status);
}

QString FileListModel::toolTip(int row) const
{
    const ListRow* r = rowAt(row);
    return r && r->extra ? r->extra->toolTip : QString();
}

void FileListModel::setToolTip(int row, const QString& text)
{
    ListRow* r = rowAt(row);
    if (!r || toolTip(row) == text)
        return;
    extraOf(*r).toolTip = text;
    dropEmptyExtra(*r);
    changed(row, 0, rows::ColumnCount - 1);
}

std::optional<TrackRange> FileListModel::trackRange(int row) const
{
    const ListRow* r = rowAt(row);
    if (!r || !r->range)
        return std::nullopt;
    return *r->range;
}

void FileListModel::setTrackRange(int row, const TrackRange& range)
{
    ListRow* r = rowAt(row);
    if (!r)
        return;
    r->range = std::make_unique<TrackRange>(range);
    clearLoudness(row);
    changed(row, rows::Size, rows::Size);
    namingChangedNow();
}

std::optional<RowLoudness> FileListModel::loudness(int row) const
{
    const ListRow* r = rowAt(row);
    if (!r || !r->loudness)
        return std::nullopt;
    return *r->loudness;
}

void FileListModel::setLoudness(int row, const RowLoudness& measure)
{
    ListRow* r = rowAt(row);
    if (!r || (r->loudness && *r->loudness == measure))
        return;
    r->loudness = std::make_unique<RowLoudness>(measure);
    changed(row, rows::Loudness, rows::Loudness);
}

void FileListModel::clearLoudness(int row)
{
    ListRow* r = rowAt(row);
    if (!r || !r->loudness)
        return;
    r->loudness.reset();
    changed(row, rows::Loudness, rows::Loudness);
}

QString FileListModel::addedFolder(int row) const
{
    const ListRow* r = rowAt(row);
    return r ? r->addedFolder : QString();
}

void FileListModel::setAddedFolder(int row, const QString& folder)
{
    if (ListRow* r = rowAt(row))
        r->addedFolder = folder;
}

void FileListModel::setTitleCaption(int row, const QString& title)
{
    ListRow* r = rowAt(row);
    if (!r)
        return;
    r->titleCaption = true;
    setText(row, rows::FileName, title);
    namingChangedNow();
}

bool FileListModel::captionIsTitle(int row) const
{
    const ListRow* r = rowAt(row);
    return r && r->titleCaption;
}

TrackInfo FileListModel::trackInfo(int row) const
{
    const ListRow* r = rowAt(row);
    return r && r->info ? *r->info : TrackInfo{};
}

void FileListModel::setTrackInfo(int row, const TrackInfo& info)
{
    if (ListRow* r = rowAt(row)) {
        r->setInfo(info);
        namingChangedNow();
    }
}

OtherTags FileListModel::otherTags(int row) const
{
    const ListRow* r = rowAt(row);
    return r && r->other ? *r->other : OtherTags{};
}

void FileListModel::namingChangedNow()
{
    ++m_namingGeneration;
    emit namingChanged();
}

QString FileListModel::shownCaption(const ListRow& r) const
{
    if (!m_patternNames || !r.range || r.output.isEmpty())
        return r.captionText();
    // The pattern's last part without the extension the output format appends.
    const QStringView name = lastPart(r.output);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return (dot > 0 ? name.left(dot) : name).toString();
}

void FileListModel::setPlannedOutputs(const std::vector<PlannedCell>& plan, bool byPattern)
{
    if (plan.size() != m_rows.size() || m_rows.empty())
        return;
    const bool captionsFollow = byPattern || m_patternNames;
    m_patternNames = byPattern;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        ListRow& r = m_rows[i];
        r.output = plan[i].output;
        if (!plan[i].note.isEmpty() || r.extra) {
            extraOf(r).outputNote = plan[i].note;
            dropEmptyExtra(r);
        }
    }
    emit dataChanged(index(0, rows::Output), index(count() - 1, rows::Output));
    if (captionsFollow)
        emit dataChanged(index(0, rows::FileName), index(count() - 1, rows::FileName));
}

QString FileListModel::outputNote(int row) const
{
    const ListRow* r = rowAt(row);
    return r && r->extra ? r->extra->outputNote : QString();
}

void FileListModel::setPlayMark(int row, ListRow::PlayMark mark)
{
    if (mark != ListRow::PlayMark::None)
        for (int i = 0; i < count(); ++i)
            if (i != row && m_rows[std::size_t(i)].playMark != ListRow::PlayMark::None) {
                m_rows[std::size_t(i)].playMark = ListRow::PlayMark::None;
                changed(i, rows::FileName, rows::FileName);
            }
    ListRow* r = rowAt(row);
    if (!r || r->playMark == mark)
        return;
    r->playMark = mark;
    changed(row, rows::FileName, rows::FileName);
}

void FileListModel::clearPlayMark()
{
    setPlayMark(playMarkRow(), ListRow::PlayMark::None);
}

int FileListModel::playMarkRow() const
{
    for (int i = 0; i < count(); ++i)
        if (m_rows[std::size_t(i)].playMark != ListRow::PlayMark::None)
            return i;
    return -1;
}

ListRow::PlayMark FileListModel::playMark(int row) const
{
    const ListRow* r = rowAt(row);
    return r ? r->playMark : ListRow::PlayMark::None;
}

} // namespace sondrel
