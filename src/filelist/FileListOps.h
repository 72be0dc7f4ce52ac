#pragma once
#include <QString>
#include <memory>

class QLineEdit;
class QWidget;

namespace sondrel {

class Adder;
class AppState;
class FileListModel;
class Prompts;
class Tfm_dir;

// The commands that change the file list: add files, add a folder (with its sub-folders),
// remove the selected row, clear the list; and the choice of the output folder. Adding runs
// on worker threads (see Adder): the commands that start it return at once.
class FileListOps {
public:
    FileListOps(QWidget* window, FileListModel& list, AppState& state, Prompts& prompts);
    ~FileListOps();

    void AddFiles();
    // Removes the row (the selected one); nothing for -1.
    void RemoveRow(int row);
    void ClearList();
    // Shows the picker for a folder to add and scans the chosen one.
    void AddPath(Tfm_dir& picker);
    void ScanFolder(const QString& folder, bool includeSub);
    // Adds files and folders in this order: a file as Add File(s) adds it, a folder as a
    // scan (with its sub-folders when includeSub is set).
    void AddPaths(const QStringList& paths, bool includeSub);
    // Where the open dialog starts: the folder files were last added from, the first time
    // the user's music folder (or the home folder when there is none).
    QString addFilesFolder() const;
    void ChooseOutputDir(Tfm_dir& picker, QLineEdit* edt_dir);
    // Ends a running adding (the rows in the list stay); for closing, at once and silently.
    void StopAdding();
    void stopAndWait();
    Adder& adder() { return *m_adder; }

    // The open dialog's filters, in order.
    static const QStringList& fileFilters();

private:
    QWidget* m_window;
    FileListModel& m_list;
    AppState& m_state;
    Prompts& m_prompts;
    std::unique_ptr<Adder> m_adder;
};

} // namespace sondrel
