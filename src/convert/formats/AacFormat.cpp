// M4A (AAC-LC through FFmpeg's aac encoder): the "aac" section and page, and the encoder's
// set-up. Rate and channels follow the source unless chosen; a followed rate goes no higher
// than 48 kHz, since many phones and car players refuse AAC at 88.2 or 96 kHz.
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

constexpr int kHighestFollowedRate = 48000;

QString configureAac(const SettingsFile& s, EncoderTarget& target)
{
    target.writer.SetAacOutput(stored::valueOf(s, keys::aacFrequency, aac_frequency_values),
                               stored::valueOf(s, keys::aacChannel, source_channel_values),
                               stored::bitrateOf(s, keys::aacBitrate), kHighestFollowedRate);
    return {};
}

QStringList frequencyItems()
{
    QStringList items = sourceFrequencyItems(aac_frequency_values);
    items.front() = QStringLiteral("As the source (up to 48 kHz)");
    return items;
}

void buildAacPage(QWidget* page, PageParts& parts)
{
    QVBoxLayout* column = makeColumn(page);
    QGroupBox* general = makeGroup(page, QStringLiteral("General Options"), 310, 128);
    general->setObjectName(QStringLiteral("gb_aac_general"));
    QGridLayout* grid = makeGrid(general);
    QComboBox* frequency = makeCombo(general, "cb_aac_frequency", frequencyItems());
    QComboBox* channel = makeCombo(general, "cb_aac_channel", sourceChannelItems());
    QComboBox* bitrate = makeCombo(general, "cb_aac_bitrate", bitrateItems());
    grid->addWidget(makeLabel(general, QStringLiteral("Bitrate: ")), 0, 0);
    grid->addWidget(bitrate, 0, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Frequency: ")), 1, 0);
    grid->addWidget(frequency, 1, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Channel: ")), 2, 0);
    grid->addWidget(channel, 2, 1);
    addNotes(general, grid,
             {QStringLiteral("AAC-LC in an M4A file, as phones and cars play it. "),
              QStringLiteral("128Kbps - good, 192Kbps - very good, 256Kbps - best. ")},
             parts);

    column->addWidget(general, 0, Qt::AlignHCenter);
    column->addStretch(1);
    parts.bindings.insert(parts.bindings.end(),
                          {{bitrate, keys::aacBitrate}, {frequency, keys::aacFrequency}, {channel, keys::aacChannel}});
}

const OutputFormat Aac{
    6, "m4a", "M4A", ".m4a", "aac",
    {"M4A (AAC)", "ts_aac", 6, buildAacPage},
    configureAac,
    TagAbility::Values | TagAbility::Fields | TagAbility::Pictures,
};

[[maybe_unused]] const bool registered = registerOutputFormat(Aac);

} // namespace

} // namespace sondrel
