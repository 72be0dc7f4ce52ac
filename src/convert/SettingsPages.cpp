// The pages of the settings dialog: each builds its controls and lists, in one binding table,
// which key each control shows.
#include "SettingsDialog.h"

#include "Converter.h"
#include "SettingsWidgets.h"
#include "UpDown.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace sondrel {

using namespace settingsui;

void Tfm_set::buildMp3Page(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 5, 0, 0);
    column->setSpacing(5);

    QGroupBox* general = makeGroup(page, QStringLiteral("General Options"), 310, 113);
    general->setObjectName(QStringLiteral("gb_mp3_general"));
    QGridLayout* grid = makeGrid(general);
    cb_mp3_frequency = makeCombo(general, "cb_mp3_frequency", frequencyItems());
    cb_mp3_channel = makeCombo(general, "cb_mp3_channel", channelItems());
    cb_mp3_bitrate = makeCombo(general, "cb_mp3_bitrate", bitrateItems());
    grid->addWidget(makeLabel(general, QStringLiteral("Frequency: ")), 0, 0);
    grid->addWidget(cb_mp3_frequency, 0, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Channel: ")), 0, 3);
    grid->addWidget(cb_mp3_channel, 0, 4);
    grid->addWidget(makeLabel(general, QStringLiteral("Bitrate: ")), 1, 0);
    grid->addWidget(cb_mp3_bitrate, 1, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Quality: ")), 1, 3);
    grid->addWidget(makeNumberField(general, &edt_mp3_quality, &ud_mp3_quality, "edt_mp3_quality",
                                    "ud_mp3_quality", 30, 1, 0, 9),
                    1, 4);
    for (const QString& text :
         {QStringLiteral("8Kbps - poor quality, small file, 320Kbps - good quality, big file"),
          QStringLiteral("Quality: 0 - best quality, low speed, 9 - low quality, fast speed. ")}) {
        m_notes << new QLabel(text, general);
        grid->addWidget(m_notes.last(), grid->rowCount(), 0, 1, 5);
    }
    grid->setRowStretch(grid->rowCount(), 1);

    QGroupBox* vbr = makeGroup(page, QStringLiteral("VBR (Variable Bit Rate)"), 310, 96);
    vbr->setObjectName(QStringLiteral("gb_mp3_vbr"));
    grid = makeGrid(vbr);
    cb_vbr = new QCheckBox(QStringLiteral("Enable VBR"), vbr);
    cb_vbr->setObjectName(QStringLiteral("cb_vbr"));
    cb_mp3_vbr = makeCombo(vbr, "cb_mp3_vbr", bitrateItems());
    grid->addWidget(cb_vbr, 0, 0, 1, 2);
    grid->addWidget(makeLabel(vbr, QStringLiteral("VBR Bitrate: ")), 1, 0);
    grid->addWidget(cb_mp3_vbr, 1, 1);
    grid->addWidget(makeLabel(vbr, QStringLiteral("VBR Quality: ")), 1, 3);
    grid->addWidget(makeNumberField(vbr, &edt_mp3_vbr, &ud_mp3_vbr, "edt_mp3_vbr", "ud_mp3_vbr",
                                    30, 1, 0, 9),
                    1, 4);
    m_notes << new QLabel(
        QStringLiteral("Quality: 0 - best quality, low speed, 9 - low quality, fast speed. "), vbr);
    grid->addWidget(m_notes.last(), 2, 0, 1, 5);
    grid->setRowStretch(3, 1);

    column->addWidget(general, 0, Qt::AlignHCenter);
    column->addWidget(vbr, 0, Qt::AlignHCenter);
    column->addStretch(1);

    bind({
        {cb_mp3_bitrate, keys::mp3Bitrate},
        {cb_mp3_channel, keys::mp3Channel},
        {cb_mp3_frequency, keys::mp3Frequency},
        {ud_mp3_quality, keys::mp3Quality},
        {cb_vbr, keys::mp3EnableVbr},
        {cb_mp3_vbr, keys::mp3VbrBitrate},
        {ud_mp3_vbr, keys::mp3VbrQuality},
    });
}

void Tfm_set::buildWavPage(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 5, 0, 0);
    column->setSpacing(5);

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
    rb_cdquality = makeRadio("rb_cdquality", QStringLiteral("CD quality WAV format (for burning audio CD)"));
    rb_bestsuited = makeRadio("rb_bestsuited", QStringLiteral("Best suited WAV format"));
    rb_custom = makeRadio("rb_custom", QStringLiteral("Custom format"));
    m_notes << new QLabel(
        QStringLiteral("To set the parameters below, please choose \"Custom Format\" "), mode);
    radios->addWidget(m_notes.last());
    radios->addStretch(1);

    QGroupBox* general = makeGroup(page, QStringLiteral("General Options"), 307, 119);
    general->setObjectName(QStringLiteral("gb_wav_general"));
    QGridLayout* grid = makeGrid(general);
    cb_wav_frequency = makeCombo(general, "cb_wav_frequency", frequencyItems());
    cb_wav_channel = makeCombo(general, "cb_wav_channel", channelItems());
    cb_wav_bit = makeCombo(general, "cb_wav_bit", bitItems());
    grid->addWidget(makeLabel(general, QStringLiteral("Frequency: ")), 0, 0);
    grid->addWidget(cb_wav_frequency, 0, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Channel:")), 0, 3);
    grid->addWidget(cb_wav_channel, 0, 4);
    grid->addWidget(makeLabel(general, QStringLiteral("Bit Per Sample:")), 1, 0);
    grid->addWidget(cb_wav_bit, 1, 1);
    for (const QString& text :
         {QStringLiteral("To small created file, low frequency or bit per sample, but "),
          QStringLiteral("quality will be lowered accordingly. ")}) {
        m_notes << new QLabel(text, general);
        grid->addWidget(m_notes.last(), grid->rowCount(), 0, 1, 5);
    }
    grid->setRowStretch(grid->rowCount(), 1);

    column->addWidget(mode, 0, Qt::AlignHCenter);
    column->addWidget(general, 0, Qt::AlignHCenter);
    column->addStretch(1);

    bind({
        {rb_cdquality, keys::wavMode, {rb_cdquality, rb_bestsuited, rb_custom}},
        {cb_wav_bit, keys::wavBit},
        {cb_wav_channel, keys::wavChannel},
        {cb_wav_frequency, keys::wavFrequency},
    });
}

void Tfm_set::buildOggPage(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 5, 0, 0);
    column->setSpacing(5);

    QGroupBox* general = makeGroup(page, QStringLiteral("General Options"), 310, 87);
    general->setObjectName(QStringLiteral("gb_ogg_general"));
    QGridLayout* grid = makeGrid(general);
    cb_ogg_fre = makeCombo(general, "cb_ogg_fre", frequencyItems());
    cb_ogg_channel = makeCombo(general, "cb_ogg_channel", channelItems());
    cb_ogg_bitrate = makeCombo(general, "cb_ogg_bitrate", bitrateItems());
    grid->addWidget(makeLabel(general, QStringLiteral("Frequency: ")), 0, 0);
    grid->addWidget(cb_ogg_fre, 0, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Channel: ")), 0, 3);
    grid->addWidget(cb_ogg_channel, 0, 4);
    grid->addWidget(makeLabel(general, QStringLiteral("Bitrate: ")), 1, 0);
    grid->addWidget(cb_ogg_bitrate, 1, 1);
    m_notes << new QLabel(
        QStringLiteral("8Kbps - poor quality, small file, 320Kbps - good quality, big file"),
        general);
    grid->addWidget(m_notes.last(), 2, 0, 1, 5);
    grid->setRowStretch(3, 1);

    QGroupBox* vbr = makeGroup(page, QStringLiteral("VBR (Variable Bit Rate)"), 310, 133);
    vbr->setObjectName(QStringLiteral("gb_ogg_vbr"));
    grid = makeGrid(vbr);
    cb_ogg_quality = new QCheckBox(QStringLiteral("Enable Quality"), vbr);
    cb_ogg_quality->setObjectName(QStringLiteral("cb_ogg_quality"));
    cb_ogg_minbit = makeCombo(vbr, "cb_ogg_minbit", bitrateItems());
    cb_ogg_maxbit = makeCombo(vbr, "cb_ogg_maxbit", bitrateItems());
    grid->addWidget(cb_ogg_quality, 0, 0, 1, 2);
    grid->addWidget(makeLabel(vbr, QStringLiteral("Min Bitrate: ")), 0, 3);
    grid->addWidget(cb_ogg_minbit, 0, 4);
    grid->addWidget(makeLabel(vbr, QStringLiteral("VBR Quality: ")), 1, 0);
    grid->addWidget(makeNumberField(vbr, &edt_ogg_quality, &ud_ogg_quality, "edt_ogg_quality",
                                    "ud_ogg_quality", 40, 5, 0, 1000),
                    1, 1);
    grid->addWidget(makeLabel(vbr, QStringLiteral("Max Bitrate: ")), 1, 3);
    grid->addWidget(cb_ogg_maxbit, 1, 4);
    for (const QString& text :
         {QStringLiteral("0 - best quality, low speed, 1000 - low quality, fast speed . "),
          QStringLiteral("If quality enabled, the bitrate just affects the conversion "),
          QStringLiteral("speed and the quality of the result file, not decide. ")}) {
        m_notes << new QLabel(text, vbr);
        grid->addWidget(m_notes.last(), grid->rowCount(), 0, 1, 5);
    }
    grid->setRowStretch(grid->rowCount(), 1);

    column->addWidget(general, 0, Qt::AlignHCenter);
    column->addWidget(vbr, 0, Qt::AlignHCenter);
    column->addStretch(1);

    bind({
        {cb_ogg_channel, keys::oggChannel},
        {cb_ogg_fre, keys::oggFrequency},
        {cb_ogg_bitrate, keys::oggBitrate},
        {cb_ogg_maxbit, keys::oggMaxBitrate},
        {cb_ogg_minbit, keys::oggMinBitrate},
        {cb_ogg_quality, keys::oggEnableQualityDialog},
        {ud_ogg_quality, keys::oggQuality},
    });
}

void Tfm_set::buildWmaPage(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 5, 0, 0);
    column->setSpacing(5);

    QGroupBox* format = makeGroup(page, QStringLiteral("WMA Format"), 309, 103);
    format->setObjectName(QStringLiteral("gb_wma"));
    QStringList names;
    for (const char* name : wma_profiles)
        names << QString::fromLatin1(name);
    cb_wma = makeCombo(format, "cb_wma", names);
    cb_wma->setFixedWidth(288);
    auto* box = new QVBoxLayout(format);
    box->setContentsMargins(0, 0, 0, 4);
    box->addStretch(1);
    box->addWidget(cb_wma, 0, Qt::AlignHCenter);
    box->addStretch(1);

    column->addWidget(format, 0, Qt::AlignHCenter);
    column->addStretch(1);

    bind({{cb_wma, keys::wmaFormat}});
}

void Tfm_set::buildGeneralPage(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 5, 0, 0);
    column->setSpacing(5);

    QGroupBox* group = makeGroup(page, QStringLiteral("Conversion"), 310, 75);
    group->setObjectName(QStringLiteral("gb_jobs"));
    QStringList items{QStringLiteral("Automatic (%1)").arg(Converter::jobsFor(0))};
    for (int n = 1; n <= Converter::MaxJobs; ++n)
        items << QString::number(n);
    cb_jobs = makeCombo(group, "cb_jobs", items);
    cb_jobs->setMaxVisibleItems(17);
    QGridLayout* grid = makeGrid(group);
    grid->addWidget(makeLabel(group, QStringLiteral("Files converted at once:")), 0, 0);
    grid->addWidget(cb_jobs, 0, 1);
    m_notes << new QLabel(QStringLiteral("Automatic converts one file per processor core."), group);
    grid->addWidget(m_notes.last(), 1, 0, 1, 3);

    column->addWidget(group, 0, Qt::AlignHCenter);
    column->addStretch(1);

    bind({{cb_jobs, keys::jobs}});
}

void Tfm_set::buildFlacPage(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 5, 0, 0);
    column->setSpacing(5);

    QGroupBox* general = makeGroup(page, QStringLiteral("General Options"), 310, 128);
    general->setObjectName(QStringLiteral("gb_flac_general"));
    QGridLayout* grid = makeGrid(general);
    cb_flac_frequency = makeCombo(general, "cb_flac_frequency", sourceFrequencyItems(flac_frequency_values));
    cb_flac_channel = makeCombo(general, "cb_flac_channel", sourceChannelItems());
    cb_flac_bit = makeCombo(general, "cb_flac_bit",
                            {QStringLiteral("As the source"), QStringLiteral("16 bits"), QStringLiteral("24 bits")});
    grid->addWidget(makeLabel(general, QStringLiteral("Frequency: ")), 0, 0);
    grid->addWidget(cb_flac_frequency, 0, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Channel: ")), 1, 0);
    grid->addWidget(cb_flac_channel, 1, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Bit Per Sample:")), 2, 0);
    grid->addWidget(cb_flac_bit, 2, 1);
    for (const QString& text : {QStringLiteral("FLAC keeps every sample: \"As the source\" converts nothing "),
                                QStringLiteral("that need not be converted. ")}) {
        m_notes << new QLabel(text, general);
        grid->addWidget(m_notes.last(), grid->rowCount(), 0, 1, 5);
    }
    grid->setRowStretch(grid->rowCount(), 1);

    QGroupBox* compression = makeGroup(page, QStringLiteral("Compression"), 310, 75);
    compression->setObjectName(QStringLiteral("gb_flac_compression"));
    grid = makeGrid(compression);
    QStringList levels;
    for (int level = 0; level <= 8; ++level)
        levels << QString::number(level);
    cb_flac_level = makeCombo(compression, "cb_flac_level", levels);
    grid->addWidget(makeLabel(compression, QStringLiteral("Level: ")), 0, 0);
    grid->addWidget(cb_flac_level, 0, 1);
    m_notes << new QLabel(QStringLiteral("0 - fastest, bigger file, 8 - slowest, smallest file. "), compression);
    grid->addWidget(m_notes.last(), 1, 0, 1, 5);
    grid->setRowStretch(2, 1);

    column->addWidget(general, 0, Qt::AlignHCenter);
    column->addWidget(compression, 0, Qt::AlignHCenter);
    column->addStretch(1);

    bind({
        {cb_flac_level, keys::flacLevel},
        {cb_flac_bit, keys::flacBit},
        {cb_flac_frequency, keys::flacFrequency},
        {cb_flac_channel, keys::flacChannel},
    });
}

void Tfm_set::buildOpusPage(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 5, 0, 0);
    column->setSpacing(5);

    QGroupBox* general = makeGroup(page, QStringLiteral("General Options"), 310, 128);
    general->setObjectName(QStringLiteral("gb_opus_general"));
    QGridLayout* grid = makeGrid(general);
    QStringList modes;
    for (const char* mode : opus_modes)
        modes << QString::fromLatin1(mode);
    cb_opus_mode = makeCombo(general, "cb_opus_mode", modes);
    cb_opus_channel = makeCombo(general, "cb_opus_channel", sourceChannelItems());
    grid->addWidget(makeLabel(general, QStringLiteral("Bitrate: ")), 0, 0);
    grid->addWidget(makeNumberField(general, &edt_opus_bitrate, &ud_opus_bitrate, "edt_opus_bitrate",
                                    "ud_opus_bitrate", 34, 3, 6, 510),
                    0, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Mode: ")), 1, 0);
    grid->addWidget(cb_opus_mode, 1, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Channel: ")), 2, 0);
    grid->addWidget(cb_opus_channel, 2, 1);
    for (const QString& text : {QStringLiteral("Bitrate in Kbps: 6 - speech, small file, 510 - best, big file. "),
                                QStringLiteral("Opus plays at 48000 Hz; other rates are converted. ")}) {
        m_notes << new QLabel(text, general);
        grid->addWidget(m_notes.last(), grid->rowCount(), 0, 1, 5);
    }
    grid->setRowStretch(grid->rowCount(), 1);

    column->addWidget(general, 0, Qt::AlignHCenter);
    column->addStretch(1);

    bind({
        {ud_opus_bitrate, keys::opusKbps},
        {cb_opus_mode, keys::opusMode},
        {cb_opus_channel, keys::opusChannel},
    });
}

void Tfm_set::buildAacPage(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 5, 0, 0);
    column->setSpacing(5);

    QGroupBox* general = makeGroup(page, QStringLiteral("General Options"), 310, 128);
    general->setObjectName(QStringLiteral("gb_aac_general"));
    QGridLayout* grid = makeGrid(general);
    cb_aac_frequency = makeCombo(general, "cb_aac_frequency", sourceFrequencyItems(aac_frequency_values));
    cb_aac_channel = makeCombo(general, "cb_aac_channel", sourceChannelItems());
    cb_aac_bitrate = makeCombo(general, "cb_aac_bitrate", bitrateItems());
    grid->addWidget(makeLabel(general, QStringLiteral("Bitrate: ")), 0, 0);
    grid->addWidget(cb_aac_bitrate, 0, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Frequency: ")), 1, 0);
    grid->addWidget(cb_aac_frequency, 1, 1);
    grid->addWidget(makeLabel(general, QStringLiteral("Channel: ")), 2, 0);
    grid->addWidget(cb_aac_channel, 2, 1);
    for (const QString& text : {QStringLiteral("AAC-LC in an M4A file, as phones and cars play it. "),
                                QStringLiteral("128Kbps - good, 192Kbps - very good, 256Kbps - best. ")}) {
        m_notes << new QLabel(text, general);
        grid->addWidget(m_notes.last(), grid->rowCount(), 0, 1, 5);
    }
    grid->setRowStretch(grid->rowCount(), 1);

    column->addWidget(general, 0, Qt::AlignHCenter);
    column->addStretch(1);

    bind({
        {cb_aac_bitrate, keys::aacBitrate},
        {cb_aac_frequency, keys::aacFrequency},
        {cb_aac_channel, keys::aacChannel},
    });
}

void Tfm_set::bind(std::initializer_list<settingsui::Binding> page)
{
    m_bindings.insert(m_bindings.end(), page.begin(), page.end());
}

} // namespace sondrel
