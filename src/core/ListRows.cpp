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
           const QString& time, const QString& size, const QString& status)
{
    auto* item = new QTreeWidgetItem({caption, fullPath, time, size, status});
    lv->addTopLevelItem(item);
    return lv->topLevelItemCount() - 1;
}

void remove(QTreeWidget* lv, int row)
{
    delete lv->takeTopLevelItem(row);
}

void clear(QTreeWidget* lv) { lv->clear(); }

} // namespace sondrel::rows
