#pragma once
#include "Dialogs.h"

#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QTreeView;

namespace sondrel {

class AppState;
class FolderTreeModel;
class Prompts;

// The folder picker, used by "Add Path" (with the "Include Sub-folders" box) and to choose the
// output directory (with a "New Folder" button). The command that shows it sets it up
// (showForAdding, showForOutput) and reads `chosen_dir` (and `include_sub`) when it returns.
//
// The tree shows the file system's folders from "/" down and opens at the user's home folder;
// hidden (dot) folders are left out: the folder scan skips them anyway, and a home folder full
// of configuration folders would bury the music folders the user is looking for. Below the
// tree, the path field shows the selected folder; as a full path is typed or pasted there,
// the tree follows it to each folder that exists, and Enter chooses the typed folder as OK
// does. An output folder that does not exist yet is made when the user agrees.
class Tfm_dir : public ModalDialog {
    Q_OBJECT
public:
    explicit Tfm_dir(AppState& state, QWidget* parent = nullptr, Prompts* prompts = nullptr);

    static constexpr int ClientWidth = 302;
    static constexpr int ClientHeight = 284;

    // Results: the chosen folder's full path, empty when nothing was chosen; and whether the
    // box was ticked at OK (kept as it was when the picker is cancelled).
    QString chosen_dir;
    bool include_sub = false;

    QLabel* lbl_action = nullptr;
    QTreeView* stview_selectdir = nullptr;
    QLineEdit* edt_path = nullptr;
    QPushButton* btn_ok = nullptr;
    QPushButton* btn_cancel = nullptr;
    QCheckBox* cbx_sub = nullptr;
    QPushButton* btn_newfolder = nullptr;

    // Caption, prompt and controls for "Add Path"; the selection stays where it was.
    void showForAdding();
    // Caption, prompt and controls for the output folder, with folder (or the nearest folder
    // above it that exists) selected.
    void showForOutput(const QString& folder);

    // Selects folder `path` in the tree, opening its parents, as a click on it would; false
    // when there is no such folder.
    bool selectFolder(const QString& path);
    // The full path of the selected folder; empty when none is selected.
    QString selectedFolder() const;

    // Handlers.
    void FormShow();
    void stview_selectdirClick();
    void edt_pathEnter();
    void btn_okClick();
    void btn_cancelClick();
    void btn_newfolderClick();
    void FormClose();

protected:
    void showEvent(QShowEvent* e) override;
    void done(int result) override;

private:
    // The OK rule: OK is enabled exactly when the selection is a folder that can be chosen.
    // Every node of this tree is a real folder, so that is whenever a node is selected.
    void applyOkRule();
    // The constructor's parts: the folder tree; the path field, the buttons and the check
    // box; the handlers' connections.
    void buildTree();
    void buildFieldAndButtons();
    void connectControls();
    // Lays out the prompt (wrapped onto a second line when it is too wide) and the tree below it.
    void placeControls();
    void reveal();
    // The folder the path field names, as a clean absolute path: "~" is the home folder, a
    // relative path starts at the selected folder. Empty for an empty field.
    QString typedFolder() const;
    // Selects the folder typed in the path field; false (with a message) when there is none.
    // For the output folder, a folder that does not exist is made when the user says Yes.
    bool goToTypedPath();
    // The tree follows a full path while it is typed, without changing what is typed.
    void followTypedPath();
    // Makes the folder and those above it; false with the reason in error.
    static bool makeFolderPath(const QString& path, QString* error);

    AppState& m_state;
    Prompts* m_prompts;
    FolderTreeModel* m_model = nullptr;
    bool m_forOutput = false; // shown to choose the output folder
    bool m_following = false; // the tree is following the typed path
};

} // namespace sondrel
