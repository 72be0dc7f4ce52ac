#pragma once
#include <QDialog>

namespace sondrel {

// Places w over the main window: left = main left + (main width - w width) / 2, top likewise,
// outer sizes, the halving truncated toward zero.
void centreOver(QWidget* w, const QWidget* main);

// The font of every window of the program.
QFont formFont();

// Base of the program's dialogs: fixed size, system-menu close box only, and no meaning of
// its own for Esc. No button is the default one: Enter presses the button that has the
// focus, and does nothing elsewhere. Dialogs create their buttons without the default and
// auto-default roles.
class ModalDialog : public QDialog {
    Q_OBJECT
public:
    explicit ModalDialog(QWidget* parent = nullptr);
    // Fixes the client area.
    void setClientSize(int width, int height);

protected:
    void keyPressEvent(QKeyEvent* e) override;
};

} // namespace sondrel
