#pragma once
#include <QAbstractButton>

namespace sondrel {

// The keyboard's and the screen reader's side of one drawn element of the skin: a button
// without looks of its own over the element, so that Tab reaches it, Space or Enter presses
// it, and assistive tools read its caption and tip. The mouse goes through it to the skin,
// which draws the element, its pressed look and the focus mark.
class SkinButton : public QAbstractButton {
    Q_OBJECT
public:
    SkinButton(const QString& name, const QString& caption, const QString& tip, QWidget* parent);
    const QString& elementName() const { return m_name; }

protected:
    void paintEvent(QPaintEvent*) override {}
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    QString m_name;
};

} // namespace sondrel
