#include "ListRows.h"

#include <QTreeWidget>

namespace sondrel::rows {

int count(const QTreeWidget* lv) { return lv->topLevelItemCount(); }

int selected(const QTreeWidget* lv)
{
    const auto items = lv->selectedItems();
    return items.isEmpty() ? -1 : lv->indexOfTopLevelItem(items.first());
}

void select(QTreeWidget* lv, int row)
{
    if (QTreeWidgetItem* item = lv->topLevelItem(row)) {
        lv->setCurrentItem(item);
        item->setSelected(true);
        lv->scrollToItem(item);
    }
}

QString text(const QTreeWidget* lv, int row, Column column)
{
    const QTreeWidgetItem* item = lv->topLevelItem(row);
    return item ? item->text(column) : QString();
}

void setText(QTreeWidget* lv, int row, Column column, const QString& text)
{
    if (QTreeWidgetItem* item = lv->topLevelItem(row))
        item->setText(column, text);
}

int append(QTreeWidget* lv, const QString& caption, const QString& fullPath,
           const QString& time, const QString& size, const QString& status, std::int64_t durationMs)
{
    auto* item = new QTreeWidgetItem({caption, fullPath, time, size, status});
    if (durationMs >= 0)
        item->setData(Time, DurationRole, qint64(durationMs));
    lv->addTopLevelItem(item);
    return lv->topLevelItemCount() - 1;
}

std::int64_t durationMs(const QTreeWidget* lv, int row)
{
    const QTreeWidgetItem* item = lv->topLevelItem(row);
    if (!item)
        return 0;
    const QVariant exact = item->data(Time, DurationRole);
    if (exact.isValid())
        return exact.toLongLong();
    // h:mm:ss
    std::int64_t seconds = 0;
    for (const QString& part : item->text(Time).split(QLatin1Char(':')))
        seconds = seconds * 60 + part.toLongLong();
    return seconds * 1000;
}

void setDurationMs(QTreeWidget* lv, int row, std::int64_t ms)
{
    if (QTreeWidgetItem* item = lv->topLevelItem(row))
        item->setData(Time, DurationRole, qint64(ms));
}

void setSourceStamp(QTreeWidget* lv, int row, std::int64_t bytes, std::int64_t modifiedMs)
{
    if (QTreeWidgetItem* item = lv->topLevelItem(row)) {
        item->setData(Size, SourceBytesRole, qint64(bytes));
        item->setData(Size, SourceModifiedRole, qint64(modifiedMs));
    }
}

bool sourceStamp(const QTreeWidget* lv, int row, std::int64_t* bytes, std::int64_t* modifiedMs)
{
    const QTreeWidgetItem* item = lv->topLevelItem(row);
    if (!item || !item->data(Size, SourceBytesRole).isValid())
        return false;
    *bytes = item->data(Size, SourceBytesRole).toLongLong();
    *modifiedMs = item->data(Size, SourceModifiedRole).toLongLong();
    return true;
}

void setAddedFolder(QTreeWidget* lv, int row, const QString& folder)
{
    if (QTreeWidgetItem* item = lv->topLevelItem(row))
        item->setData(FileName, AddedFolderRole, folder.isEmpty() ? QVariant() : QVariant(folder));
}

QString addedFolder(const QTreeWidget* lv, int row)
{
    const QTreeWidgetItem* item = lv->topLevelItem(row);
    return item ? item->data(FileName, AddedFolderRole).toString() : QString();
}

void setProgress(QTreeWidget* lv, int row, int percent)
{
    if (QTreeWidgetItem* item = lv->topLevelItem(row)) {
        const QVariant value = percent < 0 ? QVariant() : QVariant(percent);
        if (item->data(Status, ProgressRole) != value)
            item->setData(Status, ProgressRole, value);
    }
}

int progress(const QTreeWidget* lv, int row)
{
    const QTreeWidgetItem* item = lv->topLevelItem(row);
    const QVariant value = item ? item->data(Status, ProgressRole) : QVariant();
    return value.isValid() ? value.toInt() : -1;
}

void setToolTip(QTreeWidget* lv, int row, const QString& text)
{
    if (QTreeWidgetItem* item = lv->topLevelItem(row)) {
        for (int c = 0; c < item->columnCount(); ++c)
            item->setToolTip(c, text);
    }
}

QString toolTip(const QTreeWidget* lv, int row)
{
    const QTreeWidgetItem* item = lv->topLevelItem(row);
    return item ? item->toolTip(FileName) : QString();
}

void remove(QTreeWidget* lv, int row)
{
    delete lv->takeTopLevelItem(row);
}

void clear(QTreeWidget* lv) { lv->clear(); }

} // namespace sondrel::rows
