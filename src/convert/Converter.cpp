#include "Converter.h"

#include "AppState.h"
#include "AudioFile.h"
#include "AudioInformation.h"
#include "EngineError.h"
#include "ListRows.h"
#include "Prompts.h"
#include "Pump.h"
#include "TargetPath.h"
#include "ValueTables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QTreeWidget>
#include <algorithm>

namespace sondrel {

namespace {
const QString Mp3NotSupported = QStringLiteral(
    "This MP3 format not supported, please try another bit rate or frequency.");
const QString OggNotSupported = QStringLiteral(
    "This OGG format not supported, please try another bit rate or frequency.");
const QString NoFormat = QStringLiteral("Please choose an output format (MP3, WAV, WMA or OGG) first.");
} // namespace

Converter::Converter(QWidget* window, QTreeWidget* lv, QProgressBar* pb, AppState& state,
                     Prompts& prompts, AudioFile& reader, AudioFile& writer, LameEncSettings& lame,
                     AudioInformation& tags)
    : m_window(window), m_lv(lv), m_pb(pb), m_state(state), m_prompts(prompts), m_reader(reader),
      m_writer(writer), m_lame(lame), m_tags(tags)
{
}

void Converter::StopConverting()
{
    m_state.setConverting(false);
}

void Converter::ConvertList(int format)
{
    SettingsFile* settings = m_state.settings();
    if (!settings)
        return;
    // Without a chosen format there is nothing defined to write.
    if (format < 0 || format > 3) {
        m_prompts.information(m_window, NoFormat);
        return;
    }
    m_pb->setValue(0);
    m_state.setConverting(true);

    QString folder = settings->read_string(QString::fromLatin1(keys::outputDirectory.section),
                                           QString::fromLatin1(keys::outputDirectory.key),
                                           defaultOutputDirectory());
    if (folder.isEmpty())
        folder = defaultOutputDirectory();
    // One level is created; a folder that cannot be made shows as "Write Error!" per file.
    if (!QFileInfo(folder).isDir())
        QDir().mkdir(folder);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');

    const QString extension = configureTarget(format);
    if (extension.isEmpty()) {
        m_state.setConverting(false);
        return;
    }
    m_pb->setTextVisible(true);

    const int count = rows::count(m_lv);
    for (int row = 0; row < count; ++row) {
        m_pb->setValue(0);
        if (!m_state.flag_converting())
            break;
        pumpMessages();
        // The window may have closed in that pump; its list is still there until exit.
        convertRow(row, folder, extension);
    }

    m_pb->setValue(0);
    m_state.setConverting(false);
    m_pb->setTextVisible(false);
}

QString Converter::configureTarget(int format)
{
    const SettingsFile& s = *m_state.settings();
    switch (format) {
    case 0: {
        m_lame.Frequency = tableValue(frequency_values, readKey(s, keys::mp3Frequency), keys::mp3Frequency.def);
        m_lame.Bitrate = tableValue(bitrate_values, readKey(s, keys::mp3Bitrate), keys::mp3Bitrate.def);
        m_lame.Channels = readKey(s, keys::mp3Channel) + 1;
        m_lame.Quality = readKey(s, keys::mp3Quality);
        const int vbr = readKey(s, keys::mp3EnableVbr);
        if (vbr == 0) {
            m_lame.VbrDisabled = true;
        } else if (vbr == 1) {
            m_lame.VbrDisabled = false;
            m_lame.VbrBitrate = tableValue(bitrate_values, readKey(s, keys::mp3VbrBitrate), keys::mp3VbrBitrate.def);
            m_lame.VbrQuality = readKey(s, keys::mp3VbrQuality);
        }
        if (!m_writer.SetMp3Output(m_lame.Frequency, m_lame.Bitrate, m_lame.Channels)) {
            m_prompts.information(m_window, Mp3NotSupported);
            return {};
        }
        m_writer.SetMp3Encoder(m_lame);
        return QStringLiteral(".mp3");
    }
    case 1: {
        int mode = readKey(s, keys::wavMode);
        // A mode outside the three choices (a hand-edited file) is the default one, so the
        // writer never keeps the format of an earlier run under a ".wav" name.
        if (mode < 0 || mode > 2)
            mode = keys::wavMode.def;
        if (mode == 0)
            m_writer.SetWavOutput(44100, 2, 16);
        else if (mode == 1)
            m_writer.SetWavOutput(0, 0, 16); // each file keeps its own rate and channels
        else
            m_writer.SetWavOutput(tableValue(frequency_values, readKey(s, keys::wavFrequency), keys::wavFrequency.def),
                                  readKey(s, keys::wavChannel) + 1,
                                  tableValue(bits_per_sample_values, readKey(s, keys::wavBit), keys::wavBit.def));
        return QStringLiteral(".wav");
    }
    case 2: {
        int profile = readKey(s, keys::wmaFormat);
        if (profile < 0 || size_t(profile) >= wma_profiles.size())
            profile = keys::wmaFormat.def;
        m_writer.SetWmaOutput(profile + 1);
        return QStringLiteral(".wma");
    }
    default: {
        const bool quality = readKey(s, keys::oggEnableQualityConvert) != 0;
        const int rate = tableValue(frequency_values, readKey(s, keys::oggFrequency), keys::oggFrequency.def);
        const int channels = readKey(s, keys::oggChannel) + 1;
        const int nominal = tableValue(bitrate_values, readKey(s, keys::oggBitrate), keys::oggBitrate.def);
        const int maximum = tableValue(bitrate_values, readKey(s, keys::oggMaxBitrate), keys::oggMaxBitrate.def);
        const int minimum = tableValue(bitrate_values, readKey(s, keys::oggMinBitrate), keys::oggMinBitrate.def);
        if (quality) {
            const int q = std::clamp(readKey(s, keys::oggQuality), 0, 1000);
            m_writer.SetOggOutput(rate, channels, nominal, maximum, minimum, std::int16_t(q));
        } else {
            if (!m_writer.CheckOggOutput(rate, channels, nominal, maximum, minimum)) {
                m_prompts.information(m_window, OggNotSupported);
                return {};
            }
            m_writer.SetOggOutput(rate, channels, nominal, maximum, minimum, -1);
        }
        return QStringLiteral(".ogg");
    }
    }
}

void Converter::convertRow(int row, const QString& folder, const QString& extension)
{
    rows::select(m_lv, row);
    m_lv->setFocus();
    const QString source = rows::text(m_lv, row, rows::FullPath);
    if (!QFileInfo::exists(source)) {
        m_prompts.information(m_window, source + QStringLiteral(" has been removed."));
        return;
    }
    const QString target = targetPathFor(folder, rows::text(m_lv, row, rows::FileName), extension, source);
    // Writing the target would destroy the source itself (same folder, same format).
    if (sameFile(target, source)) {
        m_prompts.information(m_window, target + QStringLiteral(
            " is the source file itself and cannot be overwritten. Choose another output folder."));
        return;
    }
    if (QFileInfo::exists(target)) {
        if (!m_prompts.askYesNo(m_window, QStringLiteral("File has existed. Overwrite?")))
            return;
        QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner | QFileDevice::WriteUser);
    }
    const QString oldStatus = rows::text(m_lv, row, rows::Status);
    rows::setText(m_lv, row, rows::Status, rows::Converting);

    if (m_reader.IsOpen())
        m_reader.Close();
    try {
        m_reader.OpenRead(source, 0, 1);
    } catch (const EngineError&) {
        // The source changed since it was added (emptied, replaced): this row is skipped,
        // the run and the list go on.
        rows::setText(m_lv, row, rows::Status, oldStatus);
        m_prompts.information(m_window, source + QStringLiteral(" is an invalid audio file!"));
        return;
    }
    if (m_writer.IsOpen())
        m_writer.Close();
    try {
        m_writer.OpenWrite(target, 0);
    } catch (const EngineError&) {
        m_prompts.information(m_window, QStringLiteral("Write Error!"));
        m_reader.Close();
        return;
    }

    try {
        m_writer.SetInputFormat(m_reader.FormatParamB(), m_reader.FormatParamA());
        const std::int64_t total = m_reader.SampleCount();
        std::int64_t done = 0;
        for (;;) {
            pumpMessages();
            pumpMessages();
            if (!m_state.flag_converting())
                break;
            SampleArray chunk = m_reader.ReadSamples(m_reader.FormatParamA() * m_reader.FormatParamB());
            if (chunk.empty()) {
                m_pb->setValue(100);
                break;
            }
            m_writer.WriteSamples(chunk);
            done += std::int64_t(chunk.size()) / std::max(1, m_reader.ChannelCount());
            done = std::min(done, total);
            m_pb->setValue(total > 0 ? int(done * 100 / total) : 100);
        }
        if (m_reader.IsOpen())
            m_reader.Close();
        if (m_writer.IsOpen())
            m_writer.Close();
        writeTags(row, target);
    } catch (const EngineError& e) {
        // Reading, encoding or tagging failed midway: the broken output is removed, the
        // row keeps its old status and the run goes on with the next row.
        m_reader.Close();
        m_writer.Close();
        QFile::remove(target);
        rows::setText(m_lv, row, rows::Status, oldStatus);
        m_prompts.information(m_window, source + QStringLiteral(" could not be converted: ")
                                            + QString::fromUtf8(e.what()));
        return;
    }
    m_pb->setValue(100);
    rows::setText(m_lv, row, rows::Status, rows::Finish);
}

void Converter::writeTags(int row, const QString& target)
{
    const TrackInfo info = m_state.trackInfo(row);
    m_tags.infoTitle = info.title;
    m_tags.infoArtist = info.artist;
    m_tags.infoAlbum = info.album;
    m_tags.infoGenreS = info.genre;
    m_tags.infoComments = info.comment;
    m_tags.infoYear = info.year;
    m_tags.infoTrack = static_cast<std::int16_t>(static_cast<std::uint16_t>(info.track & 0xFFFF));
    m_tags.SaveToFile(target);
}

} // namespace sondrel
