#include "FileListView.h"

#include "FileListModel.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QToolTip>

namespace sondrel {

FileListView::FileListView(QWidget* parent) : QTreeView(parent), m_model(new FileListModel(this))
{
    setModel(m_model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(-1, Qt::AscendingOrder);
    // Rows added at the end are not in the sorted order any more.
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] {
        m_sortColumn = -1;
        showSortState();
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        m_sortColumn = -1;
        showSortState();
    });
}

void FileListView::sortByColumnClick(int column)
{
    const Qt::SortOrder order = column == m_sortColumn && m_sortOrder == Qt::AscendingOrder
        ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_model->sort(column, order);
    m_sortColumn = column;
    m_sortOrder = order;
    showSortState();
    if (currentIndex().isValid())
        scrollTo(currentIndex());
}

void FileListView::showSortState()
{
    header()->setSortIndicator(m_sortColumn, m_sortOrder);
}

QString FileListView::cellToolTip(const QModelIndex& index) const
{
    if (!index.isValid())
        return {};
    const QString own = index.data(Qt::ToolTipRole).toString();
    const QString text = index.data(Qt::DisplayRole).toString();
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    const QAbstractItemDelegate* delegate = itemDelegateForIndex(index);
    const bool cut = !text.isEmpty() && delegate && delegate->sizeHint(option, index).width() > option.rect.width();
    if (!cut)
        return own;
    return own.isEmpty() ? text : text + QLatin1Char('\n') + own;
}

bool FileListView::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QTreeView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    const QString tip = cellToolTip(index);
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), tip, viewport(), visualRect(index));
    return true;
}

} // namespace sondrel
