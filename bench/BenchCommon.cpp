#include "BenchCommon.h"

#include <QElapsedTimer>
#include <cstdio>
#include <sys/resource.h>

namespace bench {

namespace {
QList<Command>& registry()
{
    static QList<Command> list;
    return list;
}
} // namespace

bool registerCommand(Command command)
{
    registry().append(std::move(command));
    return true;
}

const QList<Command>& commands() { return registry(); }

double wallSeconds()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return double(clock.nsecsElapsed()) / 1e9;
}

long peakRssKiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss; // KiB on Linux
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void printRow(const QStringList& fields)
{
    QStringList clean;
    clean.reserve(fields.size());
    for (QString f : fields) {
        f.replace(QLatin1Char('\t'), QLatin1Char(' '));
        f.replace(QLatin1Char('\n'), QLatin1Char(' '));
        f.replace(QLatin1Char('\r'), QLatin1Char(' '));
        clean << f;
    }
    const QByteArray line = clean.join(QLatin1Char('\t')).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
}

void printTotal(int files, double seconds)
{
    std::fflush(stdout);
    printRow({QStringLiteral("total"), QString::number(files), number(seconds), QString::number(peakRssKiB())});
    std::fflush(stdout);
}

void printError(const QString& text)
{
    const QByteArray line = text.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

QString number(double value, int decimals) { return QString::number(value, 'f', decimals); }

} // namespace bench
