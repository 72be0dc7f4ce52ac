#include "MainWindow.h"

#include "Converter.h"
#include "OutputPlanner.h"
#include "Dialogs.h"
#include "FileListOps.h"
#include "Playback.h"
#include "Prompts.h"
#include "RunNotices.h"
#include "ExceptionHook.h"
#include "FileListView.h"
#include "Launcher.h"
#include "LoudnessAnalyzer.h"
#include "ListRows.h"
#include "OutputFormat.h"
#include "Skin.h"
#include "StatusDelegate.h"
#include "UiStateTable.h"
#include "WindowSettings.h"
#include "ValueTables.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShortcut>

namespace sondrel {

namespace {
const QString StopConversionAndQuit = QStringLiteral("A conversion is running. Stop it and quit?");
const QString StopAddingAndQuit = QStringLiteral("Files are being added. Stop adding and quit?");
const QString StopAnalyzingAndQuit = QStringLiteral("Loudness is being analyzed. Stop it and quit?");
} // namespace

Tfm_main::Tfm_main(AppState& state, Prompts& prompts, Launcher& launcher, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                              | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                              | Qt::WindowMaximizeButtonHint
                              | Qt::WindowCloseButtonHint),
      m_state(state), m_prompts(prompts), m_launcher(launcher)
{
    setObjectName(QStringLiteral("fm_main"));
    setWindowTitle(QStringLiteral("fm_main"));
    setFont(formFont());
    buildControls();
    buildMenus();
    // The designed size of the client area (below the menu bar) is its smallest; the list
    // takes the room the window is given beyond it.
    connect(&m_state, &AppState::flagsChanged, this, &Tfm_main::onFlagsChanged);
    m_fileList = std::make_unique<FileListOps>(this, *list, m_state, m_prompts);
    m_converter = std::make_unique<Converter>(this, *list, pb, m_state, m_prompts, AudioFileWrite, AudioFile2LameEnc);
    m_analyzer = std::make_unique<LoudnessAnalyzer>(this, *list, pb, m_state, m_prompts);
    m_playback = std::make_unique<Playback>(this, *list, m_state, m_prompts, AudioFileRead, Player);
    m_runNotices = std::make_unique<RunNotices>(this, m_state, *list, *m_converter);
    // The row being converted is selected; playing gives the list the focus.
    connect(m_converter.get(), &Converter::rowStarted, lv, &FileListView::selectRow);
    connect(m_playback.get(), &Playback::listFocusWanted, lv, [this] { lv->setFocus(); });
    // The Output column follows the list, the format and the settings; a run's new files
    // are existing ones for the next.
    m_planner = new OutputPlanner(*list, [this] { return m_converter->planSetup(chosenFormat()); }, this);
    connect(m_converter.get(), &Converter::runEnded, m_planner, &OutputPlanner::schedule);
    connect(edt_dir, &QLineEdit::textChanged, m_planner, &OutputPlanner::schedule);
    connect(m_playback.get(), &Playback::positionChanged, this, &Tfm_main::ShowPlayPosition);
    connect(m_playback.get(), &Playback::ended, this, &Tfm_main::EndPlayPosition);
    FormCreate();
}

Tfm_main::~Tfm_main()
{
    // What ends below (an adding, a conversion) clears its busy flag; the menus of a window
    // being destroyed need no update.
    disconnect(&m_state, nullptr, this, nullptr);
    m_runNotices.reset();
    m_analyzer.reset();
    m_fileList.reset();
    m_converter.reset();
}

void Tfm_main::buildControls()
{
    QWidget* client = buildClientArea();

    list = new FileListModel(this);
    lv = new FileListView(list, client);
    lv->setObjectName(QStringLiteral("lv"));
    lv->setFrameShape(QFrame::NoFrame);
    lv->header()->setObjectName(QStringLiteral("lvHeader"));
    lv->header()->setSectionsClickable(true);
    lv->header()->setSectionsMovable(false);
    lv->header()->setStretchLastSection(false);
    // Columns can be widened by dragging; File Name and Full Path share what the window grows by.
    lv->header()->setSectionResizeMode(QHeaderView::Interactive);
    lv->header()->setMinimumSectionSize(24);
    for (int c = 0; c < rows::ColumnCount; ++c)
        lv->setColumnWidth(c, ColumnWidths[std::size_t(c)]);
    // A column the user drags keeps that width.
    connect(lv->header(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (m_placingColumns)
            return;
        if (column == rows::FileName)
            m_nameWidth = width;
        else if (column == rows::FullPath)
            m_pathWidth = width;
        else if (column == rows::Output)
            m_outputWidth = width;
    });
    connect(lv->header(), &QHeaderView::sectionClicked, this, guarded([this](int column) {
        lvColumnClick(column);
    }));
    // Grid lines between the cells of the report. A style sheet on the items takes the
    // selection's look out of the style's hands, so the selected row gets its colours here:
    // the skin's blue, and a pale blue while the window is in the background.
    lv->setStyleSheet(QStringLiteral(
        "QTreeView::item { border-right: 1px solid #d8d8d8; border-bottom: 1px solid #d8d8d8; }"
        "QTreeView::item:selected:active { background: rgb(57,98,177); color: white; }"
        "QTreeView::item:selected:!active { background: rgb(200,214,236); color: black; }"));
    lv->setItemDelegateForColumn(rows::Status, new StatusDelegate(lv));
    lv->setDropGuard([this] { return addingAllowed(); });
    connect(lv, &FileListView::pathsDropped, this, guarded([this](const QStringList& paths) { lvDragDrop(paths); }));
    addListKeys();
    buildProgressBar(client);
    buildOutputControls(client);

    placeControls();
}

QWidget* Tfm_main::buildClientArea()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setMinimumSize(ClientWidth, ClientHeight);
    client->installEventFilter(this);
    client->setAutoFillBackground(true);
    client->setBackgroundRole(QPalette::Button);
    setCentralWidget(client);

    // The skin control's site; once a skin is attached it draws the whole client area,
    // behind the other controls.
    Skin = new sondrel::Skin(client);
    Skin->setGeometry(232, 120, 32, 32);
    connect(Skin, &sondrel::Skin::OnClick, this, guarded([this](const SkinObject& element) {
        SkinClick(element);
    }));
    return client;
}

void Tfm_main::addListKeys()
{
    // The list's own keys: Enter plays the selected row as a double-click does; Space plays,
    // pauses and resumes.
    for (const QKeySequence& enter : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* key = new QShortcut(enter, lv, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
        connect(key, &QShortcut::activated, this, guarded([this] { lvDblClick(); }));
    }
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), lv, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(space, &QShortcut::activated, this, guarded([this] {
        if (m_state.flag_playing())
            PausePlaying1Click();
        else
            Play1Click();
    }));
    lv->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lv, &QAbstractItemView::doubleClicked, this, guarded([this](const QModelIndex&) {
        lvDblClick();
    }));
    // A double-click on the list's empty space counts too (it plays the selected row).
    lv->viewport()->installEventFilter(this);
    connect(lv, &QWidget::customContextMenuRequested, this, guarded([this](const QPoint& p) {
        PopupMenu1->popup(lv->viewport()->mapToGlobal(p));
    }));
}

void Tfm_main::buildProgressBar(QWidget* client)
{
    pb = new QProgressBar(client);
    pb->setObjectName(QStringLiteral("pb"));
    pb->setRange(0, 100);
    pb->setValue(0);
    pb->setOrientation(Qt::Horizontal);
    pb->setTextVisible(false);
    pb->setAlignment(Qt::AlignCenter);
    pb->setStyleSheet(QStringLiteral(
        "QProgressBar { border: 1px solid rgb(160,176,200); background: rgb(237,243,248);"
        " color: black; font-size: 7pt; }"
        "QProgressBar::chunk { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
        " stop:0 rgb(120,160,220), stop:1 rgb(40,90,170)); }"));
}

void Tfm_main::buildOutputControls(QWidget* client)
{
    cb_format = new QComboBox(client);
    cb_format->setObjectName(QStringLiteral("cb_format"));
    cb_format->setEditable(false);
    // Each item carries its format's stored index.
    for (const OutputFormat* f : outputFormats())
        cb_format->addItem(QString::fromLatin1(f->label), f->index);
    connect(cb_format, &QComboBox::currentIndexChanged, this, guarded([this](int) {
        if (!m_loadingFormat)
            cb_formatChange();
    }));

    edt_dir = new QLineEdit(client);
    edt_dir->setObjectName(QStringLiteral("edt_dir"));
    edt_dir->setReadOnly(true);
    edt_dir->setEnabled(false);
    // The field is narrow: the whole folder shows as its tooltip.
    connect(edt_dir, &QLineEdit::textChanged, edt_dir, &QWidget::setToolTip);

    cbx_keep = new QCheckBox(QStringLiteral("Keep folders"), client);
    cbx_keep->setObjectName(QStringLiteral("cbx_keep"));
    cbx_keep->setToolTip(QStringLiteral("Files added with a folder are written below a folder of its name in the "
                                        "output folder, with their sub-folders"));
    cbx_keep->setStyleSheet(QStringLiteral("QCheckBox { font-size: 7pt; spacing: 3px; }"
                                           "QCheckBox::indicator { width: 11px; height: 11px; }"));
    connect(cbx_keep, &QCheckBox::toggled, this, guarded([this](bool) {
        if (!m_loadingFormat)
            cbx_keepClick();
    }));
}

void Tfm_main::placeControls()
{
    const WindowLayout layout = Skin->layout();
    const QSize now = centralWidget()->size();
    const QRect list = layout.spanned(QRect(6, 73, DesignedListWidth, 247), now);
    lv->setGeometry(list);
    shareListGrowth(list.width());
    const QRect bar = layout.spanned(QRect(20, 330, 441, 12), now);
    pb->setGeometry(layout.placed(QRect(20, 330, 441, 12), now).x(), layout.placed(QRect(20, 330, 441, 12), now).y(),
                    bar.width(), 12);
    cb_format->setGeometry(layout.placed(QRect(243, 357, 55, 21), now));
    edt_dir->setGeometry(layout.placed(QRect(303, 357, 95, 21), now));
    cbx_keep->setGeometry(layout.placed(QRect(402, 342, 76, 14), now));
    for (QPushButton* b : plainButtons)
        b->setGeometry(layout.placed(b->property("designRect").toRect(), now));
}

bool Tfm_main::eventFilter(QObject* watched, QEvent* e)
{
    if (edt_dir && watched == centralWidget() && e->type() == QEvent::Resize) // all controls made
        guardedCall([this] { placeControls(); });
    if (lv && watched == lv->viewport() && e->type() == QEvent::MouseButtonDblClick
        && !lv->indexAt(static_cast<QMouseEvent*>(e)->position().toPoint()).isValid()
        && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton)
        guardedCall([this] { lvDblClick(); });
    return QMainWindow::eventFilter(watched, e);
}

QAction* Tfm_main::item(const char* objectName) const
{
    return findChild<QAction*>(QString::fromLatin1(objectName));
}

void Tfm_main::FormCreate()
{
    AudioFileWrite.SetStartOption(true);
    AudioFileRead.SetStartOption(true);
    AudioInfo.StartOption = true;
}

void Tfm_main::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    if (m_shown)
        return;
    m_shown = true;
    // Size and place come from the settings when the window is first shown (FormShow).
    guardedCall([this] { FormShow(); });
}

void Tfm_main::FormShow()
{
    applySkin();
    m_state.openSettings(std::make_unique<SettingsFile>(SettingsFile::defaultPath()));
    SettingsFile& settings = *m_state.settings();
    settings.removeStrayTemporaries();
    // A settings file that cannot be written costs the user the settings of this session
    // at most, never the program and its list: one message, then the values live in memory.
    settings.keepUnsavedValues([this](const QString& message) { m_prompts.information(this, message); });
    edt_dir->setText(settings.read_string(QString::fromLatin1(keys::outputDirectory.section),
                                          QString::fromLatin1(keys::outputDirectory.key),
                                          defaultOutputDirectory()));
    const int format = readKey(settings, keys::format);
    m_loadingFormat = true;
    cb_format->setCurrentIndex(cb_format->findData(format));
    cbx_keep->setChecked(readKey(settings, keys::keepFolders) != 0);
    m_loadingFormat = false;
    m_state.clearFlags();
    applyUiState(this, m_state.uiState());
    // Where the window was and how large, as it was closed last time (at the first start:
    // a comfortable size, centred), and the columns as they were.
    const QRect asked = restoreWindow(*this, settings);
    restoreColumns(settings, asked.width());
    placeControls();
    setKeyboardOrder();
    m_planner->schedule();
}

void Tfm_main::applySkin()
{
    try {
        Skin->OpenSkinFile(skinFilePath());
        Skin->AttachWindow(this);
        Skin->SetWindowTitle(this, QStringLiteral("Velkin"));
        return;
    } catch (const std::exception& e) {
        // The skin is only the look: every command stays reachable through plain buttons.
        qWarning("Sondrel: the skin cannot be applied, plain buttons are shown instead. %s", e.what());
    }
    Skin->hide();
    setWindowTitle(QStringLiteral("Sondrel"));
    showPlainButtons();
}

void Tfm_main::showPlainButtons()
{
    if (!plainButtons.isEmpty())
        return;
    for (const SkinElementSpec& spec : sondrel::Skin::builtInLayout()) {
        auto* button = new QPushButton(spec.caption, centralWidget());
        button->setObjectName(spec.name);
        button->setToolTip(spec.tip);
        button->setAccessibleDescription(spec.tip);
        button->setProperty("designRect", spec.rect);
        button->setGeometry(Skin->layout().placed(spec.rect, centralWidget()->size()));
        button->show();
        connect(button, &QPushButton::clicked, this, guarded([this, name = spec.name] {
            SkinClick(SkinObject(name));
        }));
        plainButtons << button;
    }
}

void Tfm_main::setKeyboardOrder()
{
    // Tab goes through the buttons above the list from left to right, then the list, the
    // format and Browse.
    QList<QWidget*> buttons;
    if (Skin->isAttached()) {
        for (QAbstractButton* key : Skin->keys())
            buttons << key;
    } else {
        for (QPushButton* b : plainButtons)
            buttons << b;
    }
    QWidget* browse = nullptr;
    QList<QWidget*> order;
    for (QWidget* b : buttons) {
        if (b->objectName().endsWith(QLatin1String("Browse")))
            browse = b;
        else
            order << b;
    }
    order << lv << cb_format << cbx_keep;
    if (browse)
        order << browse;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void Tfm_main::closeEvent(QCloseEvent* e)
{
    const bool busy = m_state.flag_converting() || m_state.flag_adding() || m_state.flag_analyzing();
    if (busy && !m_closeWithoutAsking) {
        // Work in hand is lost by closing: the user says so first. A second Esc or close while
        // the question is up changes nothing.
        bool quit = false;
        if (!m_askingToClose) {
            const QScopedValueRollback<bool> asking(m_askingToClose, true);
            guardedCall([&] {
                quit = m_prompts.confirmCautious(this, m_state.flag_converting() ? StopConversionAndQuit
                                                       : m_state.flag_adding()   ? StopAddingAndQuit
                                                                                 : StopAnalyzingAndQuit);
            });
        }
        if (!quit) {
            e->ignore();
            return;
        }
    }
    guardedCall([this] { FormClose(); });
    QMainWindow::closeEvent(e);
}

void Tfm_main::closeWithoutAsking()
{
    m_closeWithoutAsking = true;
    close();
}

void Tfm_main::FormClose()
{
    // An adding and an analysis end at once; a conversion still running stops: each file in
    // work is given up, its temporary file removed, and no output is touched.
    m_fileList->stopAndWait();
    m_converter->stopAndWait();
    m_state.setConverting(false);
    m_analyzer->stopAndWait();
    // Playing ends with the window; a file still being opened for it is given up.
    m_playback->StopAndWait();
    if (SettingsFile* settings = m_state.settings())
        saveWindow(*this, *lv, *settings);
    m_state.releaseSettings();
}

void Tfm_main::onFlagsChanged()
{
    applyUiState(this, m_state.uiState());
}

QString Tfm_main::skinFilePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/sondrel.dll");
}

QString Tfm_main::helpFilePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/help/sondrel.chm");
}

} // namespace sondrel
