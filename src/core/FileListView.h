#pragma once
#include <QTreeView>

namespace sondrel {

class FileListModel;

// The report view of the file list over its own model: whole rows selected, one at a time,
// not editable. A click on a column header sorts the rows themselves (see sortByColumnClick);
// a cell whose text does not fit shows it whole as its tooltip.
class FileListView : public QTreeView {
    Q_OBJECT
public:
    explicit FileListView(QWidget* parent = nullptr);

    FileListModel* listModel() const { return m_model; }

    // Sorts by column: ascending, or the other way round when the list is sorted by that
    // column already. The sort indicator shows the order until rows are added.
    void sortByColumnClick(int column);
    // Shows the indicator of the order the rows are in (after the header changed it for a
    // click that sorted nothing).
    void showSortState();
    // The tooltip of a cell: its whole text when it is cut, and the row's own tooltip.
    QString cellToolTip(const QModelIndex& index) const;

protected:
    bool viewportEvent(QEvent* event) override;

private:
    FileListModel* m_model;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace sondrel
