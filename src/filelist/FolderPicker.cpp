#include "FolderPicker.h"

#include "AppState.h"
#include "ExceptionHook.h"
#include "ValueTables.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QShowEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeView>

namespace sondrel {

namespace {
constexpr int PromptLeft = 11;
constexpr int PromptTop = 10;
constexpr int PromptWidth = 198;
constexpr int PromptHeight = 13;
} // namespace

Tfm_dir::Tfm_dir(AppState& state, QWidget* parent) : ModalDialog(parent), m_state(state)
{
    setObjectName(QStringLiteral("fm_dir"));
    setWindowTitle(QStringLiteral("Output Directory"));
    setClientSize(ClientWidth, ClientHeight);

    lbl_action = new QLabel(QStringLiteral("Please select the folder you want to scan"), this);
    lbl_action->setObjectName(QStringLiteral("lbl_action"));
    lbl_action->setGeometry(PromptLeft, PromptTop, PromptWidth, PromptHeight);

    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::Dirs | QDir::NoDotAndDotDot);
    m_model->setReadOnly(true);
    m_model->setRootPath(QStringLiteral("/"));

    stview_selectdir = new QTreeView(this);
    stview_selectdir->setObjectName(QStringLiteral("stview_selectdir"));
    stview_selectdir->setGeometry(10, 32, 281, 187);
    stview_selectdir->setModel(m_model);
    stview_selectdir->setHeaderHidden(true);
    for (int c = 1; c < m_model->columnCount(); ++c)
        stview_selectdir->hideColumn(c);
    stview_selectdir->setRootIsDecorated(false);
    stview_selectdir->setSelectionMode(QAbstractItemView::SingleSelection);
    stview_selectdir->setEditTriggers(QAbstractItemView::NoEditTriggers);
    stview_selectdir->setUniformRowHeights(true);
    stview_selectdir->setSortingEnabled(false);
    m_model->sort(0, Qt::AscendingOrder);
    // The selection stays visible while OK or the check box has the focus.
    QPalette pal = stview_selectdir->palette();
    for (const auto role : {QPalette::Highlight, QPalette::HighlightedText})
        pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
    stview_selectdir->setPalette(pal);

    btn_ok = new QPushButton(QStringLiteral("OK"), this);
    btn_ok->setObjectName(QStringLiteral("btn_ok"));
    btn_ok->setGeometry(53, 246, 75, 25);
    btn_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    btn_cancel->setObjectName(QStringLiteral("btn_cancel"));
    btn_cancel->setGeometry(169, 246, 75, 25);
    for (QPushButton* b : {btn_ok, btn_cancel}) {
        // No button is the dialog's default: Enter acts only on the button that has the focus.
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    cbx_sub = new QCheckBox(QStringLiteral("Include Sub-folders"), this);
    cbx_sub->setObjectName(QStringLiteral("cbx_sub"));
    cbx_sub->setGeometry(15, 225, std::max(111, cbx_sub->sizeHint().width()), 17);
    cbx_sub->hide();

    setTabOrder(stview_selectdir, btn_ok);
    setTabOrder(btn_ok, btn_cancel);
    setTabOrder(btn_cancel, cbx_sub);
    stview_selectdir->setFocus();

    // The root node, expanded one level and selected; from then on the selection is the
    // user's and persists between showings.
    const QModelIndex root = m_model->index(QStringLiteral("/"));
    stview_selectdir->expand(root);
    stview_selectdir->setCurrentIndex(root);

    connect(stview_selectdir, &QTreeView::clicked, this,
            guarded([this] { stview_selectdirClick(); }));
    // Keys and right clicks move the selection too; the rule follows every change.
    connect(stview_selectdir->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            guarded([this] { applyOkRule(); }));
    // The folder lists fill in from the model's gatherer thread, and rows added above the
    // selection push it out of view; it is scrolled back until the user takes over the tree
    // (scrolls, clicks or types in it).
    const auto follow = guarded([this] {
        if (m_revealing)
            reveal();
    });
    connect(m_model, &QFileSystemModel::rowsInserted, this, follow);
    connect(m_model, &QFileSystemModel::layoutChanged, this, follow);
    connect(m_model, &QFileSystemModel::directoryLoaded, this, follow);
    connect(stview_selectdir->verticalScrollBar(), &QScrollBar::actionTriggered, this,
            [this] { m_revealing = false; });
    stview_selectdir->installEventFilter(this);
    stview_selectdir->viewport()->installEventFilter(this);
    connect(btn_ok, &QPushButton::clicked, this, guarded([this] { btn_okClick(); }));
    connect(btn_cancel, &QPushButton::clicked, this, guarded([this] { btn_cancelClick(); }));
}

QString Tfm_dir::selectedFolder() const
{
    const QModelIndexList sel = stview_selectdir->selectionModel()->selectedRows(0);
    return sel.isEmpty() ? QString() : m_model->filePath(sel.first());
}

bool Tfm_dir::selectFolder(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isDir())
        return false;
    // For a full path the model creates the nodes of the path at once (the folder lists fill
    // in later from its gatherer thread), so the node exists whether its parent was read yet.
    const QModelIndex index = m_model->index(QDir::cleanPath(info.absoluteFilePath()));
    if (!index.isValid())
        return false;
    stview_selectdir->setCurrentIndex(index);
    m_revealing = true;
    reveal(); // opens the parents too
    stview_selectdirClick();
    return true;
}

bool Tfm_dir::eventFilter(QObject* watched, QEvent* e)
{
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
        m_revealing = false;
        break;
    default:
        break;
    }
    return ModalDialog::eventFilter(watched, e);
}

void Tfm_dir::reveal()
{
    const QModelIndexList sel = stview_selectdir->selectionModel()->selectedRows(0);
    if (sel.isEmpty())
        return;
    // A node not wholly in view comes to the middle of the tree (its parents are opened).
    if (!stview_selectdir->viewport()->rect().contains(stview_selectdir->visualRect(sel.first())))
        stview_selectdir->scrollTo(sel.first(), QAbstractItemView::PositionAtCenter);
}

void Tfm_dir::fitPrompt()
{
    // The prompt is replaced before each showing; the label grows to its text, as far as the
    // tree's right edge, and wraps a longer text upward into the space above the tree.
    const int maxWidth = stview_selectdir->geometry().right() - PromptLeft + 1;
    const QSize hint = lbl_action->sizeHint();
    if (hint.width() <= maxWidth) {
        lbl_action->setWordWrap(false);
        lbl_action->setGeometry(PromptLeft, PromptTop, std::max(PromptWidth, hint.width()),
                                std::max(PromptHeight, hint.height()));
        return;
    }
    lbl_action->setWordWrap(true);
    const int height = lbl_action->heightForWidth(maxWidth);
    const int bottom = stview_selectdir->geometry().top() - 2;
    lbl_action->setGeometry(PromptLeft, std::max(2, bottom - height), maxWidth, height);
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
    fitPrompt();
    m_revealing = true;
    reveal();
    applyOkRule();
}

void Tfm_dir::applyOkRule() { btn_ok->setEnabled(!selectedFolder().isEmpty()); }

void Tfm_dir::stview_selectdirClick() { applyOkRule(); }

void Tfm_dir::btn_okClick()
{
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

void Tfm_dir::FormClose()
{
    // Only "Add Path" shows the box, and it does so anew each time.
    cbx_sub->hide();
}

void Tfm_dir::done(int result)
{
    // Every way of closing (OK, Cancel, the close box) ends here.
    guardedCall([this] { FormClose(); });
    ModalDialog::done(result);
}

} // namespace sondrel
