#include "MainWindow.h"

#include "ExceptionHook.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

namespace sondrel {

namespace {

// caption: with "&" before the mnemonic letter. keys: the shortcut, shown in the menu.
QAction* addItem(QWidget* menu, QObject* owner, const char* caption, const char* name,
                 const QKeySequence& keys = {})
{
    auto* a = new QAction(QString::fromLatin1(caption), owner);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(keys);
    menu->addAction(a);
    return a;
}

void addSeparator(QMenu* menu, const char* name)
{
    menu->addSeparator()->setObjectName(QString::fromLatin1(name));
}

QMenu* addSubMenu(QMenuBar* bar, const char* caption, const char* name)
{
    QMenu* m = bar->addMenu(QString::fromLatin1(caption));
    m->setObjectName(QString::fromLatin1(name));
    m->menuAction()->setObjectName(QString::fromLatin1(name));
    return m;
}

} // namespace

void Tfm_main::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    bar->setNativeMenuBar(false);

    // Each handler runs behind the exception boundary, whichever menu the click came from.
    const auto route = [this](QAction* a, void (Tfm_main::*handler)()) {
        connect(a, &QAction::triggered, this, guarded([this, handler](bool) { (this->*handler)(); }));
    };

    // The shortcuts act, like the items, only while their item is enabled; each handler keeps
    // its own guard besides.
    QMenu* file = addSubMenu(bar, "&File", "File1");
    route(addItem(file, this, "&Add File(s)", "AddFile1", QKeySequence(Qt::CTRL | Qt::Key_O)), &Tfm_main::AddFile1Click);
    route(addItem(file, this, "Add &Path", "AddPath1", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)),
          &Tfm_main::AddPath1Click);
    route(addItem(file, this, "&Remove", "Remove1", QKeySequence(Qt::Key_Delete)), &Tfm_main::Remove1Click);
    route(addItem(file, this, "&Clear", "Clear1", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete)),
          &Tfm_main::Clear1Click);
    addSeparator(file, "N1");
    route(addItem(file, this, "E&xit", "Exit1"), &Tfm_main::Exit1Click);

    QMenu* action = addSubMenu(bar, "&Action", "Action1");
    route(addItem(action, this, "&Convert", "Convert1", QKeySequence(Qt::CTRL | Qt::Key_Return)), &Tfm_main::Convert1Click);
    route(addItem(action, this, "&Stop Converting", "StopConverting1"), &Tfm_main::StopConverting1Click);
    addSeparator(action, "N2");
    QAction* play = addItem(action, this, "&Play", "Play1", QKeySequence(Qt::Key_Space));
    // Space plays or pauses from the list (see the list's keys); here it is only shown.
    play->setShortcutContext(Qt::WidgetShortcut);
    route(play, &Tfm_main::Play1Click);
    route(addItem(action, this, "P&ause", "PausePlaying1"), &Tfm_main::PausePlaying1Click);
    route(addItem(action, this, "Stop P&laying", "Stopplaying1"), &Tfm_main::Stopplaying1Click);

    // "Options" and "ID3 Tag" are commands themselves, with no entries below them.
    route(addItem(bar, this, "&Options", "Settings1", QKeySequence(Qt::CTRL | Qt::Key_Comma)), &Tfm_main::Settings1Click);
    route(addItem(bar, this, "&ID3 Tag", "ID31", QKeySequence(Qt::CTRL | Qt::Key_I)), &Tfm_main::ID31Click);

    QMenu* help = addSubMenu(bar, "&Help", "Help1");
    route(addItem(help, this, "&Content", "Content1", QKeySequence(Qt::Key_F1)), &Tfm_main::Content1Click);
    // F1 itself is handled once for every window by the keyboard hook.
    help->actions().constLast()->setShortcutContext(Qt::WidgetShortcut);
    addSeparator(help, "N3");
    route(addItem(help, this, "&Website", "Website1"), &Tfm_main::Website1Click);
    addSeparator(help, "N6");
    route(addItem(help, this, "&About", "About1"), &Tfm_main::About1Click);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    route(addItem(PopupMenu1, this, "&Add File(s)", "AddFile2"), &Tfm_main::AddFile1Click);
    route(addItem(PopupMenu1, this, "Add &Path", "AddPath2"), &Tfm_main::AddPath1Click);
    route(addItem(PopupMenu1, this, "&Remove", "Remove2"), &Tfm_main::Remove1Click);
    route(addItem(PopupMenu1, this, "&Clear", "Clear2"), &Tfm_main::Clear1Click);
    addSeparator(PopupMenu1, "N5");
    route(addItem(PopupMenu1, this, "C&onvert", "Convert2"), &Tfm_main::Convert1Click);
    route(addItem(PopupMenu1, this, "&Stop Converting", "StopConverting2"), &Tfm_main::StopConverting1Click);
    addSeparator(PopupMenu1, "N4");
    route(addItem(PopupMenu1, this, "P&lay", "Play2"), &Tfm_main::Play1Click);
    route(addItem(PopupMenu1, this, "Pa&use", "Pause1"), &Tfm_main::PausePlaying1Click);
    route(addItem(PopupMenu1, this, "Stop Pla&ying", "StopPlay1"), &Tfm_main::Stopplaying1Click);

    // F10 opens the first menu, as in other desktop programs.
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, this, guarded([bar] {
        bar->setActiveAction(bar->actions().constFirst());
    }));
}

} // namespace sondrel
