#include "Allocator.h"
#include "AppShell.h"
#include "Application.h"
#include "BatchAnalyze.h"
#include "BatchConvert.h"
#include "CommandLine.h"
#include "Launcher.h"
#include "MainWindow.h"
#include "OpenFileLimit.h"
#include "Prompts.h"
#include "StopSignals.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

QStringList arguments(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

} // namespace

int main(int argc, char** argv)
{
    sondrel::tuneAllocator();
    sondrel::raiseOpenFileLimit();
    const sondrel::CommandLine command = sondrel::parseCommandLine(arguments(argc, argv));
    switch (command.action) {
    case sondrel::CommandLine::Action::Help:
        std::fputs(sondrel::usageText().toLocal8Bit().constData(), stdout);
        return 0;
    case sondrel::CommandLine::Action::Version:
        std::printf("sondrel %s\n", sondrel::ApplicationVersion);
        return 0;
    case sondrel::CommandLine::Action::Error:
        std::fprintf(stderr, "sondrel: %s\n\n%s", command.error.toLocal8Bit().constData(),
                     sondrel::usageText().toLocal8Bit().constData());
        return 2;
    case sondrel::CommandLine::Action::Convert: {
        // No window: no display server is needed.
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Sondrel"));
        return sondrel::runBatchConversion(command, stdout, stderr);
    }
    case sondrel::CommandLine::Action::Analyze: {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Sondrel"));
        return sondrel::runBatchAnalysis(command, stdout, stderr);
    }
    case sondrel::CommandLine::Action::Window:
        break;
    }
    sondrel::Application app(argc, argv);
    sondrel::QtPrompts prompts;
    sondrel::DesktopLauncher launcher;
    sondrel::AppShell shell(prompts, launcher);
    shell.mainWindow().show();
    // Files and folders named on the command line go into the list once the window is up.
    shell.mainWindow().AddFromCommandLine(command.paths);
    const int status = app.exec();
    return shell.stopSignal() ? sondrel::StopSignals::exitStatusFor(shell.stopSignal()) : status;
}
