// The General page of the settings dialog: how a conversion runs, whatever its format, and
// whether files already in the output's format are copied instead of encoded.
#include "Converter.h"
#include "SettingsWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace sondrel::settingsui {

void buildGeneralPage(QWidget* page, PageParts& parts)
{
    QVBoxLayout* column = makeColumn(page);
    QGroupBox* group = makeGroup(page, QStringLiteral("Conversion"), 310, 118);
    group->setObjectName(QStringLiteral("gb_jobs"));
    QStringList items{QStringLiteral("Automatic (%1)").arg(Converter::jobsFor(0))};
    for (int n = 1; n <= Converter::MaxJobs; ++n)
        items << QString::number(n);
    QComboBox* cb_jobs = makeCombo(group, "cb_jobs", items);
    cb_jobs->setMaxVisibleItems(17);
    QGridLayout* grid = makeGrid(group);
    grid->addWidget(makeLabel(group, QStringLiteral("Files converted at once:")), 0, 0);
    grid->addWidget(cb_jobs, 0, 1);
    parts.notes << new QLabel(QStringLiteral("Automatic converts one file per processor core."), group);
    grid->addWidget(parts.notes.last(), 1, 0, 1, 3);
    // A source already in the output format's codec has its audio copied as it is.
    auto* cbx_copy = new QCheckBox(
        QStringLiteral("Copy files already in the output's format\nwithout re-encoding"), group);
    cbx_copy->setObjectName(QStringLiteral("cbx_copy_same_format"));
    cbx_copy->setToolTip(QStringLiteral("An MP3 to MP3, a Vorbis .ogg to OGG, a FLAC to FLAC, an Opus to Opus, an "
                                        "AAC .m4a to M4A keeps its audio as it is:\nonly its tags are written. "
                                        "The format's settings do not apply to these files."));
    grid->addWidget(cbx_copy, 2, 0, 1, 3);

    column->addWidget(group, 0, Qt::AlignHCenter);
    column->addStretch(1);
    parts.bindings.push_back({cb_jobs, keys::jobs});
    parts.bindings.push_back({cbx_copy, keys::copySameFormat});
}

} // namespace sondrel::settingsui
