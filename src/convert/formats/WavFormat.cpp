// WAV (PCM): the "wav" section and page, and the writer's set-up. CD quality, the source's own
// rate and channels, or a custom rate, channel count and sample width.
#include "AudioFile.h"
#include "OutputFormat.h"
#include "SettingsWidgets.h"
#include "TargetSetup.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace sondrel {

namespace {

using namespace settingsui;

QString configureWav(const SettingsFile& s, EncoderTarget& target)
{
    // A mode outside the three choices is the default one, so the writer never keeps the
    // format of an earlier run under a ".wav" name.
    const int mode = stored::indexOf(s, keys::wavMode, 3);
    if (mode == 0)
        target.writer.SetWavOutput(44100, 2, 16);
    else if (mode == 1)
        target.writer.SetWavOutput(0, 0, 16); // each file keeps its own rate and channels
    else
        target.writer.SetWavOutput(stored::frequencyOf(s, keys::wavFrequency), stored::channelsOf(s, keys::wavChannel),
                                   stored::valueOf(s, keys::wavBit, bits_per_sample_values));
    return {};
}

struct ModeButtons {
    QRadioButton* cdQuality;
    QRadioButton* bestSuited;
    QRadioButton* custom;
};

QGroupBox* buildModeGroup(QWidget* page, ModeButtons* buttons, PageParts& parts)
{
    QGroupBox* mode = makeGroup(page, QStringLiteral("Mode"), 307, 90);
    mode->setObjectName(QStringLiteral("gb_wav_mode"));
    auto* radios = new QVBoxLayout(mode);
    radios->setContentsMargins(GroupMargin, 2, GroupMargin, 4);
    radios->setSpacing(1);
    const auto makeRadio = [mode, radios](const char* name, const QString& text) {
        auto* rb = new QRadioButton(text, mode);
        rb->setObjectName(QLatin1String(name));
        radios->addWidget(rb);
        return rb;
    };
    buttons->cdQuality = makeRadio("rb_cdquality", QStringLiteral("CD quality WAV format (for burning audio CD)"));
    buttons->bestSuited = makeRadio("rb_bestsuited", QStringLiteral("Best suited WAV format"));
    buttons->custom = makeRadio("rb_custom", QStringLiteral("Custom format"));
    parts.notes << new QLabel(QStringLiteral("To set the parameters below, please choose \"Custom Format\" "), mode);
    radios->addWidget(parts.notes.last());
    radios->addStretch(1);
    return mode;
}

void buildWavPage(QWidget* page, PageParts& parts)
{
    QVBoxLayout* column = makeColumn(page);
    ModeButtons rb{};
    QGroupBox* mode = buildModeGroup(page, &rb, parts);

    QGroupBox* general = makeGroup(page, QStringLiteral("General Options"), 307, 119);
    general->setObjectName(QStringLiteral("gb_wav_general"));
    QGridLayout* grid = makeGrid(general);
    QComboBox* frequency = makeCombo(general, "cb_wav_frequency", frequencyItems());
    QComboBox* channel = makeCombo(general, "cb_wav_channel", channelItems());
    QComboBox* bit = makeCombo(general, "cb_wav_bit", bitItems());
    grid->addWidget(makeLabel(general, QStringLiteral("Frequency: ")), 0, 0);
    grid->addWidget(frequency, 0, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Channel:")), 0, 3);
    grid->addWidget(channel, 0, 4);
    grid->addWidget(makeLabel(general, QStringLiteral("Bit Per Sample:")), 1, 0);
    grid->addWidget(bit, 1, 1);
    addNotes(general, grid,
             {QStringLiteral("To small created file, low frequency or bit per sample, but "),
              QStringLiteral("quality will be lowered accordingly. ")},
             parts);

    column->addWidget(mode, 0, Qt::AlignHCenter);
    column->addWidget(general, 0, Qt::AlignHCenter);
    column->addStretch(1);

    // The three lists are the custom format: they take part only when it is chosen.
    const auto rb_cdqualityClick = [=] {
        const bool custom = rb.custom->isChecked();
        frequency->setEnabled(custom);
        bit->setEnabled(custom);
        channel->setEnabled(custom);
    };
    addRule(parts, {rb.cdQuality, rb.bestSuited, rb.custom}, rb_cdqualityClick);
    parts.bindings.insert(parts.bindings.end(), {{rb.cdQuality, keys::wavMode, {rb.cdQuality, rb.bestSuited, rb.custom}},
                                                 {bit, keys::wavBit},
                                                 {channel, keys::wavChannel},
                                                 {frequency, keys::wavFrequency}});
}

const OutputFormat Wav{
    1, "wav", "WAV", ".wav", "wav",
    {"WAV", "ts_wav", 1, buildWavPage},
    configureWav,
    TagAbility::Values | TagAbility::Fields | TagAbility::Pictures,
};

[[maybe_unused]] const bool registered = registerOutputFormat(Wav);

} // namespace

} // namespace sondrel
