#include "MainWindow.h"

#include "ExceptionHook.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace sondrel {

namespace {

QAction* addItem(QWidget* menu, QObject* owner, const char* caption, const char* name)
{
    auto* a = new QAction(QString::fromLatin1(caption), owner);
    a->setObjectName(QString::fromLatin1(name));
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

    QMenu* file = addSubMenu(bar, "File", "File1");
    route(addItem(file, this, "Add File(s)", "AddFile1"), &Tfm_main::AddFile1Click);
    route(addItem(file, this, "Add Path", "AddPath1"), &Tfm_main::AddPath1Click);
    route(addItem(file, this, "Remove", "Remove1"), &Tfm_main::Remove1Click);
    route(addItem(file, this, "Clear", "Clear1"), &Tfm_main::Clear1Click);
    addSeparator(file, "N1");
    route(addItem(file, this, "Exit", "Exit1"), &Tfm_main::Exit1Click);

    QMenu* action = addSubMenu(bar, "Action", "Action1");
    route(addItem(action, this, "Convert", "Convert1"), &Tfm_main::Convert1Click);
    route(addItem(action, this, "Stop Converting", "StopConverting1"), &Tfm_main::StopConverting1Click);
    addSeparator(action, "N2");
    route(addItem(action, this, "Play", "Play1"), &Tfm_main::Play1Click);
    route(addItem(action, this, "Pause", "PausePlaying1"), &Tfm_main::PausePlaying1Click);
    route(addItem(action, this, "Stop Playing", "Stopplaying1"), &Tfm_main::Stopplaying1Click);

    // "Options" and "ID3 Tag" are commands themselves, with no entries below them.
    route(addItem(bar, this, "Options", "Settings1"), &Tfm_main::Settings1Click);
    route(addItem(bar, this, "ID3 Tag", "ID31"), &Tfm_main::ID31Click);

    QMenu* help = addSubMenu(bar, "Help", "Help1");
    route(addItem(help, this, "Content", "Content1"), &Tfm_main::Content1Click);
    addSeparator(help, "N3");
    route(addItem(help, this, "Website", "Website1"), &Tfm_main::Website1Click);
    addSeparator(help, "N6");
    route(addItem(help, this, "About", "About1"), &Tfm_main::About1Click);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    route(addItem(PopupMenu1, this, "Add File(s)", "AddFile2"), &Tfm_main::AddFile1Click);
    route(addItem(PopupMenu1, this, "Add Path", "AddPath2"), &Tfm_main::AddPath1Click);
    route(addItem(PopupMenu1, this, "Remove", "Remove2"), &Tfm_main::Remove1Click);
    route(addItem(PopupMenu1, this, "Clear", "Clear2"), &Tfm_main::Clear1Click);
    addSeparator(PopupMenu1, "N5");
    route(addItem(PopupMenu1, this, "Convert", "Convert2"), &Tfm_main::Convert1Click);
    route(addItem(PopupMenu1, this, "Stop Converting", "StopConverting2"), &Tfm_main::StopConverting1Click);
    addSeparator(PopupMenu1, "N4");
    route(addItem(PopupMenu1, this, "Play", "Play2"), &Tfm_main::Play1Click);
    route(addItem(PopupMenu1, this, "Pause", "Pause1"), &Tfm_main::PausePlaying1Click);
    route(addItem(PopupMenu1, this, "Stop Playing", "StopPlay1"), &Tfm_main::Stopplaying1Click);
}

} // namespace sondrel
