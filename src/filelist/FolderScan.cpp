#include "FileListOps.h"

#include "AppState.h"
#include "Dialogs.h"
#include "FolderPicker.h"
#include "FolderWalk.h"
#include "ListRows.h"
#include "Prompts.h"
#include "Pump.h"
#include "ValueTables.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

namespace sondrel {

void FileListOps::AddPath(Tfm_dir& picker)
{
    picker.lbl_action->setText(QStringLiteral("Please select the folder you want to add."));
    picker.setWindowTitle(QStringLiteral("Open Folder"));
    picker.cbx_sub->setVisible(true);
    centreOver(&picker, m_window);
    m_prompts.runModal(picker);
    if (!picker.chosen_dir.isEmpty())
        ScanFolder(picker.chosen_dir, picker.include_sub);
}

void FileListOps::ChooseOutputDir(Tfm_dir& picker, QLineEdit* edt_dir)
{
    if (m_state.flag_converting())
        return;
    centreOver(&picker, m_window);
    picker.setWindowTitle(QStringLiteral("Output Directory"));
    picker.lbl_action->setText(QStringLiteral("Please select the folder you want to save your files."));
    m_prompts.runModal(picker);
    if (picker.chosen_dir.isEmpty())
        return;
    // The store keeps texts up to a fixed length: a longer folder would read back cut, and
    // the files would land in another folder.
    if (picker.chosen_dir.size() > SettingsFile::MaxTextLength) {
        m_prompts.information(m_window, QStringLiteral("The path of this folder is too long to be kept as the "
                                                       "output folder (%1 characters; at most %2). Please "
                                                       "choose a folder with a shorter path.")
                                            .arg(picker.chosen_dir.size())
                                            .arg(SettingsFile::MaxTextLength));
        return;
    }
    edt_dir->setText(picker.chosen_dir);
    if (SettingsFile* settings = m_state.settings())
        settings->write_string(QString::fromLatin1(keys::outputDirectory.section),
                               QString::fromLatin1(keys::outputDirectory.key), picker.chosen_dir);
}

void FileListOps::ScanFolder(const QString& folder, bool includeSub)
{
    pumpMessages();
    pumpMessages();
    // The adding state is entered and left once, by the outermost scan.
    const bool outermost = m_scanDepth == 0;
    if (outermost) {
        m_state.setAdding(true);
        m_scanRoot = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    }
    struct Depth {
        int& d;
        explicit Depth(int& depth) : d(depth) { ++d; }
        ~Depth() { --d; }
    } depth(m_scanDepth);

    const QString base = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    // Every entry, hidden and system ones too, in the order the file system returns them.
    QDirIterator it(base, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo entry = it.fileInfo();
        const QString name = entry.fileName();
        // A link to a folder is not entered: a link to a parent would recurse without end.
        if (entry.isDir() && !entry.isSymLink() && !name.startsWith(QLatin1Char('.')) && includeSub) {
            ScanFolder(base + name, true);
            continue;
        }
        if (name.startsWith(QLatin1Char('.')) || !isAudioExtension(name))
            continue;
        if (addFile(base + name, name)) {
            rows::setAddedFolder(m_lv, rows::count(m_lv) - 1, m_scanRoot);
            pumpMessages();
            pumpMessages();
        }
    }
    if (outermost)
        m_state.setAdding(false);
}

} // namespace sondrel
