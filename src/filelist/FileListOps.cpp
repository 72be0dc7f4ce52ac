#include "FileListOps.h"

#include "Adder.h"
#include "AppState.h"
#include "FileListModel.h"
#include "InputFormats.h"
#include "Prompts.h"
#include "ValueTables.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace sondrel {

FileListOps::FileListOps(QWidget* window, FileListModel& list, AppState& state, Prompts& prompts)
    : m_window(window), m_list(list), m_state(state), m_prompts(prompts),
      m_adder(std::make_unique<Adder>(window, list, state, prompts))
{
}

FileListOps::~FileListOps() = default;

const QStringList& FileListOps::fileFilters()
{
    static const QStringList filters = inputFileFilters();
    return filters;
}

QString FileListOps::addFilesFolder() const
{
    const SettingsFile* settings = m_state.settings();
    const QString last = settings ? settings->read_string(QString::fromLatin1(keys::filePath.section),
                                                          QString::fromLatin1(keys::filePath.key), QString())
                                  : QString();
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!music.isEmpty() && QFileInfo(music).isDir())
        return music;
    return QDir::homePath();
}

void FileListOps::AddFiles()
{
    SettingsFile* settings = m_state.settings();
    if (!settings || m_adder->running())
        return;
    const Prompts::FileChoice choice = m_prompts.chooseFiles(m_window, addFilesFolder(), fileFilters());
    if (choice.files.isEmpty())
        return;
    // The folder of the first chosen file, written before any file is added.
    settings->write_string(QString::fromLatin1(keys::filePath.section),
                           QString::fromLatin1(keys::filePath.key),
                           QFileInfo(choice.files.first()).absolutePath());
    m_adder->addFiles(choice.files);
}

void FileListOps::StopAdding() { m_adder->stop(); }

void FileListOps::stopAndWait() { m_adder->stopAndWait(); }

void FileListOps::RemoveRow(int row)
{
    m_list.remove(row);
}

void FileListOps::ClearList()
{
    if (!m_prompts.confirm(m_window, QStringLiteral("Are you sure to remove all the files from filelist?\n"
                                                    "Not delete them from your computer.")))
        return;
    m_list.clear();
}

} // namespace sondrel
