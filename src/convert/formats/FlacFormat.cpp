// FLAC: the "flac" section and page, and the encoder's set-up. Rate, channels and sample width
// follow the source unless chosen; the compression level trades speed for size.
#include "AudioFile.h"
#include "OutputFormat.h"
#include "SettingsWidgets.h"
#include "TargetSetup.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace sondrel {

namespace {

using namespace settingsui;

QString configureFlac(const SettingsFile& s, EncoderTarget& target)
{
    target.writer.SetFlacOutput(stored::valueOf(s, keys::flacFrequency, flac_frequency_values),
                                stored::valueOf(s, keys::flacChannel, source_channel_values),
                                stored::valueOf(s, keys::flacBit, flac_bits_values),
                                stored::numberOf(s, keys::flacLevel, 0, 8));
    return {};
}

struct FlacLists {
    QComboBox* frequency;
    QComboBox* channel;
    QComboBox* bit;
    QComboBox* level;
};

QGroupBox* buildGeneralGroup(QWidget* page, FlacLists* lists, PageParts& parts)
{
    QGroupBox* general = makeGroup(page, QStringLiteral("General Options"), 310, 128);
    general->setObjectName(QStringLiteral("gb_flac_general"));
    QGridLayout* grid = makeGrid(general);
    QComboBox* frequency = lists->frequency =
        makeCombo(general, "cb_flac_frequency", sourceFrequencyItems(flac_frequency_values));
    QComboBox* channel = lists->channel = makeCombo(general, "cb_flac_channel", sourceChannelItems());
    QComboBox* bit = lists->bit = makeCombo(general, "cb_flac_bit",
                               {QStringLiteral("As the source"), QStringLiteral("16 bits"), QStringLiteral("24 bits")});
    grid->addWidget(makeLabel(general, QStringLiteral("Frequency: ")), 0, 0);
    grid->addWidget(frequency, 0, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Channel: ")), 1, 0);
    grid->addWidget(channel, 1, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Bit Per Sample:")), 2, 0);
    grid->addWidget(bit, 2, 1);
    addNotes(general, grid,
             {QStringLiteral("FLAC keeps every sample: \"As the source\" converts nothing "),
              QStringLiteral("that need not be converted. ")},
             parts);
    return general;
}

QGroupBox* buildCompressionGroup(QWidget* page, FlacLists* lists, PageParts& parts)
{
    QGroupBox* compression = makeGroup(page, QStringLiteral("Compression"), 310, 75);
    compression->setObjectName(QStringLiteral("gb_flac_compression"));
    QGridLayout* grid = makeGrid(compression);
    QStringList levels;
    for (int level = 0; level <= 8; ++level)
        levels << QString::number(level);
    QComboBox* level = lists->level = makeCombo(compression, "cb_flac_level", levels);
    grid->addWidget(makeLabel(compression, QStringLiteral("Level: ")), 0, 0);
    grid->addWidget(level, 0, 1);
    addNotes(compression, grid, {QStringLiteral("0 - fastest, bigger file, 8 - slowest, smallest file. ")}, parts);
    return compression;
}

void buildFlacPage(QWidget* page, PageParts& parts)
{
    QVBoxLayout* column = makeColumn(page);
    FlacLists lists{};
    column->addWidget(buildGeneralGroup(page, &lists, parts), 0, Qt::AlignHCenter);
    column->addWidget(buildCompressionGroup(page, &lists, parts), 0, Qt::AlignHCenter);
    column->addStretch(1);
    parts.bindings.insert(parts.bindings.end(), {{lists.level, keys::flacLevel},
                                                 {lists.bit, keys::flacBit},
                                                 {lists.frequency, keys::flacFrequency},
                                                 {lists.channel, keys::flacChannel}});
}

const OutputFormat Flac{
    4, "flac", "FLAC", ".flac", "flac",
    {"FLAC", "ts_flac", 4, buildFlacPage},
    configureFlac,
    TagAbility::Values | TagAbility::Fields | TagAbility::Pictures,
};

[[maybe_unused]] const bool registered = registerOutputFormat(Flac);

} // namespace

} // namespace sondrel
