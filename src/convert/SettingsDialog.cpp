#include "SettingsDialog.h"

#include "AppState.h"
#include "ExceptionHook.h"
#include "SettingsWidgets.h"
#include "UpDown.h"
#include "ValueTables.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTabWidget>
#include <algorithm>
#include <stdexcept>

namespace sondrel {

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

Tfm_set::Tfm_set(AppState& state, QWidget* parent) : ModalDialog(parent), m_state(state)
{
    setObjectName(QStringLiteral("fm_set"));
    setWindowTitle(QStringLiteral("Settings"));
    setClientSize(ClientWidth, ClientHeight);

    // The buttons come first in the tab order, so the first showing starts on OK.
    const auto makeButton = [this](const char* name, const QString& text, int left) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(left, 314, 75, 25);
        // No default button: Enter acts only on the button that has the focus.
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    btn_ok = makeButton("btn_ok", QStringLiteral("OK"), 31);
    btn_default = makeButton("btn_default", QStringLiteral("Default"), 157);
    btn_cancel = makeButton("btn_cancel", QStringLiteral("Cancel"), 285);

    gb_output = new QGroupBox(QStringLiteral("Output Settings"), this);
    gb_output->setObjectName(QStringLiteral("gb_output"));
    gb_output->setGeometry(12, 10, 366, 295);

    pc = new settingsui::PageControl(gb_output);
    pc->setObjectName(QStringLiteral("pc"));
    pc->setGeometry(12, 24, 341, 260);
    pc->setUsesScrollButtons(false);
    const auto addPage = [this](const char* name, const QString& title) {
        auto* page = new QWidget;
        page->setObjectName(QLatin1String(name));
        pc->addTab(page, title);
        return page;
    };
    // The pages in the order of their tabs; their bindings in the order OK writes them.
    QWidget* mp3 = addPage("ts_mp3", QStringLiteral("MP3"));
    QWidget* wav = addPage("ts_wav", QStringLiteral("WAV"));
    QWidget* ogg = addPage("ts_ogg", QStringLiteral("OGG"));
    QWidget* wma = addPage("ts_wma", QStringLiteral("WMA"));
    QWidget* flac = addPage("ts_flac", QStringLiteral("FLAC"));
    QWidget* opus = addPage("ts_opus", QStringLiteral("Opus"));
    QWidget* aac = addPage("ts_aac", QStringLiteral("AAC"));
    QWidget* general = addPage("ts_general", QStringLiteral("General"));
    buildMp3Page(mp3);
    buildWavPage(wav);
    buildWmaPage(wma);
    buildOggPage(ogg);
    buildFlacPage(flac);
    buildOpusPage(opus);
    buildAacPage(aac);
    buildGeneralPage(general);

    setTabOrder(btn_ok, btn_default);
    setTabOrder(btn_default, btn_cancel);
    setTabOrder(btn_cancel, pc);

    m_numberFields = {edt_mp3_quality, edt_mp3_vbr, edt_ogg_quality, edt_opus_bitrate};
    for (QLineEdit* e : m_numberFields)
        e->installEventFilter(this);

    connect(btn_ok, &QPushButton::clicked, this, guarded([this](bool) { btn_okClick(); }));
    connect(btn_default, &QPushButton::clicked, this, guarded([this](bool) { btn_defaultClick(); }));
    connect(btn_cancel, &QPushButton::clicked, this, guarded([this](bool) { btn_cancelClick(); }));
    connect(cb_vbr, &QCheckBox::toggled, this, guarded([this](bool) { cb_vbrClick(); }));
    for (QRadioButton* rb : {rb_cdquality, rb_bestsuited, rb_custom})
        connect(rb, &QRadioButton::toggled, this, guarded([this](bool) { rb_cdqualityClick(); }));
    connect(cb_ogg_quality, &QCheckBox::toggled, this,
            guarded([this](bool) { cb_ogg_qualityClick(); }));
    connect(edt_ogg_quality, &QLineEdit::textChanged, this,
            guarded([this](const QString&) { edt_ogg_qualityChange(); }));

    fitNotes();
}

// The explanation lines are one line each. Where the dialog's font is wider than the one the
// layout was drawn for, they share the largest smaller size at which every one of them fits
// its group; only below a readable size would they wrap.
void Tfm_set::fitNotes()
{
    constexpr int SmallestPixelSize = 9;
    const auto fitsAt = [this](const QFont& f) {
        const QFontMetrics m(f);
        for (QLabel* note : m_notes) {
            const int room = note->parentWidget()->contentsRect().width() - 2 * settingsui::GroupMargin;
            if (m.horizontalAdvance(note->text()) > room)
                return false;
        }
        return true;
    };
    QFont f = font();
    int px = QFontInfo(f).pixelSize();
    while (!fitsAt(f) && px > SmallestPixelSize) {
        --px;
        f.setPixelSize(px);
    }
    const bool wrap = !fitsAt(f);
    for (QLabel* note : m_notes) {
        if (f != font())
            note->setFont(f);
        note->setWordWrap(wrap);
    }
}

SettingsFile& Tfm_set::store() const
{
    SettingsFile* s = m_state.settings();
    if (!s)
        throw std::runtime_error("The settings file is not open");
    return *s;
}

void Tfm_set::showEvent(QShowEvent* event)
{
    ModalDialog::showEvent(event);
    if (!event->spontaneous())
        guardedCall([this] { FormShow(); });
}

bool Tfm_set::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (auto* e = qobject_cast<QLineEdit*>(watched); e && m_numberFields.contains(e))
            return edt_ogg_qualityKeyPress(key);
    } else if (event->type() == QEvent::FocusOut && watched == edt_ogg_quality) {
        // Leaving for another control of the dialog; a popup menu or another window taking
        // the focus for a moment is no exit.
        const Qt::FocusReason why = static_cast<QFocusEvent*>(event)->reason();
        if (why != Qt::PopupFocusReason && why != Qt::ActiveWindowFocusReason)
            guardedCall([this] { edt_ogg_qualityExit(); });
    }
    return ModalDialog::eventFilter(watched, event);
}

void Tfm_set::FormShow()
{
    pc->setCurrentIndex(0);
    const SettingsFile* s = m_state.settings();
    for (const settingsui::Binding& b : m_bindings)
        settingsui::load(b, s);
    applyEnablingRules();

    // The first showing starts on OK; a later one keeps the control last used when it can
    // still take the focus.
    QWidget* f = focusWidget();
    if (!m_shownBefore || !f || !f->isVisibleTo(this) || !f->isEnabled())
        btn_ok->setFocus(Qt::OtherFocusReason);
    m_shownBefore = true;
}

void Tfm_set::btn_okClick()
{
    SettingsFile& s = store();
    for (const settingsui::Binding& b : m_bindings)
        settingsui::save(b, s);
    accept();
}

void Tfm_set::btn_defaultClick()
{
    for (const settingsui::Binding& b : m_bindings)
        settingsui::reset(b);
    applyEnablingRules();
}

void Tfm_set::applyEnablingRules()
{
    cb_vbrClick();
    rb_cdqualityClick();
    cb_ogg_qualityClick();
}

void Tfm_set::btn_cancelClick()
{
    reject();
}

void Tfm_set::cb_vbrClick()
{
    const bool on = cb_vbr->isChecked();
    cb_mp3_vbr->setEnabled(on);
    edt_mp3_vbr->setEnabled(on);
    ud_mp3_vbr->setEnabled(on);
}

void Tfm_set::rb_cdqualityClick()
{
    const bool custom = rb_custom->isChecked();
    cb_wav_frequency->setEnabled(custom);
    cb_wav_bit->setEnabled(custom);
    cb_wav_channel->setEnabled(custom);
}

void Tfm_set::cb_ogg_qualityClick()
{
    const bool quality = cb_ogg_quality->isChecked();
    edt_ogg_quality->setEnabled(quality);
    ud_ogg_quality->setEnabled(quality);
    cb_ogg_minbit->setEnabled(!quality);
    cb_ogg_maxbit->setEnabled(!quality);
}

// Typed characters: digits and backspace pass, every other character is dropped. Keys that
// type nothing (arrows, Delete, Home) and editing shortcuts (Ctrl+V and the like) pass.
bool Tfm_set::edt_ogg_qualityKeyPress(QKeyEvent* key)
{
    for (QKeySequence::StandardKey k : {QKeySequence::Paste, QKeySequence::Copy, QKeySequence::Cut,
                                        QKeySequence::SelectAll, QKeySequence::Undo,
                                        QKeySequence::Redo})
        if (key->matches(k))
            return false;
    const QString text = key->text();
    for (QChar c : text) {
        if (c == QLatin1Char('\b') || isDigit(c))
            continue;
        if (c.isPrint())
            return true;
    }
    return false;
}

void Tfm_set::edt_ogg_qualityChange()
{
    const QString text = edt_ogg_quality->text();
    if (text.trimmed().isEmpty()) {
        // An emptied field means 0; the field stays empty until the focus leaves it.
        ud_ogg_quality->setStoredPosition(0);
        return;
    }
    int n = 0;
    if (!UpDown::parseGrouped(text, &n)) {
        // Pasted text that is no number: the position stays and the field shows it again.
        ud_ogg_quality->setPosition(ud_ogg_quality->storedPosition());
        return;
    }
    ud_ogg_quality->setPosition(n > 999 ? 1000 : n);
}

void Tfm_set::edt_ogg_qualityExit()
{
    if (edt_ogg_quality->text().isEmpty())
        edt_ogg_quality->setText(QStringLiteral("0"));
}

} // namespace sondrel
