#include "SettingsWidgets.h"

#include "ExceptionHook.h"
#include "SettingsFile.h"
#include "UpDown.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QVBoxLayout>
#include <algorithm>

namespace sondrel::settingsui {

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The key filter of the number fields. Typed characters: digits and backspace pass, every
// other character is dropped. Keys that type nothing (arrows, Delete, Home) and editing
// shortcuts (Ctrl+V and the like) pass.
class DigitKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress)
            return dropped(static_cast<QKeyEvent*>(event));
        return QObject::eventFilter(watched, event);
    }

private:
    static bool dropped(QKeyEvent* key)
    {
        for (QKeySequence::StandardKey k : {QKeySequence::Paste, QKeySequence::Copy, QKeySequence::Cut,
                                            QKeySequence::SelectAll, QKeySequence::Undo, QKeySequence::Redo})
            if (key->matches(k))
                return false;
        for (QChar c : key->text()) {
            if (c == QLatin1Char('\b') || isDigit(c))
                continue;
            if (c.isPrint())
                return true;
        }
        return false;
    }
};

class FocusLeaving : public QObject {
public:
    FocusLeaving(QObject* parent, std::function<void()> handler) : QObject(parent), m_handler(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusOut) {
            const Qt::FocusReason why = static_cast<QFocusEvent*>(event)->reason();
            if (why != Qt::PopupFocusReason && why != Qt::ActiveWindowFocusReason)
                guardedCall([this] { m_handler(); });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_handler;
};

} // namespace

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
    (*edit)->installEventFilter(new DigitKeys(*edit));
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

QGridLayout* makeGrid(QGroupBox* group)
{
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(GroupMargin, 4, GroupMargin, 4);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(4);
    grid->setColumnStretch(2, 1);
    return grid;
}

QVBoxLayout* makeColumn(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 5, 0, 0);
    column->setSpacing(5);
    return column;
}

void addNotes(QGroupBox* group, QGridLayout* grid, std::initializer_list<QString> lines, PageParts& parts)
{
    for (const QString& text : lines) {
        parts.notes << new QLabel(text, group);
        grid->addWidget(parts.notes.last(), grid->rowCount(), 0, 1, 5);
    }
    grid->setRowStretch(grid->rowCount(), 1);
}

void addRule(PageParts& parts, std::initializer_list<QAbstractButton*> buttons, std::function<void()> rule)
{
    for (QAbstractButton* b : buttons)
        QObject::connect(b, &QAbstractButton::toggled, b, guarded([rule](bool) { rule(); }));
    parts.rules.push_back(std::move(rule));
}

void onFocusLeaving(QLineEdit* field, std::function<void()> handler)
{
    field->installEventFilter(new FocusLeaving(field, std::move(handler)));
}

QStringList sourceFrequencyItems(std::span<const int> values)
{
    QStringList items{QStringLiteral("As the source")};
    for (int hz : values.subspan(1))
        items << QStringLiteral("%1 Hz").arg(hz);
    return items;
}

QStringList sourceChannelItems()
{
    return {QStringLiteral("As the source"), QStringLiteral("Mono"), QStringLiteral("Stereo")};
}

namespace {

// The style of the page control's tab bar: tabs with half the usual room beside their text.
class TightTabs : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        return metric == PM_TabBarTabHSpace ? value / 2 : value;
    }
};

} // namespace

PageControl::PageControl(QWidget* parent) : QTabWidget(parent) {}

void PageControl::tabInserted(int index)
{
    QTabWidget::tabInserted(index);
    fitTabs();
}

void PageControl::resizeEvent(QResizeEvent* event)
{
    QTabWidget::resizeEvent(event);
    fitTabs();
}

void PageControl::fitTabs()
{
    const int room = width() - 4;
    if (room <= 0)
        return;
    // Tighter tabs once the usual ones would not all fit; then, where the fonts are wide,
    // a smaller font for the tabs alone, down to a readable size.
    if (!m_tight && tabBar()->sizeHint().width() > room) {
        m_tight = new TightTabs;
        m_tight->setParent(tabBar());
        tabBar()->setStyle(m_tight);
    }
    constexpr int SmallestPixelSize = 8;
    QFont f = font();
    int px = QFontInfo(f).pixelSize();
    tabBar()->setFont(f);
    while (tabBar()->sizeHint().width() > room && px > SmallestPixelSize) {
        f.setPixelSize(--px);
        tabBar()->setFont(f);
    }
    // Should even that not do, the tabs share the room with their texts shortened: every
    // page keeps a tab that can be clicked.
    tabBar()->setUsesScrollButtons(false);
    tabBar()->setElideMode(Qt::ElideRight);
}

void load(const Binding& b, const SettingsFile* store)
{
    if (b.text) {
        static_cast<QLineEdit*>(b.control)->setText(store ? readKey(*store, *b.text) : QString());
        return;
    }
    const int value = store ? readKey(*store, b.key) : b.key.def;
    if (!b.radios.isEmpty()) {
        // A value that names no button leaves the earlier choice.
        if (value >= 0 && value < b.radios.size())
            b.radios[value]->setChecked(true);
    } else if (auto* cb = qobject_cast<QComboBox*>(b.control)) {
        // A position outside the list (a hand-edited file) selects the default item, so OK
        // never writes a position the list does not have.
        cb->setCurrentIndex(value >= 0 && value < cb->count() ? value : b.key.def);
    } else if (auto* check = qobject_cast<QCheckBox*>(b.control)) {
        check->setChecked(value != 0);
    } else if (auto* ud = qobject_cast<UpDown*>(b.control)) {
        ud->setPosition(value);
    }
}

void save(const Binding& b, SettingsFile& store)
{
    if (b.text) {
        store.write_string(QString::fromLatin1(b.text->section), QString::fromLatin1(b.text->key),
                           static_cast<QLineEdit*>(b.control)->text());
        return;
    }
    if (!b.radios.isEmpty()) {
        for (int i = 0; i < b.radios.size(); ++i) {
            if (b.radios[i]->isChecked()) {
                writeKey(store, b.key, i);
                return;
            }
        }
    } else if (auto* cb = qobject_cast<QComboBox*>(b.control)) {
        writeKey(store, b.key, cb->currentIndex());
    } else if (auto* check = qobject_cast<QCheckBox*>(b.control)) {
        writeKey(store, b.key, check->isChecked() ? 1 : 0);
    } else if (auto* ud = qobject_cast<UpDown*>(b.control)) {
        writeKey(store, b.key, ud->position());
    }
}

void reset(const Binding& b)
{
    if (b.text)
        static_cast<QLineEdit*>(b.control)->clear();
    else if (!b.radios.isEmpty())
        b.radios[b.key.def]->setChecked(true);
    else if (auto* cb = qobject_cast<QComboBox*>(b.control))
        cb->setCurrentIndex(b.key.def);
    else if (auto* check = qobject_cast<QCheckBox*>(b.control))
        check->setChecked(b.key.def != 0);
    else if (auto* ud = qobject_cast<UpDown*>(b.control))
        ud->setPosition(b.key.def);
}

} // namespace sondrel::settingsui
