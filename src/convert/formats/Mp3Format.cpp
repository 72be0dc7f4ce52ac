// MP3 through LAME: the "mp3" section and page, and the encoder's set-up. Sample rate, bit
// rate and channels must make an MPEG layer III stream; the VBR choice replaces the bit rate.
#include "AudioFile.h"
#include "ExceptionHook.h"
#include "LameEncSettings.h"
#include "OutputFormat.h"
#include "SettingsWidgets.h"
#include "TargetSetup.h"
#include "UpDown.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace sondrel {

namespace {

using namespace settingsui;

const QString Mp3NotSupported = QStringLiteral(
    "This MP3 format not supported, please try another bit rate or frequency.");

QString configureMp3(const SettingsFile& s, EncoderTarget& target)
{
    LameEncSettings& lame = target.lame;
    lame.Frequency = stored::frequencyOf(s, keys::mp3Frequency);
    lame.Bitrate = stored::bitrateOf(s, keys::mp3Bitrate);
    lame.Channels = stored::channelsOf(s, keys::mp3Channel);
    lame.Quality = stored::numberOf(s, keys::mp3Quality, 0, 9);
    // A yes/no key, read as the dialog reads it: any value but 0 is on. So the encoder never
    // keeps the VBR choice of an earlier run.
    lame.VbrDisabled = readKey(s, keys::mp3EnableVbr) == 0;
    if (!lame.VbrDisabled) {
        lame.VbrBitrate = stored::bitrateOf(s, keys::mp3VbrBitrate);
        lame.VbrQuality = stored::numberOf(s, keys::mp3VbrQuality, 0, 9);
    }
    if (!target.writer.SetMp3Output(lame.Frequency, lame.Bitrate, lame.Channels))
        return Mp3NotSupported;
    target.writer.SetMp3Encoder(lame);
    return {};
}

QGroupBox* buildGeneralGroup(QWidget* page, PageParts& parts)
{
    QGroupBox* general = makeGroup(page, QStringLiteral("General Options"), 310, 113);
    general->setObjectName(QStringLiteral("gb_mp3_general"));
    QGridLayout* grid = makeGrid(general);
    QComboBox* frequency = makeCombo(general, "cb_mp3_frequency", frequencyItems());
    QComboBox* channel = makeCombo(general, "cb_mp3_channel", channelItems());
    QComboBox* bitrate = makeCombo(general, "cb_mp3_bitrate", bitrateItems());
    QLineEdit* qualityField = nullptr;
    UpDown* quality = nullptr;
    grid->addWidget(makeLabel(general, QStringLiteral("Frequency: ")), 0, 0);
    grid->addWidget(frequency, 0, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Channel: ")), 0, 3);
    grid->addWidget(channel, 0, 4);
    grid->addWidget(makeLabel(general, QStringLiteral("Bitrate: ")), 1, 0);
    grid->addWidget(bitrate, 1, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Quality: ")), 1, 3);
    grid->addWidget(makeNumberField(general, &qualityField, &quality, "edt_mp3_quality", "ud_mp3_quality", 30, 1, 0, 9),
                    1, 4);
    addNotes(general, grid,
             {QStringLiteral("8Kbps - poor quality, small file, 320Kbps - good quality, big file"),
              QStringLiteral("Quality: 0 - best quality, low speed, 9 - low quality, fast speed. ")},
             parts);
    parts.bindings.insert(parts.bindings.end(), {{bitrate, keys::mp3Bitrate},
                                                 {channel, keys::mp3Channel},
                                                 {frequency, keys::mp3Frequency},
                                                 {quality, keys::mp3Quality}});
    return general;
}

QGroupBox* buildVbrGroup(QWidget* page, PageParts& parts)
{
    QGroupBox* vbr = makeGroup(page, QStringLiteral("VBR (Variable Bit Rate)"), 310, 96);
    vbr->setObjectName(QStringLiteral("gb_mp3_vbr"));
    QGridLayout* grid = makeGrid(vbr);
    auto* cb_vbr = new QCheckBox(QStringLiteral("Enable VBR"), vbr);
    cb_vbr->setObjectName(QStringLiteral("cb_vbr"));
    QComboBox* cb_mp3_vbr = makeCombo(vbr, "cb_mp3_vbr", bitrateItems());
    QLineEdit* edt_mp3_vbr = nullptr;
    UpDown* ud_mp3_vbr = nullptr;
    grid->addWidget(cb_vbr, 0, 0, 1, 2);
    grid->addWidget(makeLabel(vbr, QStringLiteral("VBR Bitrate: ")), 1, 0);
    grid->addWidget(cb_mp3_vbr, 1, 1);
    grid->addWidget(makeLabel(vbr, QStringLiteral("VBR Quality: ")), 1, 3);
    grid->addWidget(makeNumberField(vbr, &edt_mp3_vbr, &ud_mp3_vbr, "edt_mp3_vbr", "ud_mp3_vbr", 30, 1, 0, 9), 1, 4);
    addNotes(vbr, grid, {QStringLiteral("Quality: 0 - best quality, low speed, 9 - low quality, fast speed. ")},
             parts);

    // The VBR settings take part only while VBR is on.
    const auto cb_vbrClick = [=] {
        const bool on = cb_vbr->isChecked();
        cb_mp3_vbr->setEnabled(on);
        edt_mp3_vbr->setEnabled(on);
        ud_mp3_vbr->setEnabled(on);
    };
    addRule(parts, {cb_vbr}, cb_vbrClick);
    parts.bindings.insert(parts.bindings.end(), {{cb_vbr, keys::mp3EnableVbr},
                                                 {cb_mp3_vbr, keys::mp3VbrBitrate},
                                                 {ud_mp3_vbr, keys::mp3VbrQuality}});
    return vbr;
}

void buildMp3Page(QWidget* page, PageParts& parts)
{
    QVBoxLayout* column = makeColumn(page);
    column->addWidget(buildGeneralGroup(page, parts), 0, Qt::AlignHCenter);
    column->addWidget(buildVbrGroup(page, parts), 0, Qt::AlignHCenter);
    column->addStretch(1);
}

const OutputFormat Mp3{
    0, "mp3", "MP3", ".mp3", "mp3",
    {"MP3", "ts_mp3", 0, buildMp3Page},
    configureMp3,
    TagAbility::Values | TagAbility::Fields | TagAbility::Pictures,
};

[[maybe_unused]] const bool registered = registerOutputFormat(Mp3);

} // namespace

} // namespace sondrel
