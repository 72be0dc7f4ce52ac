#pragma once
#include <QStyledItemDelegate>

namespace sondrel {

// Draws the Status cell of a row whose file is being converted as a bar with its percentage
// ("Converting 42%"); every other cell as usual.
class StatusDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace sondrel
