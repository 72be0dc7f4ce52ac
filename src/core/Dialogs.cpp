#include "Dialogs.h"

#include <QKeyEvent>
#include <QPushButton>

namespace sondrel {

void centreOver(QWidget* w, const QWidget* main)
{
    const QRect m = main->frameGeometry();
    const QRect d = w->frameGeometry();
    w->move(m.left() + (m.width() - d.width()) / 2, m.top() + (m.height() - d.height()) / 2);
}

QFont formFont()
{
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(8);
    return f;
}

ModalDialog::ModalDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setFont(formFont());
    setModal(true);
}

void ModalDialog::setClientSize(int width, int height)
{
    setFixedSize(width, height);
}

void ModalDialog::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        e->accept();
        return;
    }
    // Enter means nothing to the dialog itself; on a focused button it presses that button.
    // (A button without the default roles leaves the key to its dialog.)
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
        && (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (auto* b = qobject_cast<QPushButton*>(focusWidget()); b && b->isEnabled())
            b->click();
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

} // namespace sondrel
