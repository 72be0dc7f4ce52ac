#include "FileListOps.h"

#include "AppState.h"
#include "AudioFile.h"
#include "AudioInformation.h"
#include "EngineError.h"
#include "InputFormats.h"
#include "ListRows.h"
#include "Prompts.h"
#include "Pump.h"
#include "RowTexts.h"
#include "ValueTables.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTreeWidget>

namespace sondrel {

FileListOps::FileListOps(QWidget* window, QTreeWidget* lv, AppState& state, Prompts& prompts,
                         AudioFile& reader, AudioInformation& tags)
    : m_window(window), m_lv(lv), m_state(state), m_prompts(prompts), m_reader(reader), m_tags(tags)
{
}

const QStringList& FileListOps::fileFilters()
{
    static const QStringList filters = inputFileFilters();
    return filters;
}

void FileListOps::AddFiles()
{
    SettingsFile* settings = m_state.settings();
    if (!settings)
        return;
    const QString startFolder = settings->read_string(
        QString::fromLatin1(keys::filePath.section), QString::fromLatin1(keys::filePath.key),
        QCoreApplication::applicationDirPath());
    const Prompts::FileChoice choice = m_prompts.chooseFiles(m_window, startFolder, fileFilters());
    if (choice.files.isEmpty())
        return;

    m_state.setAdding(true);
    // The folder of the first chosen file, written before any file is added.
    settings->write_string(QString::fromLatin1(keys::filePath.section),
                           QString::fromLatin1(keys::filePath.key),
                           QFileInfo(choice.files.first()).absolutePath());
    for (const QString& path : choice.files) {
        pumpMessages();
        addFile(path, QFileInfo(path).fileName());
    }
    m_state.setAdding(false);
}

bool FileListOps::addFile(const QString& fullPath, const QString& caption)
{
    const QFileInfo info(fullPath);
    if (!info.exists() || info.isDir()) {
        m_prompts.notice(m_window, fullPath + QStringLiteral(" has been removed!"));
        return false;
    }
    const QString size = sizeText(info.size());
    std::int64_t samples = 0;
    try {
        m_reader.OpenRead(fullPath, 0, 1);
        samples = m_reader.SampleCount();
    } catch (const EngineError&) {
        samples = 0;
    }
    if (samples <= 0) {
        m_prompts.notice(m_window, fullPath + QStringLiteral(" is an invalid audio file!"));
        m_reader.Close();
        return false;
    }
    const std::int64_t durationMs = m_reader.DurationMs();
    m_reader.Close();
    const int row = rows::append(m_lv, caption, fullPath, timeText(durationMs), size, rows::Unconverted, durationMs);
    rows::setSourceStamp(m_lv, row, info.size(), info.lastModified().toMSecsSinceEpoch());

    TrackInfo record;
    try {
        m_tags.LoadFromFile(fullPath);
        record.title = m_tags.infoTitle;
        record.artist = m_tags.infoArtist;
        record.album = m_tags.infoAlbum;
        record.genre = m_tags.infoGenreS;
        record.year = m_tags.infoYear;
        record.track = m_tags.infoTrack;
        record.comment = m_tags.infoComments;
    } catch (const EngineError&) {
        // The audio opened but its tags could not be read (the file changed meanwhile): the
        // row stays with empty tags rather than ending the program and losing the list.
        record = {};
    }
    m_state.setTrackInfo(row, record);
    return true;
}

void FileListOps::RemoveSelected()
{
    // One row at most is selected. It is found before anything is removed: removing the
    // selected row makes the list select the row after it, which must stay.
    const int row = rows::selected(m_lv);
    if (row < 0)
        return;
    rows::remove(m_lv, row);
    if (size_t(row) < m_state.TrackInfos.size())
        m_state.TrackInfos.erase(m_state.TrackInfos.begin() + row);
}

void FileListOps::ClearList()
{
    if (!m_prompts.confirm(m_window, QStringLiteral("Are you sure to remove all the files from filelist?\n"
                                                    "Not delete them from your computer.")))
        return;
    rows::clear(m_lv);
    m_state.TrackInfos.clear();
}

} // namespace sondrel
