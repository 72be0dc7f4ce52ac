#include "AppShell.h"
#include "Application.h"
#include "Launcher.h"
#include "MainWindow.h"
#include "Prompts.h"

int main(int argc, char** argv)
{
    sondrel::Application app(argc, argv);
    sondrel::QtPrompts prompts;
    sondrel::DesktopLauncher launcher;
    sondrel::AppShell shell(prompts, launcher);
    shell.mainWindow().show();
    return app.exec();
}
