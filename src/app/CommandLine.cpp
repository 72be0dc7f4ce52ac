#include "CommandLine.h"

#include "OutputFormat.h"

#include <optional>

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
        "  --overwrite MODE   what to do with an output file that exists: ask (one\n"
        "                     key answers; needs a terminal on standard input), yes\n"
        "                     (replace it) or no (keep it and skip the source); the\n"
        "                     default is ask on a terminal, no otherwise\n"
        "  --help             this text\n"
        "  --version          the version\n"
        "\n"
        "Exit status: 0 every file converted, 1 some failed or were skipped, 2 bad\n"
        "arguments (or --overwrite ask without a terminal); 130, 143 and 129 after\n"
        "Ctrl+C, SIGTERM and SIGHUP, and 141 when the standard output was closed: these\n"
        "stop the conversion, and nothing of the files in work is written.\n")
        .arg(outputFormatNames().join(QLatin1Char('|')));
}

namespace {

bool takesValue(const QString& option)
{
    return option == QLatin1String("--format") || option == QLatin1String("--out") || option == QLatin1String("--jobs")
        || option == QLatin1String("--overwrite");
}

std::optional<CommandLine::Overwrite> overwriteMode(const QString& value)
{
    if (value == QLatin1String("ask"))
        return CommandLine::Overwrite::Ask;
    if (value == QLatin1String("yes"))
        return CommandLine::Overwrite::Yes;
    if (value == QLatin1String("no"))
        return CommandLine::Overwrite::No;
    return std::nullopt;
}

// Sets the option that takes a value; value is null when the arguments ended before it.
// Returns what is wrong with it, or an empty text.
QString setValueOption(CommandLine& c, const QString& option, const QString* value)
{
    if (option == QLatin1String("--format")) {
        if (!value)
            return QStringLiteral("--format needs a format");
        c.format = value->toLower();
        if (!outputFormatNamed(c.format))
            return QStringLiteral("unknown format: %1").arg(c.format);
    } else if (option == QLatin1String("--out")) {
        if (!value || value->isEmpty())
            return QStringLiteral("--out needs a folder");
        c.out = *value;
    } else if (option == QLatin1String("--jobs")) {
        bool ok = false;
        if (!value || (c.jobs = value->toInt(&ok), !ok) || c.jobs < 0)
            return QStringLiteral("--jobs needs a number of 0 or more");
    } else {
        const std::optional<CommandLine::Overwrite> mode = value ? overwriteMode(*value) : std::nullopt;
        if (!mode)
            return QStringLiteral("--overwrite needs ask, yes or no");
        c.overwrite = *mode;
    }
    return {};
}

// What is missing or out of place once every argument is read; an empty text when nothing is.
QString checkOptions(const CommandLine& c, bool convert)
{
    if (!convert) {
        if (!c.format.isEmpty() || !c.out.isEmpty() || c.jobs >= 0 || c.overwrite != CommandLine::Overwrite::Default)
            return QStringLiteral("--format, --out, --jobs and --overwrite go with --convert");
        return {};
    }
    if (c.format.isEmpty())
        return QStringLiteral("--convert needs --format");
    if (c.out.isEmpty())
        return QStringLiteral("--convert needs --out");
    if (c.paths.isEmpty())
        return QStringLiteral("--convert needs files or folders to convert");
    return {};
}

} // namespace

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
        } else if (a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            c.action = CommandLine::Action::Help;
            return c;
        } else if (a == QLatin1String("--version")) {
            c.action = CommandLine::Action::Version;
            return c;
        } else if (a == QLatin1String("--convert")) {
            convert = true;
        } else if (takesValue(a)) {
            const QString why = setValueOption(c, a, i + 1 < args.size() ? &args[++i] : nullptr);
            if (!why.isEmpty())
                return fail(why);
        } else {
            return fail(QStringLiteral("unknown option: %1").arg(a));
        }
    }
    if (const QString why = checkOptions(c, convert); !why.isEmpty())
        return fail(why);
    if (convert)
        c.action = CommandLine::Action::Convert;
    return c;
}

} // namespace sondrel
