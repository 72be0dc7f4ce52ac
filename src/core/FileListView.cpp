#include "FileListView.h"

#include "FileListModel.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QToolTip>
#include <QUrl>

namespace sondrel {

FileListView::FileListView(FileListModel* model, QWidget* parent) : QTreeView(parent), m_model(model)
{
    setModel(m_model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAllColumnsShowFocus(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
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

int FileListView::selectedRow() const
{
    const QModelIndexList chosen = selectionModel()->selectedRows();
    return chosen.isEmpty() ? -1 : chosen.first().row();
}

void FileListView::selectRow(int row)
{
    if (!m_model->valid(row))
        return;
    const QModelIndex index = m_model->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
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

namespace {
// The dragged local files, in order; empty when anything dragged is not a local file (a web
// address, text), so that nothing of a drop is left out without a word.
QStringList localPaths(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return {};
    QStringList paths;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty())
            return {};
        paths << url.toLocalFile();
    }
    return paths;
}
} // namespace

bool FileListView::acceptDrag(QDropEvent* event)
{
    if (localPaths(event->mimeData()).isEmpty() || !m_dropGuard || !m_dropGuard()) {
        event->ignore();
        return false;
    }
    // Adding reads the files and leaves them where they are: a move offered by the file
    // manager is taken as a copy, so that it never deletes its files after the drop.
    const Qt::DropAction proposed = event->proposedAction();
    if (proposed == Qt::CopyAction || proposed == Qt::LinkAction) {
        event->acceptProposedAction();
    } else if (event->possibleActions() & Qt::CopyAction) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else if (event->possibleActions() & Qt::LinkAction) {
        event->setDropAction(Qt::LinkAction);
        event->accept();
    } else {
        event->ignore();
        return false;
    }
    return true;
}

void FileListView::dragEnterEvent(QDragEnterEvent* event) { acceptDrag(event); }

void FileListView::dragMoveEvent(QDragMoveEvent* event) { acceptDrag(event); }

void FileListView::dropEvent(QDropEvent* event)
{
    if (!acceptDrag(event))
        return;
    emit pathsDropped(localPaths(event->mimeData()));
}

} // namespace sondrel
