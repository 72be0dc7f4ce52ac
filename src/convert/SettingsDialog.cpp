#include "SettingsDialog.h"

#include "AppState.h"
#include "Converter.h"
#include "ExceptionHook.h"
#include "UpDown.h"
#include "ValueTables.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <stdexcept>

namespace sondrel {

namespace {

// Margins inside the groups of the pages.
constexpr int GroupMargin = 5;
constexpr int FieldHeight = 21;

QStringList frequencyItems()
{
    QStringList items;
    for (int hz : frequency_values)
        items << QStringLiteral("%1 Hz").arg(hz);
    return items;
}

QStringList bitrateItems()
{
    QStringList items;
    for (int kbps : bitrate_values)
        items << QStringLiteral("%1 Kbps").arg(kbps);
    return items;
}

QStringList channelItems()
{
    return {QStringLiteral("Mono"), QStringLiteral("Stereo")};
}

QStringList bitItems()
{
    QStringList items;
    for (int bits : bits_per_sample_values)
        items << QStringLiteral("%1 bits").arg(bits);
    return items;
}

QComboBox* makeCombo(QWidget* parent, const char* name, const QStringList& items)
{
    auto* cb = new QComboBox(parent);
    cb->setObjectName(QLatin1String(name));
    cb->setEditable(false); // a drop-down list: pick an item, never type
    cb->addItems(items);
    cb->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Just wide enough for its longest item, so two label-and-list pairs share a row.
    int text = 0;
    for (const QString& item : items)
        text = std::max(text, cb->fontMetrics().horizontalAdvance(item));
    QStyleOptionComboBox option;
    option.initFrom(cb);
    option.editable = false;
    int width = text;
    for (; width < text + 200; ++width) {
        option.rect = QRect(0, 0, width, FieldHeight);
        const QRect field =
            cb->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, cb);
        if (field.width() >= text + 4)
            break;
    }
    cb->setFixedSize(width, FieldHeight);
    return cb;
}

QLabel* makeLabel(QWidget* parent, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return l;
}

// An edit field with its up-down attached at its right, as one cell of a grid.
QWidget* makeNumberField(QWidget* parent, QLineEdit** edit, UpDown** updown, const char* editName,
                         const char* updownName, int editWidth, int maxLength, int minimum,
                         int maximum)
{
    auto* cell = new QWidget(parent);
    auto* row = new QHBoxLayout(cell);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    *edit = new QLineEdit(cell);
    (*edit)->setObjectName(QLatin1String(editName));
    (*edit)->setMaxLength(maxLength);
    (*edit)->setFixedSize(editWidth, FieldHeight);
    *updown = new UpDown(cell);
    (*updown)->setObjectName(QLatin1String(updownName));
    (*updown)->setFixedSize(16, FieldHeight);
    (*updown)->setRange(minimum, maximum);
    (*updown)->setBuddy(*edit);
    row->addWidget(*edit);
    row->addWidget(*updown);
    row->addStretch(1);
    cell->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    cell->setFixedSize(editWidth + 16, FieldHeight);
    return cell;
}

QGroupBox* makeGroup(QWidget* page, const QString& title, int width, int height)
{
    auto* g = new QGroupBox(title, page);
    g->setFixedSize(width, height);
    return g;
}

// The grid of a group: label and field on the left, label and field on the right, with the
// free room between the two pairs; explanation lines span the whole width below.
QGridLayout* makeGrid(QGroupBox* group)
{
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(GroupMargin, 4, GroupMargin, 4);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(4);
    grid->setColumnStretch(2, 1);
    return grid;
}

// Selects the stored position; a position outside the list (a hand-edited file) selects the
// key's default item instead, so OK never writes a position the list does not have.
void selectStored(QComboBox* cb, int stored, int def)
{
    cb->setCurrentIndex(stored >= 0 && stored < cb->count() ? stored : def);
}

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

    pc = new QTabWidget(gb_output);
    pc->setObjectName(QStringLiteral("pc"));
    pc->setGeometry(12, 24, 341, 260);
    pc->setUsesScrollButtons(false);
    const auto addPage = [this](const char* name, const QString& title) {
        auto* page = new QWidget;
        page->setObjectName(QLatin1String(name));
        pc->addTab(page, title);
        return page;
    };
    buildMp3Page(addPage("ts_mp3", QStringLiteral("MP3")));
    buildWavPage(addPage("ts_wav", QStringLiteral("WAV")));
    buildOggPage(addPage("ts_ogg", QStringLiteral("OGG")));
    buildWmaPage(addPage("ts_wma", QStringLiteral("WMA")));
    buildGeneralPage(addPage("ts_general", QStringLiteral("General")));

    setTabOrder(btn_ok, btn_default);
    setTabOrder(btn_default, btn_cancel);
    setTabOrder(btn_cancel, pc);

    m_numberFields = {edt_mp3_quality, edt_mp3_vbr, edt_ogg_quality};
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

void Tfm_set::buildMp3Page(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 5, 0, 0);
    column->setSpacing(5);

    QGroupBox* general = makeGroup(page, QStringLiteral("General Options"), 310, 113);
    general->setObjectName(QStringLiteral("gb_mp3_general"));
    QGridLayout* grid = makeGrid(general);
    cb_mp3_frequency = makeCombo(general, "cb_mp3_frequency", frequencyItems());
    cb_mp3_channel = makeCombo(general, "cb_mp3_channel", channelItems());
    cb_mp3_bitrate = makeCombo(general, "cb_mp3_bitrate", bitrateItems());
    grid->addWidget(makeLabel(general, QStringLiteral("Frequency: ")), 0, 0);
    grid->addWidget(cb_mp3_frequency, 0, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Channel: ")), 0, 3);
    grid->addWidget(cb_mp3_channel, 0, 4);
    grid->addWidget(makeLabel(general, QStringLiteral("Bitrate: ")), 1, 0);
    grid->addWidget(cb_mp3_bitrate, 1, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Quality: ")), 1, 3);
    grid->addWidget(makeNumberField(general, &edt_mp3_quality, &ud_mp3_quality, "edt_mp3_quality",
                                    "ud_mp3_quality", 30, 1, 0, 9),
                    1, 4);
    for (const QString& text :
         {QStringLiteral("8Kbps - poor quality, small file, 320Kbps - good quality, big file"),
          QStringLiteral("Quality: 0 - best quality, low speed, 9 - low quality, fast speed. ")}) {
        m_notes << new QLabel(text, general);
        grid->addWidget(m_notes.last(), grid->rowCount(), 0, 1, 5);
    }
    grid->setRowStretch(grid->rowCount(), 1);

    QGroupBox* vbr = makeGroup(page, QStringLiteral("VBR (Variable Bit Rate)"), 310, 96);
    vbr->setObjectName(QStringLiteral("gb_mp3_vbr"));
    grid = makeGrid(vbr);
    cb_vbr = new QCheckBox(QStringLiteral("Enable VBR"), vbr);
    cb_vbr->setObjectName(QStringLiteral("cb_vbr"));
    cb_mp3_vbr = makeCombo(vbr, "cb_mp3_vbr", bitrateItems());
    grid->addWidget(cb_vbr, 0, 0, 1, 2);
    grid->addWidget(makeLabel(vbr, QStringLiteral("VBR Bitrate: ")), 1, 0);
    grid->addWidget(cb_mp3_vbr, 1, 1);
    grid->addWidget(makeLabel(vbr, QStringLiteral("VBR Quality: ")), 1, 3);
    grid->addWidget(makeNumberField(vbr, &edt_mp3_vbr, &ud_mp3_vbr, "edt_mp3_vbr", "ud_mp3_vbr",
                                    30, 1, 0, 9),
                    1, 4);
    m_notes << new QLabel(
        QStringLiteral("Quality: 0 - best quality, low speed, 9 - low quality, fast speed. "), vbr);
    grid->addWidget(m_notes.last(), 2, 0, 1, 5);
    grid->setRowStretch(3, 1);

    column->addWidget(general, 0, Qt::AlignHCenter);
    column->addWidget(vbr, 0, Qt::AlignHCenter);
    column->addStretch(1);
}

void Tfm_set::buildWavPage(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 5, 0, 0);
    column->setSpacing(5);

    QGroupBox* mode = makeGroup(page, QStringLiteral("Mode"), 307, 90);
    mode->setObjectName(QStringLiteral("gb_wav_mode"));
    auto* radios = new QVBoxLayout(mode);
    radios->setContentsMargins(GroupMargin, 2, GroupMargin, 4);
    radios->setSpacing(1);
    const auto makeRadio = [mode, radios](const char* name, const QString& text) {
        auto* rb = new QRadioButton(text, mode);
        rb->setObjectName(QLatin1String(name));
        radios->addWidget(rb);
        return rb;
    };
    rb_cdquality = makeRadio("rb_cdquality", QStringLiteral("CD quality WAV format (for burning audio CD)"));
    rb_bestsuited = makeRadio("rb_bestsuited", QStringLiteral("Best suited WAV format"));
    rb_custom = makeRadio("rb_custom", QStringLiteral("Custom format"));
    m_notes << new QLabel(
        QStringLiteral("To set the parameters below, please choose \"Custom Format\" "), mode);
    radios->addWidget(m_notes.last());
    radios->addStretch(1);

    QGroupBox* general = makeGroup(page, QStringLiteral("General Options"), 307, 119);
    general->setObjectName(QStringLiteral("gb_wav_general"));
    QGridLayout* grid = makeGrid(general);
    cb_wav_frequency = makeCombo(general, "cb_wav_frequency", frequencyItems());
    cb_wav_channel = makeCombo(general, "cb_wav_channel", channelItems());
    cb_wav_bit = makeCombo(general, "cb_wav_bit", bitItems());
    grid->addWidget(makeLabel(general, QStringLiteral("Frequency: ")), 0, 0);
    grid->addWidget(cb_wav_frequency, 0, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Channel:")), 0, 3);
    grid->addWidget(cb_wav_channel, 0, 4);
    grid->addWidget(makeLabel(general, QStringLiteral("Bit Per Sample:")), 1, 0);
    grid->addWidget(cb_wav_bit, 1, 1);
    for (const QString& text :
         {QStringLiteral("To small created file, low frequency or bit per sample, but "),
          QStringLiteral("quality will be lowered accordingly. ")}) {
        m_notes << new QLabel(text, general);
        grid->addWidget(m_notes.last(), grid->rowCount(), 0, 1, 5);
    }
    grid->setRowStretch(grid->rowCount(), 1);

    column->addWidget(mode, 0, Qt::AlignHCenter);
    column->addWidget(general, 0, Qt::AlignHCenter);
    column->addStretch(1);
}

void Tfm_set::buildOggPage(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 5, 0, 0);
    column->setSpacing(5);

    QGroupBox* general = makeGroup(page, QStringLiteral("General Options"), 310, 87);
    general->setObjectName(QStringLiteral("gb_ogg_general"));
    QGridLayout* grid = makeGrid(general);
    cb_ogg_fre = makeCombo(general, "cb_ogg_fre", frequencyItems());
    cb_ogg_channel = makeCombo(general, "cb_ogg_channel", channelItems());
    cb_ogg_bitrate = makeCombo(general, "cb_ogg_bitrate", bitrateItems());
    grid->addWidget(makeLabel(general, QStringLiteral("Frequency: ")), 0, 0);
    grid->addWidget(cb_ogg_fre, 0, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Channel: ")), 0, 3);
    grid->addWidget(cb_ogg_channel, 0, 4);
    grid->addWidget(makeLabel(general, QStringLiteral("Bitrate: ")), 1, 0);
    grid->addWidget(cb_ogg_bitrate, 1, 1);
    m_notes << new QLabel(
        QStringLiteral("8Kbps - poor quality, small file, 320Kbps - good quality, big file"),
        general);
    grid->addWidget(m_notes.last(), 2, 0, 1, 5);
    grid->setRowStretch(3, 1);

    QGroupBox* vbr = makeGroup(page, QStringLiteral("VBR (Variable Bit Rate)"), 310, 133);
    vbr->setObjectName(QStringLiteral("gb_ogg_vbr"));
    grid = makeGrid(vbr);
    cb_ogg_quality = new QCheckBox(QStringLiteral("Enable Quality"), vbr);
    cb_ogg_quality->setObjectName(QStringLiteral("cb_ogg_quality"));
    cb_ogg_minbit = makeCombo(vbr, "cb_ogg_minbit", bitrateItems());
    cb_ogg_maxbit = makeCombo(vbr, "cb_ogg_maxbit", bitrateItems());
    grid->addWidget(cb_ogg_quality, 0, 0, 1, 2);
    grid->addWidget(makeLabel(vbr, QStringLiteral("Min Bitrate: ")), 0, 3);
    grid->addWidget(cb_ogg_minbit, 0, 4);
    grid->addWidget(makeLabel(vbr, QStringLiteral("VBR Quality: ")), 1, 0);
    grid->addWidget(makeNumberField(vbr, &edt_ogg_quality, &ud_ogg_quality, "edt_ogg_quality",
                                    "ud_ogg_quality", 40, 5, 0, 1000),
                    1, 1);
    grid->addWidget(makeLabel(vbr, QStringLiteral("Max Bitrate: ")), 1, 3);
    grid->addWidget(cb_ogg_maxbit, 1, 4);
    for (const QString& text :
         {QStringLiteral("0 - best quality, low speed, 1000 - low quality, fast speed . "),
          QStringLiteral("If quality enabled, the bitrate just affects the conversion "),
          QStringLiteral("speed and the quality of the result file, not decide. ")}) {
        m_notes << new QLabel(text, vbr);
        grid->addWidget(m_notes.last(), grid->rowCount(), 0, 1, 5);
    }
    grid->setRowStretch(grid->rowCount(), 1);

    column->addWidget(general, 0, Qt::AlignHCenter);
    column->addWidget(vbr, 0, Qt::AlignHCenter);
    column->addStretch(1);
}

void Tfm_set::buildWmaPage(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 5, 0, 0);
    column->setSpacing(5);

    QGroupBox* format = makeGroup(page, QStringLiteral("WMA Format"), 309, 103);
    format->setObjectName(QStringLiteral("gb_wma"));
    QStringList names;
    for (const char* name : wma_profiles)
        names << QString::fromLatin1(name);
    cb_wma = makeCombo(format, "cb_wma", names);
    cb_wma->setFixedWidth(288);
    auto* box = new QVBoxLayout(format);
    box->setContentsMargins(0, 0, 0, 4);
    box->addStretch(1);
    box->addWidget(cb_wma, 0, Qt::AlignHCenter);
    box->addStretch(1);

    column->addWidget(format, 0, Qt::AlignHCenter);
    column->addStretch(1);
}

void Tfm_set::buildGeneralPage(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 5, 0, 0);
    column->setSpacing(5);

    QGroupBox* group = makeGroup(page, QStringLiteral("Conversion"), 310, 75);
    group->setObjectName(QStringLiteral("gb_jobs"));
    QStringList items{QStringLiteral("Automatic (%1)").arg(Converter::jobsFor(0))};
    for (int n = 1; n <= Converter::MaxJobs; ++n)
        items << QString::number(n);
    cb_jobs = makeCombo(group, "cb_jobs", items);
    cb_jobs->setMaxVisibleItems(17);
    QGridLayout* grid = makeGrid(group);
    grid->addWidget(makeLabel(group, QStringLiteral("Files converted at once:")), 0, 0);
    grid->addWidget(cb_jobs, 0, 1);
    m_notes << new QLabel(QStringLiteral("Automatic converts one file per processor core."), group);
    grid->addWidget(m_notes.last(), 1, 0, 1, 3);

    column->addWidget(group, 0, Qt::AlignHCenter);
    column->addStretch(1);
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
            const int room = note->parentWidget()->contentsRect().width() - 2 * GroupMargin;
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
    SettingsFile* s = m_state.settings();
    const auto read = [s](const IntKey& k) { return s ? readKey(*s, k) : k.def; };

    selectStored(cb_mp3_bitrate, read(keys::mp3Bitrate), keys::mp3Bitrate.def);
    selectStored(cb_mp3_channel, read(keys::mp3Channel), keys::mp3Channel.def);
    selectStored(cb_mp3_frequency, read(keys::mp3Frequency), keys::mp3Frequency.def);
    ud_mp3_quality->setPosition(read(keys::mp3Quality));
    cb_vbr->setChecked(read(keys::mp3EnableVbr) != 0);
    selectStored(cb_mp3_vbr, read(keys::mp3VbrBitrate), keys::mp3VbrBitrate.def);
    ud_mp3_vbr->setPosition(read(keys::mp3VbrQuality));
    cb_vbrClick();

    // A mode the dialog does not know leaves the selection of the earlier showing.
    switch (read(keys::wavMode)) {
    case 0: rb_cdquality->setChecked(true); break;
    case 1: rb_bestsuited->setChecked(true); break;
    case 2: rb_custom->setChecked(true); break;
    default: break;
    }
    selectStored(cb_wav_bit, read(keys::wavBit), keys::wavBit.def);
    selectStored(cb_wav_channel, read(keys::wavChannel), keys::wavChannel.def);
    selectStored(cb_wav_frequency, read(keys::wavFrequency), keys::wavFrequency.def);
    rb_cdqualityClick();

    selectStored(cb_wma, read(keys::wmaFormat), keys::wmaFormat.def);
    selectStored(cb_jobs, read(keys::jobs), keys::jobs.def);

    selectStored(cb_ogg_channel, read(keys::oggChannel), keys::oggChannel.def);
    selectStored(cb_ogg_fre, read(keys::oggFrequency), keys::oggFrequency.def);
    selectStored(cb_ogg_bitrate, read(keys::oggBitrate), keys::oggBitrate.def);
    selectStored(cb_ogg_maxbit, read(keys::oggMaxBitrate), keys::oggMaxBitrate.def);
    selectStored(cb_ogg_minbit, read(keys::oggMinBitrate), keys::oggMinBitrate.def);
    cb_ogg_quality->setChecked(read(keys::oggEnableQualityDialog) != 0);
    ud_ogg_quality->setPosition(read(keys::oggQuality));
    cb_ogg_qualityClick();

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
    writeKey(s, keys::mp3Bitrate, cb_mp3_bitrate->currentIndex());
    writeKey(s, keys::mp3Channel, cb_mp3_channel->currentIndex());
    writeKey(s, keys::mp3Frequency, cb_mp3_frequency->currentIndex());
    writeKey(s, keys::mp3Quality, ud_mp3_quality->position());
    writeKey(s, keys::mp3EnableVbr, cb_vbr->isChecked() ? 1 : 0);
    writeKey(s, keys::mp3VbrBitrate, cb_mp3_vbr->currentIndex());
    writeKey(s, keys::mp3VbrQuality, ud_mp3_vbr->position());

    if (rb_cdquality->isChecked())
        writeKey(s, keys::wavMode, 0);
    else if (rb_bestsuited->isChecked())
        writeKey(s, keys::wavMode, 1);
    else if (rb_custom->isChecked())
        writeKey(s, keys::wavMode, 2);
    writeKey(s, keys::wavBit, cb_wav_bit->currentIndex());
    writeKey(s, keys::wavChannel, cb_wav_channel->currentIndex());
    writeKey(s, keys::wavFrequency, cb_wav_frequency->currentIndex());

    writeKey(s, keys::wmaFormat, cb_wma->currentIndex());

    writeKey(s, keys::oggChannel, cb_ogg_channel->currentIndex());
    writeKey(s, keys::oggFrequency, cb_ogg_fre->currentIndex());
    writeKey(s, keys::oggBitrate, cb_ogg_bitrate->currentIndex());
    writeKey(s, keys::oggMaxBitrate, cb_ogg_maxbit->currentIndex());
    writeKey(s, keys::oggMinBitrate, cb_ogg_minbit->currentIndex());
    writeKey(s, keys::oggEnableQualityDialog, cb_ogg_quality->isChecked() ? 1 : 0);
    writeKey(s, keys::oggQuality, ud_ogg_quality->position());

    writeKey(s, keys::jobs, cb_jobs->currentIndex());
    accept();
}

void Tfm_set::btn_defaultClick()
{
    cb_mp3_bitrate->setCurrentIndex(keys::mp3Bitrate.def);
    cb_mp3_channel->setCurrentIndex(keys::mp3Channel.def);
    cb_mp3_frequency->setCurrentIndex(keys::mp3Frequency.def);
    ud_mp3_quality->setPosition(keys::mp3Quality.def);
    cb_vbr->setChecked(keys::mp3EnableVbr.def != 0);
    cb_mp3_vbr->setCurrentIndex(keys::mp3VbrBitrate.def);
    ud_mp3_vbr->setPosition(keys::mp3VbrQuality.def);
    cb_vbrClick();

    rb_cdquality->setChecked(true);
    cb_wav_bit->setCurrentIndex(keys::wavBit.def);
    cb_wav_channel->setCurrentIndex(keys::wavChannel.def);
    cb_wav_frequency->setCurrentIndex(keys::wavFrequency.def);
    rb_cdqualityClick();

    cb_wma->setCurrentIndex(keys::wmaFormat.def);
    cb_jobs->setCurrentIndex(keys::jobs.def);

    cb_ogg_channel->setCurrentIndex(keys::oggChannel.def);
    cb_ogg_fre->setCurrentIndex(keys::oggFrequency.def);
    cb_ogg_bitrate->setCurrentIndex(keys::oggBitrate.def);
    cb_ogg_maxbit->setCurrentIndex(keys::oggMaxBitrate.def);
    cb_ogg_minbit->setCurrentIndex(keys::oggMinBitrate.def);
    cb_ogg_quality->setChecked(keys::oggEnableQualityDialog.def != 0);
    ud_ogg_quality->setPosition(keys::oggQuality.def);
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
