// The Naming page of the settings dialog: how outputs are named and what happens to outputs
// that exist.
#include "SettingsWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <array>

namespace sondrel::settingsui {

namespace {

struct ReadyPattern {
    const char* label;
    const char* pattern;
};
constexpr std::array<ReadyPattern, 5> ReadyPatterns{{
    {"As the file's name", ""},
    {"Artist/Album/Track Title", "{artist}/{album}/{track:02} {title}"},
    {"Album Artist/Year - Album/Disc-Track Title",
     "{albumartist|artist}/{year} - {album}/{disc|\"1\"}-{track:02} {title}"},
    {"Artist - Title", "{artist} - {title}"},
    {"Track Title", "{track:02} {title}"},
}};

// Shows what the selected row would be named, or what is wrong with the pattern.
void showExample(QLabel* label, const ExampleName* example, const QString& pattern, bool portable)
{
    QString error;
    const QString name = example && *example ? (*example)(pattern, portable, &error) : QString();
    label->setStyleSheet(error.isEmpty() ? QString() : QStringLiteral("color: #b00000;"));
    if (!error.isEmpty())
        label->setText(error);
    else
        label->setText(name.isEmpty() ? QStringLiteral("Select a file in the list to see its name here.")
                                      : QStringLiteral("Example: ") + name);
}

QGroupBox* buildNamesGroup(QWidget* page, PageParts& parts, const ExampleName* example)
{
    QGroupBox* group = makeGroup(page, QStringLiteral("Output names"), 320, 150);
    group->setObjectName(QStringLiteral("gb_names"));
    auto* edt_pattern = new QLineEdit(group);
    edt_pattern->setObjectName(QStringLiteral("edt_pattern"));
    edt_pattern->setPlaceholderText(QStringLiteral("the file's own name"));
    edt_pattern->setToolTip(QStringLiteral("Fields: {name} {title} {artist} {album} {albumartist} {track} {tracktotal} "
                                           "{disc} {disctotal} {year} {genre} {composer} {folder} {format}.\n"
                                           "{a|b|\"text\"} takes the first that is not empty; {track:02} pads "
                                           "with zeros; \"/\" makes folders."));
    QStringList labels;
    for (const ReadyPattern& r : ReadyPatterns)
        labels << QString::fromLatin1(r.label);
    QComboBox* cb_ready = makeCombo(group, "cb_ready_pattern", labels);
    auto* cbx_portable = new QCheckBox(QStringLiteral("Names safe for FAT/NTFS drives and memory cards"), group);
    cbx_portable->setObjectName(QStringLiteral("cbx_portable"));
    auto* lbl_example = new QLabel(group);
    lbl_example->setObjectName(QStringLiteral("lbl_example"));
    lbl_example->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(GroupMargin, GroupMargin, GroupMargin, GroupMargin);
    grid->addWidget(makeLabel(group, QStringLiteral("Pattern:")), 0, 0);
    grid->addWidget(edt_pattern, 0, 1);
    grid->addWidget(makeLabel(group, QStringLiteral("Ready:")), 1, 0);
    grid->addWidget(cb_ready, 1, 1, Qt::AlignLeft);
    grid->addWidget(cbx_portable, 2, 0, 1, 2);
    grid->addWidget(lbl_example, 3, 0, 1, 2);
    grid->setRowStretch(4, 1);

    QObject::connect(cb_ready, &QComboBox::activated, edt_pattern, [edt_pattern](int index) {
        edt_pattern->setText(QString::fromLatin1(ReadyPatterns[std::size_t(index)].pattern));
    });
    const auto update = [=] { showExample(lbl_example, example, edt_pattern->text(), cbx_portable->isChecked()); };
    QObject::connect(edt_pattern, &QLineEdit::textChanged, lbl_example, update);
    QObject::connect(cbx_portable, &QCheckBox::toggled, lbl_example, update);
    parts.rules.push_back(update); // after loading: the stored pattern's example
    parts.bindings.push_back({edt_pattern, {}, {}, &keys::namePattern});
    parts.bindings.push_back({cbx_portable, keys::portableNames});
    return group;
}

QGroupBox* buildExistingGroup(QWidget* page, PageParts& parts)
{
    QGroupBox* group = makeGroup(page, QStringLiteral("Existing outputs"), 320, 75);
    group->setObjectName(QStringLiteral("gb_existing"));
    QComboBox* cb_existing = makeCombo(group, "cb_existing",
                                       {QStringLiteral("Ask"), QStringLiteral("Skip"), QStringLiteral("Overwrite"),
                                        QStringLiteral("Rename: name (2)"),
                                        QStringLiteral("Update if older than the source")});
    QGridLayout* grid = makeGrid(group);
    grid->addWidget(makeLabel(group, QStringLiteral("If it exists:")), 0, 0);
    grid->addWidget(cb_existing, 0, 1);
    auto* cbx_playlist = new QCheckBox(QStringLiteral("Write a playlist of each run (.m3u8)"), group);
    cbx_playlist->setObjectName(QStringLiteral("cbx_playlist"));
    grid->addWidget(cbx_playlist, 1, 0, 1, 3);
    cb_existing->setToolTip(QStringLiteral("Two files of one name in one run never write over each other: the "
                                           "later one is named \"name (2)\"."));
    parts.bindings.push_back({cb_existing, keys::existing});
    parts.bindings.push_back({cbx_playlist, keys::playlist});
    return group;
}

} // namespace

void buildNamingPage(QWidget* page, PageParts& parts, const ExampleName* example)
{
    QVBoxLayout* column = makeColumn(page);
    column->addWidget(buildNamesGroup(page, parts, example), 0, Qt::AlignHCenter);
    column->addWidget(buildExistingGroup(page, parts), 0, Qt::AlignHCenter);
    column->addStretch(1);
}

} // namespace sondrel::settingsui
