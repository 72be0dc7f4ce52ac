#pragma once
#include <QString>

class QLineEdit;
class QTreeWidget;
class QWidget;

namespace sondrel {

class AppState;
class AudioFile;
class AudioInformation;
class Prompts;
class Tfm_dir;

// The commands that change the file list: add files, add a folder (with its sub-folders),
// remove the selected row, clear the list; and the choice of the output folder. Rows and
// their tag records stay in step: record i always belongs to row i.
class FileListOps {
public:
    FileListOps(QWidget* window, QTreeWidget* lv, AppState& state, Prompts& prompts,
                AudioFile& reader, AudioInformation& tags);

    void AddFiles();
    void RemoveSelected();
    void ClearList();
    // Shows the picker for a folder to add and scans the chosen one.
    void AddPath(Tfm_dir& picker);
    void ScanFolder(const QString& folder, bool includeSub);
    void ChooseOutputDir(Tfm_dir& picker, QLineEdit* edt_dir);

    // The open dialog's filters, in order.
    static const QStringList& fileFilters();

private:
    // Probes one file and appends its row and record; shows the per-file notice and returns
    // false when the file is missing or not audio.
    bool addFile(const QString& fullPath, const QString& caption);

    QWidget* m_window;
    QTreeWidget* m_lv;
    AppState& m_state;
    Prompts& m_prompts;
    AudioFile& m_reader;
    AudioInformation& m_tags;
    int m_scanDepth = 0;
    QString m_scanRoot; // the folder the outermost scan was given
};

} // namespace sondrel
