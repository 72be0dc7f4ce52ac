#include "CommandLine.h"

#include "NamePattern.h"
#include "OutputFormat.h"

#include <optional>

namespace sondrel {

QString usageText()
{
    return QStringLiteral(
        "Usage: sondrel [FILE|FOLDER]...\n"
        "       sondrel --convert --format %1 --out DIR [--jobs N]\n"
        "               [--existing ask|skip|overwrite|rename|update] [--pattern P]\n"
        "               [--portable-names] [--keep-folders|--no-keep-folders]\n"
        "               [--playlist] [--copy-same-format] [--dry-run]\n"
        "               [--replaygain off|track|album] [--normalize]\n"
        "               FILE|FOLDER...\n"
        "       sondrel --analyze [--jobs N] FILE|FOLDER...\n"
        "\n"
        "Without --convert, opens the window with the files added (folders with their\n"
        "sub-folders). A cue sheet (.cue) is taken as the tracks of its album image.\n"
        "\n"
        "  --convert          convert without a window, with the settings of the window\n"
        "  --format FORMAT    the output format\n"
        "  --out DIR          the output folder (made if missing)\n"
        "  --jobs N           files converted at once (default: the settings file's;\n"
        "                     0 is one per processor core)\n"
        "  --existing MODE    what to do with an output file that exists: ask (one key\n"
        "                     answers; needs a terminal on standard input), skip (keep\n"
        "                     it), overwrite, rename (write \"name (2)\" beside it) or\n"
        "                     update (replace it only when older than its source); the\n"
        "                     default is ask on a terminal, skip otherwise\n"
        "  --overwrite MODE   ask, yes or no: the same as --existing ask, overwrite, skip\n"
        "  --pattern P        name the outputs by the pattern P below the output folder,\n"
        "                     e.g. '{albumartist|artist}/{album}/{track:02} {title}'\n"
        "                     (default: the settings file's; none: as the sources)\n"
        "  --portable-names   names from a pattern that Windows file systems also take\n"
        "  --keep-folders     outputs of a folder's files keep its folders below DIR\n"
        "  --no-keep-folders  every output straight in DIR (default: the settings file's)\n"
        "  --playlist         also write <DIR>/<folder name or Sondrel>.m3u8 listing the\n"
        "                     outputs in order (default: the settings file's)\n"
        "  --copy-same-format copy a file already in the output format's codec into\n"
        "                     its output without re-encoding (default: the settings\n"
        "                     file's); the format's settings do not apply to a copy\n"
        "  --replaygain MODE  write ReplayGain 2.0 tags measured from the converted audio:\n"
        "                     track, album (track and album values; an album is the files\n"
        "                     sharing album artist and album, or one folder) or off\n"
        "                     (default: the settings file's)\n"
        "  --normalize        make the audio itself as loud as -18 LUFS (per album with\n"
        "                     --replaygain album), never past a true peak of -1 dBTP\n"
        "  --dry-run          print each file's plan, source TAB target TAB action\n"
        "                     (convert, copy, rename, skip, up to date, ask), write\n"
        "                     nothing\n"
        "  --analyze          print each file's loudness, writing nothing: path TAB\n"
        "                     LUFS TAB true peak dBTP TAB track gain dB TAB album gain\n"
        "                     dB (ReplayGain to -18 LUFS; albums by album artist and\n"
        "                     album tags, else by folder); a silent file has -inf LUFS\n"
        "                     and no gains\n"
        "  --help             this text\n"
        "  --version          the version\n"
        "\n"
        "Exit status: 0 every file converted or analyzed (or skipped or up to date as --existing\n"
        "asked), 1 some failed or were skipped unasked, 2 bad arguments (or ask\n"
        "without a terminal); 130, 143 and 129 after Ctrl+C, SIGTERM and SIGHUP, and 141 when the\n"
        "standard output was closed: these stop the conversion, and nothing of the files\n"
        "in work is written.\n")
        .arg(outputFormatNames().join(QLatin1Char('|')));
}

namespace {

bool takesValue(const QString& option)
{
    return option == QLatin1String("--format") || option == QLatin1String("--out") || option == QLatin1String("--jobs")
        || option == QLatin1String("--overwrite") || option == QLatin1String("--existing")
        || option == QLatin1String("--pattern") || option == QLatin1String("--replaygain");
}

std::optional<Existing> overwriteMode(const QString& value)
{
    if (value == QLatin1String("ask"))
        return Existing::Ask;
    if (value == QLatin1String("yes"))
        return Existing::Overwrite;
    if (value == QLatin1String("no"))
        return Existing::Skip;
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
    } else if (option == QLatin1String("--pattern")) {
        if (!value || value->isEmpty())
            return QStringLiteral("--pattern needs a pattern");
        if (const NamePattern pattern(*value); !pattern.isValid())
            return QStringLiteral("--pattern: ") + pattern.error();
        c.pattern = *value;
    } else if (option == QLatin1String("--replaygain")) {
        if (value && *value == QLatin1String("off"))
            c.replayGain = GainTags::Off;
        else if (value && *value == QLatin1String("track"))
            c.replayGain = GainTags::Track;
        else if (value && *value == QLatin1String("album"))
            c.replayGain = GainTags::TrackAndAlbum;
        else
            return QStringLiteral("--replaygain needs off, track or album");
    } else if (option == QLatin1String("--existing")) {
        const std::optional<Existing> mode = value ? existingNamed(*value) : std::nullopt;
        if (!mode)
            return QStringLiteral("--existing needs ask, skip, overwrite, rename or update");
        c.existing = *mode;
    } else {
        const std::optional<Existing> mode = value ? overwriteMode(*value) : std::nullopt;
        if (!mode)
            return QStringLiteral("--overwrite needs ask, yes or no");
        c.existing = *mode;
    }
    return {};
}

// What is missing or out of place once every argument is read; an empty text when nothing is.
QString checkOptions(const CommandLine& c, bool convert, bool analyze)
{
    if (analyze) {
        if (convert)
            return QStringLiteral("--analyze and --convert cannot go together");
        if (!c.format.isEmpty() || !c.out.isEmpty() || c.existing || c.pattern || c.portableNames || c.keepFolders
            || c.dryRun || c.playlist || c.copySameFormat || c.replayGain || c.normalize)
            return QStringLiteral("--analyze takes only --jobs");
        if (c.paths.isEmpty())
            return QStringLiteral("--analyze needs files or folders to analyze");
        return {};
    }
    if (!convert) {
        if (!c.format.isEmpty() || !c.out.isEmpty() || c.jobs >= 0 || c.existing || c.pattern || c.portableNames
            || c.keepFolders || c.dryRun || c.playlist || c.copySameFormat || c.replayGain || c.normalize)
            return QStringLiteral("--format, --out, --jobs, --existing, --overwrite, --pattern, --portable-names, "
                                  "--keep-folders, --no-keep-folders, --playlist, --copy-same-format, --replaygain, "
                                  "--normalize and --dry-run go with --convert");
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
    bool analyze = false;
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
        } else if (a == QLatin1String("--analyze")) {
            analyze = true;
        } else if (a == QLatin1String("--portable-names")) {
            c.portableNames = true;
        } else if (a == QLatin1String("--keep-folders") || a == QLatin1String("--no-keep-folders")) {
            c.keepFolders = a == QLatin1String("--keep-folders");
        } else if (a == QLatin1String("--copy-same-format")) {
            c.copySameFormat = true;
        } else if (a == QLatin1String("--dry-run")) {
            c.dryRun = true;
        } else if (a == QLatin1String("--playlist")) {
            c.playlist = true;
        } else if (a == QLatin1String("--normalize")) {
            c.normalize = true;
        } else if (takesValue(a)) {
            const QString why = setValueOption(c, a, i + 1 < args.size() ? &args[++i] : nullptr);
            if (!why.isEmpty())
                return fail(why);
        } else {
            return fail(QStringLiteral("unknown option: %1").arg(a));
        }
    }
    if (const QString why = checkOptions(c, convert, analyze); !why.isEmpty())
        return fail(why);
    if (convert)
        c.action = CommandLine::Action::Convert;
    else if (analyze)
        c.action = CommandLine::Action::Analyze;
    return c;
}

} // namespace sondrel
