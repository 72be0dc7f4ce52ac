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

using Handler = void (Tfm_main::*)();

// Each handler runs behind the exception boundary, whichever menu the click came from.
void route(Tfm_main* w, QAction* a, Handler handler)
{
    QObject::connect(a, &QAction::triggered, w, guarded([w, handler](bool) { (w->*handler)(); }));
}

void addFileMenu(QMenuBar* bar, Tfm_main* w)
{
    QMenu* file = addSubMenu(bar, "&File", "File1");
    route(w, addItem(file, w, "&Add File(s)", "AddFile1", QKeySequence(Qt::CTRL | Qt::Key_O)), &Tfm_main::AddFile1Click);
    route(w, addItem(file, w, "Add &Path", "AddPath1", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)),
          &Tfm_main::AddPath1Click);
    route(w, addItem(file, w, "&Remove", "Remove1", QKeySequence(Qt::Key_Delete)), &Tfm_main::Remove1Click);
    route(w, addItem(file, w, "&Clear", "Clear1", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete)),
          &Tfm_main::Clear1Click);
    addSeparator(file, "N1");
    route(w, addItem(file, w, "E&xit", "Exit1"), &Tfm_main::Exit1Click);
}

void addActionMenu(QMenuBar* bar, Tfm_main* w)
{
    QMenu* action = addSubMenu(bar, "&Action", "Action1");
    route(w, addItem(action, w, "&Convert", "Convert1", QKeySequence(Qt::CTRL | Qt::Key_Return)),
          &Tfm_main::Convert1Click);
    route(w, addItem(action, w, "&Stop Converting", "StopConverting1"), &Tfm_main::StopConverting1Click);
    route(w, addItem(action, w, "Analyze Lou&dness", "AnalyzeLoudness1"), &Tfm_main::AnalyzeLoudness1Click);
    addSeparator(action, "N2");
    QAction* play = addItem(action, w, "&Play", "Play1", QKeySequence(Qt::Key_Space));
    // Space plays or pauses from the list (see the list's keys); here it is only shown.
    play->setShortcutContext(Qt::WidgetShortcut);
    route(w, play, &Tfm_main::Play1Click);
    route(w, addItem(action, w, "P&ause", "PausePlaying1"), &Tfm_main::PausePlaying1Click);
    route(w, addItem(action, w, "Stop P&laying", "Stopplaying1"), &Tfm_main::Stopplaying1Click);
}

void addHelpMenu(QMenuBar* bar, Tfm_main* w)
{
    QMenu* help = addSubMenu(bar, "&Help", "Help1");
    route(w, addItem(help, w, "&Content", "Content1", QKeySequence(Qt::Key_F1)), &Tfm_main::Content1Click);
    // F1 itself is handled once for every window by the keyboard hook.
    help->actions().constLast()->setShortcutContext(Qt::WidgetShortcut);
    addSeparator(help, "N3");
    route(w, addItem(help, w, "&Website", "Website1"), &Tfm_main::Website1Click);
    addSeparator(help, "N6");
    route(w, addItem(help, w, "&About", "About1"), &Tfm_main::About1Click);
}

void fillPopupMenu(QMenu* popup, Tfm_main* w)
{
    route(w, addItem(popup, w, "&Add File(s)", "AddFile2"), &Tfm_main::AddFile1Click);
    route(w, addItem(popup, w, "Add &Path", "AddPath2"), &Tfm_main::AddPath1Click);
    route(w, addItem(popup, w, "&Remove", "Remove2"), &Tfm_main::Remove1Click);
    route(w, addItem(popup, w, "&Clear", "Clear2"), &Tfm_main::Clear1Click);
    addSeparator(popup, "N5");
    route(w, addItem(popup, w, "C&onvert", "Convert2"), &Tfm_main::Convert1Click);
    route(w, addItem(popup, w, "&Stop Converting", "StopConverting2"), &Tfm_main::StopConverting1Click);
    route(w, addItem(popup, w, "Analyze Lou&dness", "AnalyzeLoudness2"), &Tfm_main::AnalyzeLoudness1Click);
    addSeparator(popup, "N4");
    route(w, addItem(popup, w, "P&lay", "Play2"), &Tfm_main::Play1Click);
    route(w, addItem(popup, w, "Pa&use", "Pause1"), &Tfm_main::PausePlaying1Click);
    route(w, addItem(popup, w, "Stop Pla&ying", "StopPlay1"), &Tfm_main::Stopplaying1Click);
}

} // namespace

void Tfm_main::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    bar->setNativeMenuBar(false);

    // The shortcuts act, like the items, only while their item is enabled; each handler keeps
    // its own guard besides.
    addFileMenu(bar, this);
    addActionMenu(bar, this);
    // "Options" and "ID3 Tag" are commands themselves, with no entries below them.
    route(this, addItem(bar, this, "&Options", "Settings1", QKeySequence(Qt::CTRL | Qt::Key_Comma)),
          &Tfm_main::Settings1Click);
    route(this, addItem(bar, this, "&ID3 Tag", "ID31", QKeySequence(Qt::CTRL | Qt::Key_I)), &Tfm_main::ID31Click);
    addHelpMenu(bar, this);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    fillPopupMenu(PopupMenu1, this);

    // F10 opens the first menu, as in other desktop programs.
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, this, guarded([bar] {
        bar->setActiveAction(bar->actions().constFirst());
    }));
}

} // namespace sondrel
