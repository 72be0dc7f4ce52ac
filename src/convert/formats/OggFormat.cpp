// Ogg Vorbis through libvorbisenc: the "ogg" section and page, and the encoder's set-up. Either
// a quality drives the encoder, or a managed bit rate, which libvorbisenc must accept.
#include "AudioFile.h"
#include "ExceptionHook.h"
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

const QString OggNotSupported = QStringLiteral(
    "This OGG format not supported, please try another bit rate or frequency.");

QString configureOgg(const SettingsFile& s, EncoderTarget& target)
{
    const bool quality = readKey(s, keys::oggEnableQualityConvert) != 0;
    const int rate = stored::frequencyOf(s, keys::oggFrequency);
    const int channels = stored::channelsOf(s, keys::oggChannel);
    const int nominal = stored::bitrateOf(s, keys::oggBitrate);
    const int maximum = stored::bitrateOf(s, keys::oggMaxBitrate);
    const int minimum = stored::bitrateOf(s, keys::oggMinBitrate);
    if (quality) {
        const int q = stored::numberOf(s, keys::oggQuality, 0, 1000);
        target.writer.SetOggOutput(rate, channels, nominal, maximum, minimum, std::int16_t(q));
        return {};
    }
    if (!target.writer.CheckOggOutput(rate, channels, nominal, maximum, minimum))
        return OggNotSupported;
    target.writer.SetOggOutput(rate, channels, nominal, maximum, minimum, -1);
    return {};
}

QGroupBox* buildGeneralGroup(QWidget* page, PageParts& parts)
{
    QGroupBox* general = makeGroup(page, QStringLiteral("General Options"), 310, 87);
    general->setObjectName(QStringLiteral("gb_ogg_general"));
    QGridLayout* grid = makeGrid(general);
    QComboBox* frequency = makeCombo(general, "cb_ogg_fre", frequencyItems());
    QComboBox* channel = makeCombo(general, "cb_ogg_channel", channelItems());
    QComboBox* bitrate = makeCombo(general, "cb_ogg_bitrate", bitrateItems());
    grid->addWidget(makeLabel(general, QStringLiteral("Frequency: ")), 0, 0);
    grid->addWidget(frequency, 0, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Channel: ")), 0, 3);
    grid->addWidget(channel, 0, 4);
    grid->addWidget(makeLabel(general, QStringLiteral("Bitrate: ")), 1, 0);
    grid->addWidget(bitrate, 1, 1);
    addNotes(general, grid, {QStringLiteral("8Kbps - poor quality, small file, 320Kbps - good quality, big file")}, parts);
    parts.bindings.insert(parts.bindings.end(),
                          {{channel, keys::oggChannel}, {frequency, keys::oggFrequency}, {bitrate, keys::oggBitrate}});
    return general;
}

// The quality field: what is typed becomes the up-down's position, 1000 at most; an emptied
// field is 0 and shows "0" once the focus leaves it.
void addQualityRules(QLineEdit* edt_ogg_quality, UpDown* ud_ogg_quality)
{
    const auto edt_ogg_qualityChange = [=] {
        const QString text = edt_ogg_quality->text();
        if (text.trimmed().isEmpty()) {
            // An emptied field means 0; the field stays empty until the focus leaves it.
            ud_ogg_quality->setStoredPosition(0);
            return;
        }
        int n = 0;
        if (!UpDown::parseGrouped(text, &n)) {
            // Pasted text that is no number: the position stays and the field shows it again.
            ud_ogg_quality->setPosition(ud_ogg_quality->storedPosition());
            return;
        }
        ud_ogg_quality->setPosition(n > 999 ? 1000 : n);
    };
    QObject::connect(edt_ogg_quality, &QLineEdit::textChanged, edt_ogg_quality,
                     guarded([=](const QString&) { edt_ogg_qualityChange(); }));
    onFocusLeaving(edt_ogg_quality, [=] {
        if (edt_ogg_quality->text().isEmpty())
            edt_ogg_quality->setText(QStringLiteral("0"));
    });
}

QGroupBox* buildVbrGroup(QWidget* page, PageParts& parts)
{
    QGroupBox* vbr = makeGroup(page, QStringLiteral("VBR (Variable Bit Rate)"), 310, 133);
    vbr->setObjectName(QStringLiteral("gb_ogg_vbr"));
    QGridLayout* grid = makeGrid(vbr);
    auto* cb_ogg_quality = new QCheckBox(QStringLiteral("Enable Quality"), vbr);
    cb_ogg_quality->setObjectName(QStringLiteral("cb_ogg_quality"));
    QComboBox* minimum = makeCombo(vbr, "cb_ogg_minbit", bitrateItems());
    QComboBox* maximum = makeCombo(vbr, "cb_ogg_maxbit", bitrateItems());
    QLineEdit* edt_ogg_quality = nullptr;
    UpDown* ud_ogg_quality = nullptr;
    grid->addWidget(cb_ogg_quality, 0, 0, 1, 2);
    grid->addWidget(makeLabel(vbr, QStringLiteral("Min Bitrate: ")), 0, 3);
    grid->addWidget(minimum, 0, 4);
    grid->addWidget(makeLabel(vbr, QStringLiteral("VBR Quality: ")), 1, 0);
    grid->addWidget(makeNumberField(vbr, &edt_ogg_quality, &ud_ogg_quality, "edt_ogg_quality", "ud_ogg_quality", 40,
                                    5, 0, 1000),
                    1, 1);
    grid->addWidget(makeLabel(vbr, QStringLiteral("Max Bitrate: ")), 1, 3);
    grid->addWidget(maximum, 1, 4);
    addNotes(vbr, grid,
             {QStringLiteral("0 - best quality, low speed, 1000 - low quality, fast speed . "),
              QStringLiteral("If quality enabled, the bitrate just affects the conversion "),
              QStringLiteral("speed and the quality of the result file, not decide. ")},
             parts);

    // A quality drives the encoder, or the bit rates limit it: never both.
    const auto cb_ogg_qualityClick = [=] {
        const bool quality = cb_ogg_quality->isChecked();
        edt_ogg_quality->setEnabled(quality);
        ud_ogg_quality->setEnabled(quality);
        minimum->setEnabled(!quality);
        maximum->setEnabled(!quality);
    };
    addRule(parts, {cb_ogg_quality}, cb_ogg_qualityClick);
    addQualityRules(edt_ogg_quality, ud_ogg_quality);
    parts.bindings.insert(parts.bindings.end(), {{maximum, keys::oggMaxBitrate},
                                                 {minimum, keys::oggMinBitrate},
                                                 {cb_ogg_quality, keys::oggEnableQualityDialog},
                                                 {ud_ogg_quality, keys::oggQuality}});
    return vbr;
}

void buildOggPage(QWidget* page, PageParts& parts)
{
    QVBoxLayout* column = makeColumn(page);
    column->addWidget(buildGeneralGroup(page, parts), 0, Qt::AlignHCenter);
    column->addWidget(buildVbrGroup(page, parts), 0, Qt::AlignHCenter);
    column->addStretch(1);
}

const OutputFormat Ogg{
    3, "ogg", "OGG", ".ogg", "ogg",
    {"OGG", "ts_ogg", 2, buildOggPage},
    configureOgg,
    TagAbility::Values | TagAbility::Fields | TagAbility::Pictures,
};

[[maybe_unused]] const bool registered = registerOutputFormat(Ogg);

} // namespace

} // namespace sondrel
