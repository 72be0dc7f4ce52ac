// The General page of the settings dialog: how a conversion runs, whatever its format.
#include "Converter.h"
#include "SettingsWidgets.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace sondrel::settingsui {

void buildGeneralPage(QWidget* page, PageParts& parts)
{
    QVBoxLayout* column = makeColumn(page);
    QGroupBox* group = makeGroup(page, QStringLiteral("Conversion"), 310, 75);
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

    column->addWidget(group, 0, Qt::AlignHCenter);
    column->addStretch(1);
    parts.bindings.push_back({cb_jobs, keys::jobs});
}

} // namespace sondrel::settingsui
