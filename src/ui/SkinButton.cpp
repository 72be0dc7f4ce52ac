#include "SkinButton.h"

#include <QKeyEvent>

namespace sondrel {

SkinButton::SkinButton(const QString& name, const QString& caption, const QString& tip, QWidget* parent)
    : QAbstractButton(parent), m_name(name)
{
    setObjectName(QStringLiteral("key_") + QString(name).remove(QLatin1Char(' ')));
    setText(caption);
    setAccessibleName(caption);
    setAccessibleDescription(tip);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // The look of a pressed key is the skin's: it repaints when this one goes down or up.
    connect(this, &QAbstractButton::pressed, parentWidget(), qOverload<>(&QWidget::update));
    connect(this, &QAbstractButton::released, parentWidget(), qOverload<>(&QWidget::update));
}

void SkinButton::keyPressEvent(QKeyEvent* e)
{
    // Space is the button's own key; Enter presses a focused button too, as in dialogs.
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !e->isAutoRepeat()) {
        animateClick();
        return;
    }
    QAbstractButton::keyPressEvent(e);
}

void SkinButton::focusInEvent(QFocusEvent* e)
{
    QAbstractButton::focusInEvent(e);
    parentWidget()->update(geometry().adjusted(-2, -2, 2, 2));
}

void SkinButton::focusOutEvent(QFocusEvent* e)
{
    QAbstractButton::focusOutEvent(e);
    parentWidget()->update(geometry().adjusted(-2, -2, 2, 2));
}

} // namespace sondrel
