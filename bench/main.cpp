// sondrel-bench: speed and memory figures of the engine's operations, run the way the
// program runs them. Each sub-command lives in its own file and registers itself.
#include "BenchCommon.h"

#include <QCoreApplication>
#include <cstdio>

namespace {
int usage(int code)
{
    QString text = QStringLiteral("usage: sondrel-bench COMMAND ARGS...\n\ncommands:\n");
    for (const bench::Command& c : bench::commands())
        text += QStringLiteral("  %1 %2\n      %3\n").arg(c.name, c.usage, c.summary);
    std::fputs(text.toUtf8().constData(), code == 0 ? stdout : stderr);
    return code;
}
} // namespace

int main(int argc, char** argv)
{
    bench::wallSeconds(); // starts the clock
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
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
