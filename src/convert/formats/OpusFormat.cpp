// Opus (libopus in Ogg): the "opus" section and page, and the encoder's set-up. The bit rate is
// a number of kbps; Opus always plays at 48000 Hz.
#include "AudioFile.h"
#include "OutputFormat.h"
#include "SettingsWidgets.h"
#include "TargetSetup.h"
#include "UpDown.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace sondrel {

namespace {

using namespace settingsui;

QString configureOpus(const SettingsFile& s, EncoderTarget& target)
{
    const OpusRateControl modes[] = {OpusRateControl::Vbr, OpusRateControl::ConstrainedVbr, OpusRateControl::Cbr};
    target.writer.SetOpusOutput(stored::valueOf(s, keys::opusChannel, source_channel_values),
                                stored::numberOf(s, keys::opusKbps, 6, 510),
                                modes[stored::indexOf(s, keys::opusMode, opus_modes.size())]);
    return {};
}

void buildOpusPage(QWidget* page, PageParts& parts)
{
    QVBoxLayout* column = makeColumn(page);
    QGroupBox* general = makeGroup(page, QStringLiteral("General Options"), 310, 128);
    general->setObjectName(QStringLiteral("gb_opus_general"));
    QGridLayout* grid = makeGrid(general);
    QStringList modes;
    for (const char* mode : opus_modes)
        modes << QString::fromLatin1(mode);
    QComboBox* mode = makeCombo(general, "cb_opus_mode", modes);
    QComboBox* channel = makeCombo(general, "cb_opus_channel", sourceChannelItems());
    QLineEdit* bitrateField = nullptr;
    UpDown* bitrate = nullptr;
    grid->addWidget(makeLabel(general, QStringLiteral("Bitrate: ")), 0, 0);
    grid->addWidget(makeNumberField(general, &bitrateField, &bitrate, "edt_opus_bitrate", "ud_opus_bitrate", 34, 3, 6,
                                    510),
                    0, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Mode: ")), 1, 0);
    grid->addWidget(mode, 1, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Channel: ")), 2, 0);
    grid->addWidget(channel, 2, 1);
    addNotes(general, grid,
             {QStringLiteral("Bitrate in Kbps: 6 - speech, small file, 510 - best, big file. "),
              QStringLiteral("Opus plays at 48000 Hz; other rates are converted. ")},
             parts);

    column->addWidget(general, 0, Qt::AlignHCenter);
    column->addStretch(1);
    parts.bindings.insert(parts.bindings.end(),
                          {{bitrate, keys::opusKbps}, {mode, keys::opusMode}, {channel, keys::opusChannel}});
}

const OutputFormat Opus{
    5, "opus", "Opus", ".opus", "opus",
    {"Opus", "ts_opus", 5, buildOpusPage},
    configureOpus,
    TagAbility::Values | TagAbility::Fields | TagAbility::Pictures,
};

[[maybe_unused]] const bool registered = registerOutputFormat(Opus);

} // namespace

} // namespace sondrel
