#pragma once
#include <QStringList>
#include <QTreeView>
#include <functional>

namespace sondrel {

class FileListModel;

// The report view of the file list's model: whole rows selected, one at a time,
// not editable. A click on a column header sorts the rows themselves (see sortByColumnClick);
// a cell whose text does not fit shows it whole as its tooltip. Files and folders dragged
// from a file manager can be dropped on it: it takes only local files, and only while its
// owner's guard lets them in, and hands their paths on in the dropped order.
class FileListView : public QTreeView {
    Q_OBJECT
public:
    explicit FileListView(FileListModel* model, QWidget* parent = nullptr);

    FileListModel* listModel() const { return m_model; }

    // The selected row's index, or -1.
    int selectedRow() const;
    // Selects the row (when it exists) and makes it the current one, scrolled into view.
    void selectRow(int row);

    // Sorts by column: ascending, or the other way round when the list is sorted by that
    // column already. The sort indicator shows the order until rows are added.
    void sortByColumnClick(int column);
    // Shows the indicator of the order the rows are in (after the header changed it for a
    // click that sorted nothing).
    void showSortState();
    // The tooltip of a cell: its whole text when it is cut, and the row's own tooltip.
    QString cellToolTip(const QModelIndex& index) const;

    // Whether a drop would be taken now; without a guard, drops are refused.
    void setDropGuard(std::function<bool()> guard) { m_dropGuard = std::move(guard); }

signals:
    // Local files and folders dropped on the list, in the dropped order.
    void pathsDropped(const QStringList& paths);

protected:
    bool viewportEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Takes the drag (as a copy: the source keeps its files) when it is welcome; false when not.
    bool acceptDrag(QDropEvent* event);

    FileListModel* m_model;
    std::function<bool()> m_dropGuard;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace sondrel
