#include "AboutBox.h"

#include "ExceptionHook.h"
#include "Launcher.h"
#include "MainWindow.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QUrl>
#include <algorithm>
#include <cmath>

namespace sondrel {

namespace {
const QColor VersionBlue(57, 98, 177);
const QColor Navy(24, 46, 92);
constexpr int ButtonsTop = 170;
constexpr const char* FormatsText =
    "Converts to MP3, WAV, WMA, OGG, FLAC, Opus and M4A (AAC). Reads these and also Ogg FLAC, "
    "ALAC, AAC (ADTS), AIFF, WavPack, Monkey's Audio, Matroska/WebM audio, MP2 and AC-3.";

// Bar heights of the waveform motif: a phrase that swells and fades, with a beat in it.
double waveLevel(int bar, int bars)
{
    const double t = (bar + 0.5) / bars;
    const double envelope = std::pow(std::sin(M_PI * t), 0.8);
    const double beat = 0.55 + 0.45 * std::fabs(std::sin(bar * 0.55) * std::cos(bar * 0.23 + 0.4));
    const double flutter = 0.85 + 0.15 * std::sin(bar * 1.7);
    return envelope * beat * flutter;
}
} // namespace

QPixmap aboutBanner(qreal dpr)
{
    const QSize size(Tfm_about::ClientWidth, Tfm_about::BannerHeight);
    QPixmap pm(size * dpr);
    pm.setDevicePixelRatio(dpr);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);

    // A light sky from the top left to the lower right, so the blue version text stays legible.
    QLinearGradient sky(0, 0, size.width(), size.height());
    sky.setColorAt(0.0, QColor(255, 255, 255));
    sky.setColorAt(0.55, QColor(236, 243, 252));
    sky.setColorAt(1.0, QColor(207, 222, 244));
    p.fillRect(QRect(QPoint(0, 0), size), sky);

    // The name, with a faint highlight below it, and what the program is.
    QFont title(formFont().family());
    title.setPixelSize(32);
    title.setBold(true);
    title.setLetterSpacing(QFont::PercentageSpacing, 96);
    const QString name = QStringLiteral("Sondrel");
    const QPoint nameAt(18, 48);
    const int nameRight = nameAt.x() + QFontMetrics(title).horizontalAdvance(name);

    QFont sub(formFont().family());
    sub.setPixelSize(11);
    sub.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);

    // The waveform: mirrored bars around a zero line, right of the name.
    const int waveLeft = std::max(150, nameRight + 16), waveRight = 302;
    const int centre = 36, maxHalf = 24, step = 4, barWidth = 3;
    const int bars = (waveRight - waveLeft) / step;
    QLinearGradient ink(waveLeft, 0, waveRight, 0);
    ink.setColorAt(0.0, QColor(120, 160, 225, 110));
    ink.setColorAt(0.5, QColor(57, 98, 177, 210));
    ink.setColorAt(1.0, QColor(40, 150, 200, 150));
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    for (int i = 0; i < bars; ++i) {
        const double half = 1.5 + maxHalf * waveLevel(i, bars);
        p.drawRoundedRect(QRectF(waveLeft + i * step, centre - half, barWidth, 2 * half), 1.2, 1.2);
    }
    p.setPen(QPen(QColor(57, 98, 177, 90), 1));
    p.drawLine(QPointF(waveLeft - 6, centre + 0.5), QPointF(waveRight + 6, centre + 0.5));

    p.setFont(title);
    p.setPen(QColor(255, 255, 255, 200));
    p.drawText(nameAt + QPoint(1, 1), name);
    p.setPen(Navy);
    p.drawText(nameAt, name);
    p.setFont(sub);
    p.setPen(QColor(84, 104, 140));
    p.drawText(QPoint(20, 66), QStringLiteral("AUDIO CONVERTER"));

    // An accent rule along the bottom edge.
    QLinearGradient rule(0, 0, size.width(), 0);
    rule.setColorAt(0.0, VersionBlue);
    rule.setColorAt(1.0, QColor(40, 150, 200));
    p.fillRect(QRectF(0, size.height() - 3, size.width(), 3), rule);
    return pm;
}

Tfm_about::Tfm_about(Launcher& launcher, Prompts& prompts, QWidget* parent)
    : ModalDialog(parent), m_launcher(launcher), m_prompts(prompts)
{
    setObjectName(QStringLiteral("fm_about"));
    setWindowTitle(QStringLiteral("About"));
    setClientSize(ClientWidth, ClientHeight);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, ClientWidth, BannerHeight);
    Image1->setPixmap(aboutBanner(devicePixelRatioF()));

    // Labels take the width of their text (at least the designed width), as the texts are
    // fixed but the font's width is the system's.
    const auto addLabel = [this](const char* name, const QString& text, int left, int top,
                                 int width) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        const QSize hint = l->sizeHint();
        l->setGeometry(left, top, std::max(width, hint.width()), std::max(13, hint.height()));
        return l;
    };
    Label2 = addLabel("Label2", QStringLiteral("Version:    1.00"), 212, 64, 73);
    QPalette pal = Label2->palette();
    pal.setColor(QPalette::WindowText, VersionBlue);
    Label2->setPalette(pal);
    Label1 = addLabel("Label1", QString::fromUtf8(FormatsText), 9, 99, 287);
    // The text takes several lines; the label is made as narrow as that many lines allow, so
    // the lines come out even, and the box grows downwards when they need more room.
    if (const int room = ClientWidth - 2 * Label1->x(); Label1->width() > room) {
        Label1->setWordWrap(true);
        const int height = Label1->heightForWidth(room);
        int width = room;
        while (width > room / 2 && Label1->heightForWidth(width - 4) == height)
            width -= 4;
        Label1->setGeometry(Label1->x(), Label1->y(), width, height);
    }

    const int buttonsTop = std::max(ButtonsTop, Label1->geometry().bottom() + 12);
    setClientSize(ClientWidth, ClientHeight + buttonsTop - ButtonsTop);
    const auto addButton = [this, buttonsTop](const char* name, const QString& caption, int left) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(left, buttonsTop, 75, 25);
        // No button is the dialog's default: Enter acts only on the button that has the focus.
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    Button1 = addButton("Button1", QStringLiteral("Web Site"), 19);
    btn_contact = addButton("btn_contact", QStringLiteral("Contact us "), 120);
    btn_close = addButton("btn_close", QStringLiteral("Close"), 221);

    setTabOrder(btn_contact, btn_close);
    setTabOrder(btn_close, Button1);
    btn_contact->setFocus();

    connect(Button1, &QPushButton::clicked, this, guarded([this] { Button1Click(); }));
    connect(btn_contact, &QPushButton::clicked, this, guarded([this] { btn_contactClick(); }));
    connect(btn_close, &QPushButton::clicked, this, guarded([this] { btn_closeClick(); }));
}

void Tfm_about::Button1Click()
{
    openAddress(m_launcher, m_prompts, this, QUrl(QString::fromLatin1(WebSiteAddress)));
}

void Tfm_about::btn_contactClick()
{
    openAddress(m_launcher, m_prompts, this, QUrl(QStringLiteral("mailto:") + QString::fromLatin1(SupportMailAddress)));
}

void Tfm_about::btn_closeClick() { accept(); }

} // namespace sondrel
