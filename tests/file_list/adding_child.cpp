// Starts a folder scan in the real window and closes the window as soon as the first rows are
// in, as a user would; prints what it saw once the program's event loop has ended.
#include "AppShell.h"
#include "FakePrompts.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "ListRows.h"
#include "MainWindow.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 1)
        return 2;
    FakePrompts prompts;
    FakeLauncher launcher;
    sondrel::AppShell shell(prompts, launcher);
    sondrel::Tfm_main& w = shell.mainWindow();
    w.show();
    QObject::connect(w.lv->listModel(), &QAbstractItemModel::rowsInserted, &w, [&] {
        if (w.isVisible()) {
            w.close();
            std::puts("closed");
        }
    });
    w.ScanFolder(args[0], true);
    const int code = app.exec();
    const int rows = w.list->count();
    std::printf("rows %d\n%s\n", rows, shell.state.flag_adding() ? "adding" : "idle");
    // Nothing more arrives once the event loop has ended.
    QCoreApplication::processEvents();
    return code == 0 && w.list->count() == rows ? 0 : 1;
}
