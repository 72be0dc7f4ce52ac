#include "FolderPicker.h"

#include "AppState.h"
#include "ExceptionHook.h"
#include "FolderTree.h"
#include "Prompts.h"
#include "ValueTables.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QShowEvent>
#include <QTreeView>

#include <filesystem>
#include <system_error>

namespace sondrel {

namespace {
constexpr int PromptLeft = 11;
constexpr int PromptTop = 10;
constexpr int PromptWidth = 198;
constexpr int PromptHeight = 13;
constexpr int TreeLeft = 10;
constexpr int TreeTop = 32;
constexpr int TreeWidth = 281;
constexpr int TreeBottom = 190; // the path field follows
} // namespace

Tfm_dir::Tfm_dir(AppState& state, QWidget* parent, Prompts* prompts)
    : ModalDialog(parent), m_state(state), m_prompts(prompts)
{
    setObjectName(QStringLiteral("fm_dir"));
    setWindowTitle(QStringLiteral("Output Directory"));
    setClientSize(ClientWidth, ClientHeight);

    lbl_action = new QLabel(QStringLiteral("Please select the folder you want to scan"), this);
    lbl_action->setObjectName(QStringLiteral("lbl_action"));
    lbl_action->setGeometry(PromptLeft, PromptTop, PromptWidth, PromptHeight);
    buildTree();
    buildFieldAndButtons();

    setTabOrder(stview_selectdir, edt_path);
    setTabOrder(edt_path, btn_ok);
    setTabOrder(btn_ok, btn_cancel);
    setTabOrder(btn_cancel, cbx_sub);
    setTabOrder(cbx_sub, btn_newfolder);
    stview_selectdir->setFocus();
    placeControls();

    // "/" opened one level; the home folder selected. From then on the selection is the
    // user's and persists between showings.
    stview_selectdir->expand(m_model->rootFolder());
    if (!selectFolder(QDir::homePath()))
        stview_selectdir->setCurrentIndex(m_model->rootFolder());
    connectControls();
}

void Tfm_dir::buildTree()
{
    m_model = new FolderTreeModel(this);
    stview_selectdir = new QTreeView(this);
    stview_selectdir->setObjectName(QStringLiteral("stview_selectdir"));
    stview_selectdir->setModel(m_model);
    stview_selectdir->setHeaderHidden(true);
    stview_selectdir->setRootIsDecorated(false);
    stview_selectdir->setSelectionMode(QAbstractItemView::SingleSelection);
    // F2 renames a folder (a new one is named that way).
    stview_selectdir->setEditTriggers(QAbstractItemView::EditKeyPressed);
    stview_selectdir->setUniformRowHeights(true);
    // The selection stays visible while OK or the check box has the focus.
    QPalette pal = stview_selectdir->palette();
    for (const auto role : {QPalette::Highlight, QPalette::HighlightedText})
        pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
    stview_selectdir->setPalette(pal);
}

void Tfm_dir::buildFieldAndButtons()
{
    edt_path = new QLineEdit(this);
    edt_path->setObjectName(QStringLiteral("edt_path"));
    edt_path->setGeometry(TreeLeft, 195, TreeWidth, 22);
    edt_path->setPlaceholderText(QStringLiteral("Type or paste a folder, then press Enter"));

    btn_ok = new QPushButton(QStringLiteral("OK"), this);
    btn_ok->setObjectName(QStringLiteral("btn_ok"));
    btn_ok->setGeometry(53, 246, 75, 25);
    btn_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    btn_cancel->setObjectName(QStringLiteral("btn_cancel"));
    btn_cancel->setGeometry(169, 246, 75, 25);
    // The check box of "Add Path" and the "New Folder" button of the output folder share
    // their place: only one of them is shown.
    cbx_sub = new QCheckBox(QStringLiteral("Include Sub-folders"), this);
    cbx_sub->setObjectName(QStringLiteral("cbx_sub"));
    cbx_sub->setGeometry(15, 225, std::max(111, cbx_sub->sizeHint().width()), 17);
    cbx_sub->hide();
    btn_newfolder = new QPushButton(QStringLiteral("New Folder"), this);
    btn_newfolder->setObjectName(QStringLiteral("btn_newfolder"));
    btn_newfolder->setGeometry(TreeLeft, 221, std::max(85, btn_newfolder->sizeHint().width()), 22);
    btn_newfolder->hide();
    for (QPushButton* b : {btn_ok, btn_cancel, btn_newfolder}) {
        // No button is the dialog's default: Enter acts only on the button that has the focus.
        b->setAutoDefault(false);
        b->setDefault(false);
    }
}

void Tfm_dir::connectControls()
{
    connect(stview_selectdir, &QTreeView::clicked, this, guarded([this] { stview_selectdirClick(); }));
    // Keys and right clicks move the selection too; the rule and the path field follow.
    connect(stview_selectdir->selectionModel(), &QItemSelectionModel::selectionChanged, this, guarded([this] {
        applyOkRule();
        if (!m_following)
            edt_path->setText(selectedFolder());
    }));
    // A new folder's name typed in the tree shows in the path field too.
    connect(m_model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& changed) {
        if (changed == stview_selectdir->currentIndex() && !m_following)
            edt_path->setText(selectedFolder());
    });
    connect(edt_path, &QLineEdit::returnPressed, this, guarded([this] { edt_pathEnter(); }));
    connect(edt_path, &QLineEdit::textEdited, this, guarded([this] { followTypedPath(); }));
    connect(btn_ok, &QPushButton::clicked, this, guarded([this] { btn_okClick(); }));
    connect(btn_cancel, &QPushButton::clicked, this, guarded([this] { btn_cancelClick(); }));
    connect(btn_newfolder, &QPushButton::clicked, this, guarded([this] { btn_newfolderClick(); }));
}

void Tfm_dir::showForAdding()
{
    m_forOutput = false;
    setWindowTitle(QStringLiteral("Open Folder"));
    lbl_action->setText(QStringLiteral("Please select the folder you want to add."));
    btn_newfolder->hide();
    cbx_sub->setVisible(true);
}

void Tfm_dir::showForOutput(const QString& folder)
{
    m_forOutput = true;
    setWindowTitle(QStringLiteral("Output Directory"));
    lbl_action->setText(QStringLiteral("Please select the folder you want to save your files."));
    cbx_sub->hide();
    btn_newfolder->setVisible(true);
    // The output folder may not be made yet: its nearest existing parent then.
    QString at = QDir::cleanPath(folder);
    while (!at.isEmpty() && QFileInfo(at).isAbsolute() && !selectFolder(at)) {
        const QString up = QFileInfo(at).path();
        if (up == at)
            break;
        at = up;
    }
}

QString Tfm_dir::selectedFolder() const
{
    const QModelIndexList sel = stview_selectdir->selectionModel()->selectedRows(0);
    return sel.isEmpty() ? QString() : m_model->filePath(sel.first());
}

bool Tfm_dir::selectFolder(const QString& path)
{
    const QModelIndex index = m_model->folderIndex(QDir::cleanPath(path));
    if (!index.isValid())
        return false;
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
        stview_selectdir->expand(up);
    stview_selectdir->setCurrentIndex(index);
    reveal();
    stview_selectdirClick();
    return true;
}

void Tfm_dir::reveal()
{
    const QModelIndex current = stview_selectdir->currentIndex();
    if (!current.isValid())
        return;
    // A node not wholly in view comes to the middle of the tree. The tree is read as it is
    // opened, never behind the user's back, so it stays where it is put.
    if (!stview_selectdir->viewport()->rect().contains(stview_selectdir->visualRect(current)))
        stview_selectdir->scrollTo(current, QAbstractItemView::PositionAtCenter);
}

void Tfm_dir::placeControls()
{
    // The prompt is replaced before each showing. A prompt wider than the tree wraps onto
    // further lines, and the tree starts below it.
    const QFontMetrics fm(lbl_action->font());
    const int textWidth = fm.horizontalAdvance(lbl_action->text());
    int treeTop = TreeTop;
    if (textWidth <= TreeWidth) {
        lbl_action->setWordWrap(false);
        lbl_action->setGeometry(PromptLeft, PromptTop, std::max(PromptWidth, textWidth),
                                std::max(PromptHeight, fm.height()));
    } else {
        lbl_action->setWordWrap(true);
        const int height = lbl_action->heightForWidth(TreeWidth);
        lbl_action->setGeometry(PromptLeft, PromptTop, TreeWidth, height);
        treeTop = std::max(TreeTop, PromptTop + height + 4);
    }
    stview_selectdir->setGeometry(TreeLeft, treeTop, TreeWidth, TreeBottom - treeTop);
}

void Tfm_dir::showEvent(QShowEvent* e)
{
    ModalDialog::showEvent(e);
    if (!e->spontaneous())
        guardedCall([this] { FormShow(); });
}

void Tfm_dir::FormShow()
{
    chosen_dir.clear();
    const SettingsFile* s = m_state.settings();
    cbx_sub->setChecked(s ? readKey(*s, keys::enableSubDir) != 0 : keys::enableSubDir.def != 0);
    placeControls();
    reveal();
    applyOkRule();
    edt_path->setText(selectedFolder());
    stview_selectdir->setFocus();
}

void Tfm_dir::applyOkRule() { btn_ok->setEnabled(!selectedFolder().isEmpty()); }

void Tfm_dir::stview_selectdirClick() { applyOkRule(); }

QString Tfm_dir::typedFolder() const
{
    QString typed = edt_path->text().trimmed();
    if (typed == QLatin1String("~") || typed.startsWith(QLatin1String("~/")))
        typed = QDir::homePath() + typed.mid(1);
    if (typed.isEmpty())
        return {};
    // A relative path starts at the selected folder.
    if (!QFileInfo(typed).isAbsolute())
        typed = QDir(selectedFolder()).filePath(typed);
    return QDir::cleanPath(typed);
}

void Tfm_dir::followTypedPath()
{
    // Only a full path: the start of a relative one would move with the selection.
    const QString typed = edt_path->text().trimmed();
    if (!typed.startsWith(QLatin1Char('/')) && !typed.startsWith(QLatin1Char('~')))
        return;
    const QString folder = typedFolder();
    if (folder == selectedFolder() || !QFileInfo(folder).isDir())
        return;
    const QScopedValueRollback<bool> following(m_following, true);
    selectFolder(folder);
}

bool Tfm_dir::makeFolderPath(const QString& path, QString* error)
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(path).toStdString()), ec);
    if (!ec && QFileInfo(path).isDir())
        return true;
    *error = QStringLiteral("The folder %1 cannot be made: %2.")
                 .arg(path, ec ? QString::fromLocal8Bit(ec.message()) : QStringLiteral("a file of that name is in the way"));
    return false;
}

bool Tfm_dir::goToTypedPath()
{
    const QString asTyped = edt_path->text().trimmed();
    const QString typed = typedFolder();
    if (!typed.isEmpty() && selectFolder(typed))
        return true;
    if (!typed.isEmpty() && m_forOutput && !QFileInfo::exists(typed)) {
        // An output folder may be one still to be made.
        if (m_prompts && m_prompts->askYesNo(this, QStringLiteral("The folder %1 does not exist. Do you want to "
                                                                  "create it?").arg(typed))) {
            QString error;
            if (makeFolderPath(typed, &error) && selectFolder(typed))
                return true;
            m_prompts->information(this, error);
        }
    } else if (m_prompts) {
        m_prompts->information(this, QStringLiteral("There is no folder %1.").arg(asTyped));
    }
    edt_path->setText(asTyped);
    edt_path->setFocus();
    edt_path->selectAll();
    return false;
}

void Tfm_dir::edt_pathEnter()
{
    // Enter in the field chooses what it names, as OK does.
    btn_okClick();
}

void Tfm_dir::btn_okClick()
{
    // A folder typed but not yet gone to counts as chosen.
    const QString typed = typedFolder();
    if (!typed.isEmpty() && typed != selectedFolder() && !goToTypedPath())
        return;
    applyOkRule();
    if (!btn_ok->isEnabled())
        return;
    chosen_dir = selectedFolder();
    include_sub = cbx_sub->isChecked();
    // Stored also when the box is hidden (choosing the output directory): then it is the
    // value read when the picker was shown.
    if (SettingsFile* s = m_state.settings())
        writeKey(*s, keys::enableSubDir, include_sub ? 1 : 0);
    accept();
}

void Tfm_dir::btn_cancelClick()
{
    chosen_dir.clear();
    reject();
}

void Tfm_dir::btn_newfolderClick()
{
    QModelIndex parent = stview_selectdir->currentIndex();
    if (!parent.isValid())
        return;
    QString error;
    const QModelIndex made = m_model->makeFolder(parent, QStringLiteral("New Folder"), &error);
    if (!made.isValid()) {
        if (m_prompts)
            m_prompts->information(this, error);
        return;
    }
    stview_selectdir->expand(parent);
    stview_selectdir->setCurrentIndex(made);
    reveal();
    // Its name is ready to be typed over.
    stview_selectdir->setFocus();
    stview_selectdir->edit(made);
}

void Tfm_dir::FormClose()
{
    // Only "Add Path" shows the box, and only the output folder the button, each anew.
    cbx_sub->hide();
    btn_newfolder->hide();
}

void Tfm_dir::done(int result)
{
    // Every way of closing (OK, Cancel, the close box) ends here.
    guardedCall([this] { FormClose(); });
    ModalDialog::done(result);
}

} // namespace sondrel
