// sondrel-bench: speed and memory figures of the engine's operations, run the way the
// program runs them. Each sub-command lives in its own file and registers itself.
#include "Allocator.h"
#include "BenchCommon.h"
#include "OutputFormat.h"

#include <QApplication>
#include <memory>
#include <cstdio>

namespace {
int usage(int code)
{
    QString text = QStringLiteral("usage: sondrel-bench COMMAND ARGS...\n\ncommands:\n");
    const QString formats = sondrel::outputFormatNames().join(QLatin1Char('|'));
    for (const bench::Command& c : bench::commands()) {
        const QString usage = QString(c.usage).replace(QLatin1String("%formats"), formats);
        text += QStringLiteral("  %1 %2\n      %3\n").arg(c.name, usage, c.summary);
    }
    std::fputs(text.toUtf8().constData(), code == 0 ? stdout : stderr);
    return code;
}
} // namespace

int main(int argc, char** argv)
{
    sondrel::tuneAllocator(); // as the program does
    bench::wallSeconds(); // starts the clock
    // Sub-commands that drive the real window need a widget application; the platform is
    // offscreen unless one is chosen.
    const QString first = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    bool gui = false;
    for (const bench::Command& c : bench::commands())
        gui = gui || (c.name == first && c.gui);
    if (gui && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app = gui ? std::make_unique<QApplication>(argc, argv)
                                                : std::make_unique<QCoreApplication>(argc, argv);
    QStringList args = app->arguments().mid(1);
    if (args.isEmpty())
        return usage(2);
    const QString name = args.takeFirst();
    if (name == QLatin1String("help") || name == QLatin1String("--help") || name == QLatin1String("-h"))
        return usage(0);
    for (const bench::Command& c : bench::commands()) {
        if (c.name == name)
            return c.run(args);
    }
    bench::printError(QStringLiteral("unknown command: %1").arg(name));
    return usage(2);
}
