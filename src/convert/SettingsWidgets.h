#pragma once
// The pieces the settings dialog's pages are made of, and the binding of a control to the key
// it shows: one entry per setting, from which the dialog loads, saves and resets it.
#include "ValueTables.h"

#include <QList>
#include <QStringList>
#include <QTabBar>
#include <QTabWidget>
#include <functional>
#include <initializer_list>
#include <vector>

class QAbstractButton;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QVBoxLayout;
class QWidget;

namespace sondrel {

class SettingsFile;
class UpDown;

namespace settingsui {

// Margins inside the groups of the pages, and the height of one field.
inline constexpr int GroupMargin = 5;
inline constexpr int FieldHeight = 21;

// The items of the lists, in the order of their value tables: an item's position is what is
// stored.
QStringList frequencyItems();                   // "8000 Hz" .. "48000 Hz"
QStringList bitrateItems();                     // "8 Kbps" .. "320 Kbps"
QStringList channelItems();                     // "Mono", "Stereo"
QStringList bitItems();                         // "8 bits", "16 bits"
QStringList sourceFrequencyItems(std::span<const int> values); // "As the source", then Hz
QStringList sourceChannelItems();               // "As the source", "Mono", "Stereo"

// A drop-down list just wide enough for its longest item.
QComboBox* makeCombo(QWidget* parent, const char* name, const QStringList& items);
QLabel* makeLabel(QWidget* parent, const QString& text);
// An edit field with its up-down attached at its right, as one cell of a grid. Typed into the
// field, digits and backspace pass and every other character is dropped.
QWidget* makeNumberField(QWidget* parent, QLineEdit** edit, UpDown** updown, const char* editName,
                         const char* updownName, int editWidth, int maxLength, int minimum, int maximum);
QGroupBox* makeGroup(QWidget* page, const QString& title, int width, int height);
// Label and field on the left, label and field on the right, with the free room between the
// two pairs; explanation lines span the whole width below.
QGridLayout* makeGrid(QGroupBox* group);
// The column a page's groups stand in, from its top.
QVBoxLayout* makeColumn(QWidget* page);

// A page control whose tabs get half the usual room beside their text once all of them would
// not fit its width otherwise, so no tab is hidden behind scroll buttons.
class PageControl : public QTabWidget {
public:
    explicit PageControl(QWidget* parent);

protected:
    void tabInserted(int index) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitTabs();
    QStyle* m_tight = nullptr;
};

// One setting: the control that shows it and the key (section, name, default) it is stored
// under. The control is a list (the stored value is the item's position; a position outside
// the list shows the default item), a check box (1 or 0), an up-down (its position), or a
// group of radio buttons (button i stores i; a stored value that names no button changes none,
// and with none chosen nothing is written), or a text field with a text key (empty by default).
struct Binding {
    QWidget* control = nullptr;
    IntKey key;
    QList<QRadioButton*> radios{};
    const TextKey* text = nullptr;
};

// Shows the stored value (the default without a store).
void load(const Binding& b, const SettingsFile* store);
void save(const Binding& b, SettingsFile& store);
void reset(const Binding& b);

// What a page hands the dialog: its settings in the order OK writes them, its explanation
// lines (which the dialog fits to one line each), and its enabling rules (which controls take
// part, by the state of a check box or radio buttons).
struct PageParts {
    std::vector<Binding> bindings;
    QList<QLabel*> notes;
    std::vector<std::function<void()>> rules;
};

// Explanation lines below what group holds, one a row across the grid, then the free room.
void addNotes(QGroupBox* group, QGridLayout* grid, std::initializer_list<QString> lines, PageParts& parts);
// An enabling rule: it runs whenever one of buttons changes, also when the dialog changes it
// (loading, Default), and after the dialog has loaded or reset every control.
void addRule(PageParts& parts, std::initializer_list<QAbstractButton*> buttons, std::function<void()> rule);
// Runs handler when the focus leaves field for another control; a popup menu or another
// window taking the focus for a moment is no leaving.
void onFocusLeaving(QLineEdit* field, std::function<void()> handler);

// The General page: how many files are converted at once.
void buildGeneralPage(QWidget* page, PageParts& parts);

// The output name of the list's selected row for a pattern and the portable rule; the
// pattern's error instead when it is not valid, and an empty text without a row or format.
using ExampleName = std::function<QString(const QString& pattern, bool portable, QString* error)>;
// The Naming page: the name pattern with ready patterns, names for FAT and NTFS drives, what
// to do with existing outputs, and the selected row's name as the pattern is typed.
void buildNamingPage(QWidget* page, PageParts& parts, const ExampleName* example);

} // namespace settingsui
} // namespace sondrel
