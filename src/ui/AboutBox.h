#pragma once
#include "Dialogs.h"

#include <QPixmap>

class QLabel;
class QPushButton;

namespace sondrel {

class Launcher;
class Prompts;

// The banner at the top of the about box: the program's name over a waveform, drawn for the
// given device pixel ratio.
QPixmap aboutBanner(qreal devicePixelRatio = 1.0);

// The about box: banner, version, what the program does (the formats it writes and reads),
// and buttons for the web site and for mail to support.
class Tfm_about : public ModalDialog {
    Q_OBJECT
public:
    Tfm_about(Launcher& launcher, Prompts& prompts, QWidget* parent = nullptr);

    static constexpr int ClientWidth = 314;
    static constexpr int ClientHeight = 208;
    static constexpr int BannerHeight = 90;

    QLabel* Image1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* btn_contact = nullptr;
    QPushButton* btn_close = nullptr;

    // Handlers.
    void Button1Click();
    void btn_contactClick();
    void btn_closeClick();

private:
    Launcher& m_launcher;
    Prompts& m_prompts;
};

} // namespace sondrel
