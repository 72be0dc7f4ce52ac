#include "SettingsDialog.h"

#include "AppState.h"
#include "ExceptionHook.h"
#include "OutputFormat.h"
#include "SettingsWidgets.h"
#include "UpDown.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTabWidget>
#include <algorithm>
#include <map>
#include <stdexcept>
#include <type_traits>

namespace sondrel {

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
    buildPages();
    findControls();

    setTabOrder(btn_ok, btn_default);
    setTabOrder(btn_default, btn_cancel);
    setTabOrder(btn_cancel, pc);

    connect(btn_ok, &QPushButton::clicked, this, guarded([this](bool) { btn_okClick(); }));
    connect(btn_default, &QPushButton::clicked, this, guarded([this](bool) { btn_defaultClick(); }));
    connect(btn_cancel, &QPushButton::clicked, this, guarded([this](bool) { btn_cancelClick(); }));

    fitNotes();
}

QWidget* Tfm_set::addPage(const char* name, const QString& title)
{
    auto* page = new QWidget;
    page->setObjectName(QLatin1String(name));
    pc->addTab(page, title);
    return page;
}

void Tfm_set::buildPages()
{
    std::vector<const OutputFormat*> byTab = outputFormats();
    std::stable_sort(byTab.begin(), byTab.end(),
                     [](const OutputFormat* a, const OutputFormat* b) { return a->page.tab < b->page.tab; });
    std::map<const OutputFormat*, QWidget*> pages;
    for (const OutputFormat* f : byTab)
        pages[f] = addPage(f->page.name, QString::fromLatin1(f->page.title));
    QWidget* general = addPage("ts_general", QStringLiteral("General"));
    QWidget* naming = addPage("ts_naming", QStringLiteral("Naming"));
    for (const OutputFormat* f : outputFormats()) {
        settingsui::PageParts parts;
        f->page.build(pages[f], parts);
        take(std::move(parts));
    }
    settingsui::PageParts parts;
    settingsui::buildGeneralPage(general, parts);
    take(std::move(parts));
    settingsui::PageParts namingParts;
    settingsui::buildNamingPage(naming, namingParts, &m_exampleName);
    take(std::move(namingParts));
}

void Tfm_set::take(settingsui::PageParts&& parts)
{
    m_bindings.insert(m_bindings.end(), parts.bindings.begin(), parts.bindings.end());
    m_notes << parts.notes;
    for (auto& rule : parts.rules)
        m_rules.push_back(std::move(rule));
}

void Tfm_set::findControls()
{
    const auto find = [this](auto*& control, const char* name) {
        control = findChild<std::remove_reference_t<decltype(*control)>*>(QLatin1String(name));
    };
    find(cb_mp3_frequency, "cb_mp3_frequency");
    find(cb_mp3_channel, "cb_mp3_channel");
    find(cb_mp3_bitrate, "cb_mp3_bitrate");
    find(edt_mp3_quality, "edt_mp3_quality");
    find(ud_mp3_quality, "ud_mp3_quality");
    find(cb_vbr, "cb_vbr");
    find(cb_mp3_vbr, "cb_mp3_vbr");
    find(edt_mp3_vbr, "edt_mp3_vbr");
    find(ud_mp3_vbr, "ud_mp3_vbr");
    find(rb_cdquality, "rb_cdquality");
    find(rb_bestsuited, "rb_bestsuited");
    find(rb_custom, "rb_custom");
    find(cb_wav_frequency, "cb_wav_frequency");
    find(cb_wav_channel, "cb_wav_channel");
    find(cb_wav_bit, "cb_wav_bit");
    find(cb_ogg_fre, "cb_ogg_fre");
    find(cb_ogg_channel, "cb_ogg_channel");
    find(cb_ogg_bitrate, "cb_ogg_bitrate");
    find(cb_ogg_quality, "cb_ogg_quality");
    find(cb_ogg_minbit, "cb_ogg_minbit");
    find(cb_ogg_maxbit, "cb_ogg_maxbit");
    find(edt_ogg_quality, "edt_ogg_quality");
    find(ud_ogg_quality, "ud_ogg_quality");
    find(cb_wma, "cb_wma");
    find(cb_flac_frequency, "cb_flac_frequency");
    find(cb_flac_channel, "cb_flac_channel");
    find(cb_flac_bit, "cb_flac_bit");
    find(cb_flac_level, "cb_flac_level");
    find(edt_opus_bitrate, "edt_opus_bitrate");
    find(ud_opus_bitrate, "ud_opus_bitrate");
    find(cb_opus_channel, "cb_opus_channel");
    find(cb_opus_mode, "cb_opus_mode");
    find(cb_aac_frequency, "cb_aac_frequency");
    find(cb_aac_channel, "cb_aac_channel");
    find(cb_aac_bitrate, "cb_aac_bitrate");
    find(cb_jobs, "cb_jobs");
    find(edt_pattern, "edt_pattern");
    find(cb_ready_pattern, "cb_ready_pattern");
    find(cbx_portable, "cbx_portable");
    find(lbl_example, "lbl_example");
    find(cb_existing, "cb_existing");
    find(cbx_playlist, "cbx_playlist");
    find(cbx_copy_same_format, "cbx_copy_same_format");
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
    for (const auto& rule : m_rules)
        rule();
}

void Tfm_set::btn_cancelClick()
{
    reject();
}

} // namespace sondrel
