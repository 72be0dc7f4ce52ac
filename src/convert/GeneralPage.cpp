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

namespace {

// ReplayGain tags and normalizing, measured from the audio as it is converted.
QGroupBox* buildLoudnessGroup(QWidget* page, PageParts& parts)
{
    QGroupBox* group = makeGroup(page, QStringLiteral("Loudness"), 310, 96);
    group->setObjectName(QStringLiteral("gb_loudness"));
    QComboBox* cb_gain = makeCombo(group, "cb_replaygain",
                                   {QStringLiteral("None"), QStringLiteral("Track"), QStringLiteral("Track and album")});
    cb_gain->setToolTip(QStringLiteral("ReplayGain 2.0 tags, measured by EBU R 128 from the converted audio.\n"
                                       "An album is the files that share album artist and album (without both: "
                                       "one folder);\nits files are finished together once the last is measured."));
    auto* cbx_normalize = new QCheckBox(QStringLiteral("Normalize the audio to -18 LUFS"), group);
    cbx_normalize->setObjectName(QStringLiteral("cbx_normalize"));
    cbx_normalize->setToolTip(QStringLiteral("Each file (each album, with album tags) is made as loud as the ReplayGain "
                                             "reference,\nnever past a true peak of -1 dBTP. Files are then always "
                                             "encoded, never copied."));
    QGridLayout* grid = makeGrid(group);
    grid->addWidget(makeLabel(group, QStringLiteral("ReplayGain tags:")), 0, 0);
    grid->addWidget(cb_gain, 0, 1);
    grid->addWidget(cbx_normalize, 1, 0, 1, 3);
    parts.bindings.push_back({cb_gain, keys::replayGain});
    parts.bindings.push_back({cbx_normalize, keys::normalize});
    return group;
}

} // namespace

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
    parts.bindings.push_back({cb_jobs, keys::jobs});
    parts.bindings.push_back({cbx_copy, keys::copySameFormat});
    column->addWidget(buildLoudnessGroup(page, parts), 0, Qt::AlignHCenter);
    column->addStretch(1);
}

} // namespace sondrel::settingsui
