#include "FileListOps.h"

#include "Adder.h"
#include "AppState.h"
#include "Dialogs.h"
#include "FolderPicker.h"
#include "Prompts.h"
#include "ValueTables.h"

#include <QFileInfo>
#include <QLineEdit>

// The commands that show the folder picker: "Add Path" and the choice of the output folder.

namespace sondrel {

void FileListOps::AddPath(Tfm_dir& picker)
{
    picker.showForAdding();
    centreOver(&picker, m_window);
    m_prompts.runModal(picker);
    // Taken at once: the picker can be shown again (Browse) while the folder is scanned.
    const QString folder = picker.chosen_dir;
    const bool includeSub = picker.include_sub;
    if (!folder.isEmpty())
        ScanFolder(folder, includeSub);
}

void FileListOps::ScanFolder(const QString& folder, bool includeSub)
{
    m_adder->addFolder(folder, includeSub);
}

void FileListOps::AddPaths(const QStringList& paths, bool includeSub)
{
    std::vector<Adder::Request> requests;
    for (const QString& path : paths)
        requests.push_back({path, QFileInfo(path).isDir(), includeSub});
    m_adder->add(std::move(requests));
}

void FileListOps::ChooseOutputDir(Tfm_dir& picker, QLineEdit* edt_dir)
{
    if (m_state.flag_converting())
        return;
    centreOver(&picker, m_window);
    picker.showForOutput(edt_dir->text());
    m_prompts.runModal(picker);
    const QString chosen = picker.chosen_dir;
    if (chosen.isEmpty())
        return;
    // The store keeps texts up to a fixed length: a longer folder would read back cut, and
    // the files would land in another folder.
    if (chosen.size() > SettingsFile::MaxTextLength) {
        m_prompts.information(m_window, QStringLiteral("The path of this folder is too long to be kept as the "
                                                       "output folder (%1 characters; at most %2). Please "
                                                       "choose a folder with a shorter path.")
                                            .arg(chosen.size())
                                            .arg(SettingsFile::MaxTextLength));
        return;
    }
    edt_dir->setText(chosen);
    if (SettingsFile* settings = m_state.settings())
        settings->write_string(QString::fromLatin1(keys::outputDirectory.section),
                               QString::fromLatin1(keys::outputDirectory.key), chosen);
}

} // namespace sondrel
