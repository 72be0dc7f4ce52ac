#pragma once
#include "Dialogs.h"

#include <QString>

class QCheckBox;
class QFileSystemModel;
class QLabel;
class QModelIndex;
class QPushButton;
class QTreeView;

namespace sondrel {

class AppState;

// The folder picker, used by "Add Path" (with the "Include Sub-folders" box) and to choose the
// output directory. The command that shows it sets the caption and the prompt first and reads
// `chosen_dir` (and `include_sub`) when it returns.
//
// The tree shows the file system's folders from "/" down. Hidden (dot) folders are left out:
// the folder scan skips them anyway, and a home folder full of configuration folders would
// bury the music folders the user is looking for.
class Tfm_dir : public ModalDialog {
    Q_OBJECT
public:
    explicit Tfm_dir(AppState& state, QWidget* parent = nullptr);

    static constexpr int ClientWidth = 302;
    static constexpr int ClientHeight = 284;

    // Results: the chosen folder's full path, empty when nothing was chosen; and whether the
    // box was ticked at OK (kept as it was when the picker is cancelled).
    QString chosen_dir;
    bool include_sub = false;

    QLabel* lbl_action = nullptr;
    QTreeView* stview_selectdir = nullptr;
    QPushButton* btn_ok = nullptr;
    QPushButton* btn_cancel = nullptr;
    QCheckBox* cbx_sub = nullptr;

    // Selects folder `path` in the tree, opening its parents, as a click on it would; false
    // when there is no such folder.
    bool selectFolder(const QString& path);
    // The full path of the selected folder; empty when none is selected.
    QString selectedFolder() const;

    // Handlers.
    void FormShow();
    void stview_selectdirClick();
    void btn_okClick();
    void btn_cancelClick();
    void FormClose();

protected:
    void showEvent(QShowEvent* e) override;
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // The OK rule: OK is enabled exactly when the selection is a folder that can be chosen.
    // Every node of this tree is a real folder, so that is whenever a node is selected.
    void applyOkRule();
    void fitPrompt();
    // Scrolls the selection into view while the folder lists around it are still arriving.
    void reveal();

    AppState& m_state;
    QFileSystemModel* m_model = nullptr;
    bool m_revealing = false; // until the user scrolls the tree
};

} // namespace sondrel
