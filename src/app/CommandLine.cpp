#include "CommandLine.h"

#include "OutputFormat.h"

namespace sondrel {

QString usageText()
{
    return QStringLiteral(
        "Usage: sondrel [FILE|FOLDER]...\n"
        "       sondrel --convert --format %1 --out DIR [--jobs N]\n"
        "               [--overwrite ask|yes|no] FILE|FOLDER...\n"
        "\n"
        "Without --convert, opens the window with the files added (folders with their\n"
        "sub-folders).\n"
        "\n"
        "  --convert          convert without a window, with the settings of the window\n"
        "  --format FORMAT    the output format\n"
        "  --out DIR          the output folder (made if missing)\n"
        "  --jobs N           files converted at once (default: the settings file's;\n"
        "                     0 is one per processor core)\n"
        "  --overwrite MODE   what to do with an output file that exists: ask, yes\n"
        "                     (replace it) or no (keep it and skip the source); the\n"
        "                     default is ask on a terminal, no otherwise\n"
        "  --help             this text\n"
        "  --version          the version\n"
        "\n"
        "Exit status: 0 every file converted, 1 some failed or were skipped, 2 bad\n"
        "arguments; 130, 143 and 129 after Ctrl+C, SIGTERM and SIGHUP, and 141 when the\n"
        "standard output was closed: these stop the conversion, and nothing of the files\n"
        "in work is written.\n")
        .arg(outputFormatNames().join(QLatin1Char('|')));
}

CommandLine parseCommandLine(const QStringList& args)
{
    CommandLine c;
    bool convert = false;
    bool optionsEnded = false;
    const auto fail = [&c](const QString& why) {
        c.action = CommandLine::Action::Error;
        c.error = why;
        return c;
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (optionsEnded || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            c.paths << a;
            continue;
        }
        const auto value = [&](QString* into) {
            if (i + 1 >= args.size())
                return false;
            *into = args[++i];
            return true;
        };
        QString v;
        if (a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            c.action = CommandLine::Action::Help;
            return c;
        } else if (a == QLatin1String("--version")) {
            c.action = CommandLine::Action::Version;
            return c;
        } else if (a == QLatin1String("--convert")) {
            convert = true;
        } else if (a == QLatin1String("--format")) {
            if (!value(&c.format))
                return fail(QStringLiteral("--format needs a format"));
            c.format = c.format.toLower();
            if (!outputFormatNamed(c.format))
                return fail(QStringLiteral("unknown format: %1").arg(c.format));
        } else if (a == QLatin1String("--out")) {
            if (!value(&c.out) || c.out.isEmpty())
                return fail(QStringLiteral("--out needs a folder"));
        } else if (a == QLatin1String("--jobs")) {
            bool ok = false;
            if (!value(&v) || (c.jobs = v.toInt(&ok), !ok) || c.jobs < 0)
                return fail(QStringLiteral("--jobs needs a number of 0 or more"));
        } else if (a == QLatin1String("--overwrite")) {
            if (!value(&v))
                return fail(QStringLiteral("--overwrite needs ask, yes or no"));
            if (v == QLatin1String("ask"))
                c.overwrite = CommandLine::Overwrite::Ask;
            else if (v == QLatin1String("yes"))
                c.overwrite = CommandLine::Overwrite::Yes;
            else if (v == QLatin1String("no"))
                c.overwrite = CommandLine::Overwrite::No;
            else
                return fail(QStringLiteral("--overwrite needs ask, yes or no"));
        } else {
            return fail(QStringLiteral("unknown option: %1").arg(a));
        }
    }
    if (!convert) {
        if (!c.format.isEmpty() || !c.out.isEmpty() || c.jobs >= 0 || c.overwrite != CommandLine::Overwrite::Default)
            return fail(QStringLiteral("--format, --out, --jobs and --overwrite go with --convert"));
        return c;
    }
    if (c.format.isEmpty())
        return fail(QStringLiteral("--convert needs --format"));
    if (c.out.isEmpty())
        return fail(QStringLiteral("--convert needs --out"));
    if (c.paths.isEmpty())
        return fail(QStringLiteral("--convert needs files or folders to convert"));
    c.action = CommandLine::Action::Convert;
    return c;
}

} // namespace sondrel
