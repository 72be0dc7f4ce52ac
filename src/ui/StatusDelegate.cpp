#include "StatusDelegate.h"

#include "ListRows.h"

#include <QPainter>

namespace sondrel {

void StatusDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QVariant progress = index.data(rows::ProgressRole);
    if (!progress.isValid()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The cell's usual background (selection included), then the bar and its text on top.
    QStyleOptionViewItem base = option;
    initStyleOption(&base, index);
    base.text.clear();
    QStyledItemDelegate::paint(painter, base, QModelIndex());
    const int percent = std::clamp(progress.toInt(), 0, 100);
    const QRect bar = option.rect.adjusted(2, 3, -3, -3);
    painter->save();
    painter->setPen(QColor(160, 176, 200));
    painter->setBrush(QColor(237, 243, 248));
    painter->drawRect(bar);
    QRect filled = bar.adjusted(1, 1, 0, 0);
    filled.setWidth(filled.width() * percent / 100);
    painter->fillRect(filled, QColor(120, 160, 220));
    painter->setPen(Qt::black);
    painter->drawText(bar, Qt::AlignCenter, index.data(Qt::DisplayRole).toString() + QStringLiteral(" %1%").arg(percent));
    painter->restore();
}

} // namespace sondrel
