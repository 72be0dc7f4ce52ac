#include "Converter.h"

#include "AppState.h"
#include "AudioFile.h"
#include "AudioInformation.h"
#include "EngineError.h"
#include "ListRows.h"
#include "Prompts.h"
#include "Pump.h"
#include "TargetPath.h"
#include "TargetSetup.h"
#include "ValueTables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QTreeWidget>
#include <algorithm>

namespace sondrel {

namespace {
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

    const TargetSetup setup = configureTarget(*settings, format, m_writer, m_lame);
    if (setup.extension.isEmpty()) {
        m_prompts.information(m_window, setup.refusal);
        m_state.setConverting(false);
        return;
    }
    const QString extension = setup.extension;
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
