#include "BatchAnalyze.h"

#include "AlbumLoudness.h"
#include "BatchConvert.h"
#include "CommandLine.h"
#include "ConversionRun.h"
#include "EngineError.h"
#include "FileListModel.h"
#include "FileTags.h"
#include "LoudnessAnalysis.h"
#include "LoudnessMeter.h"
#include "NamePattern.h"
#include "OtherTags.h"
#include "SettingsFile.h"
#include "StopSignals.h"
#include "ValueTables.h"

#include <QEventLoop>
#include <QFileInfo>

#include <cerrno>
#include <cmath>
#include <csignal>

namespace sondrel {

namespace {

QByteArray local(const QString& text)
{
    return text.toLocal8Bit();
}

// Two decimals, in the C locale whatever the user's: the output is for programs to read.
QString decimal(double value)
{
    const double rounded = std::round(value * 100.0) / 100.0;
    return QString::number(rounded == 0 ? 0.0 : rounded, 'f', 2);
}

QString decimalOrEmpty(const std::optional<double>& value)
{
    return value ? decimal(*value) : QString();
}

// The album a file belongs to, from its tags as a conversion's pattern reads them.
QString albumKeyOfFile(const QString& path)
{
    NameValues values;
    try {
        const FileTags t = readFileTags(path, true);
        values = nameValuesOf(trackInfoOf(t.values), otherTagsOf(t.carried.fields));
    } catch (const EngineError&) {
        // The measure says why the file cannot be read; until then it goes by its folder.
    }
    return albumKeyOf(values, path);
}

// Prints the files' lines in their order, each as soon as it and every file before it are in
// and its album is known.
class Printer {
public:
    Printer(const LoudnessAnalysis& analysis, const QStringList& files, std::FILE* out, std::FILE* err)
        : m_analysis(analysis), m_files(files), m_in(std::size_t(files.size()), false), m_out(out), m_err(err)
    {
    }
    void fileIn(int file) { m_in[std::size_t(file)] = true; }
    // Prints what can be printed; false once the output is closed.
    bool flush()
    {
        while (m_next < int(m_files.size()) && m_in[std::size_t(m_next)]) {
            const LoudnessAnalysis::Result& r = m_analysis.result(m_next);
            if (r.stopped)
                return true; // nothing after a stopped file is printed out of order
            if (!r.measure) {
                std::fprintf(m_err, "%s: %s\n", local(m_files[m_next]).constData(), local(r.error).constData());
                ++m_failed;
            } else {
                const int album = m_analysis.albums().albumOf(m_next);
                if (!m_analysis.albums().complete(album))
                    return true;
                if (!printLine(*r.measure, m_analysis.albums().loudnessOf(album)))
                    return false;
            }
            ++m_next;
        }
        return true;
    }
    int failed() const { return m_failed; }

private:
    bool printLine(const LoudnessMeasure& m, const std::optional<double>& albumLufs)
    {
        const QString lufs = m.lufs ? decimal(*m.lufs) : QStringLiteral("-inf");
        const QString peak = m.peak > 0 ? decimal(20.0 * std::log10(m.peak)) : QStringLiteral("-inf");
        const QString line = QStringList{m_files[m_next], lufs, peak, decimalOrEmpty(gainToReference(m.lufs)),
                                         decimalOrEmpty(gainToReference(albumLufs))}
                                 .join(QLatin1Char('\t'));
        errno = 0;
        const bool written = std::fprintf(m_out, "%s\n", local(line).constData()) >= 0 && std::fflush(m_out) == 0;
        return written || errno != EPIPE;
    }

    const LoudnessAnalysis& m_analysis;
    const QStringList& m_files;
    std::vector<bool> m_in;
    std::FILE* m_out;
    std::FILE* m_err;
    int m_next = 0;
    int m_failed = 0;
};

} // namespace

int runBatchAnalysis(const CommandLine& command, std::FILE* out, std::FILE* err)
{
    StopSignals stopSignals;
    const NamedFiles named = filesNamed(command.paths, err);
    for (const QString& bad : named.badNames)
        std::fprintf(err, "%s: the name is not valid UTF-8 text, so the program cannot open the file\n",
                     local(bad).constData());
    if (named.files.isEmpty()) {
        std::fputs("Nothing to analyze: no audio files were found.\n", err);
        return 1;
    }
    std::vector<LoudnessAnalysis::File> files;
    QStringList labels;
    for (int i = 0; i < int(named.files.size()); ++i) {
        const QString& path = named.files[i];
        labels << namedFileLabel(named, i);
        const ListRow* track = named.tracks[std::size_t(i)].get();
        if (!track || !track->range) {
            files.push_back({path, albumKeyOfFile(path), std::max<qint64>(1, QFileInfo(path).size() / 1024), std::nullopt});
            continue;
        }
        // A track of an album image: its album is the sheet's, its audio its range.
        const NameValues values = nameValuesOf(track->info ? *track->info : TrackInfo{},
                                               track->other ? *track->other : OtherTags{});
        files.push_back({path, albumKeyOf(values, path), std::max<qint64>(1, std::int64_t(track->sizeBytes()) / 1024),
                         *track->range});
    }
    const SettingsFile settings(SettingsFile::defaultPath());
    const int jobs = ConversionRun::jobsFor(command.jobs >= 0 ? command.jobs : readKey(settings, keys::jobs));

    LoudnessAnalysis analysis;
    Printer printer(analysis, labels, out, err);
    QEventLoop loop;
    bool outputClosed = false;
    const auto print = [&] {
        if (!outputClosed && !printer.flush()) {
            outputClosed = true;
            analysis.stop();
        }
    };
    QObject::connect(&analysis, &LoudnessAnalysis::measured, &loop, [&](int file) {
        printer.fileIn(file);
        print();
    });
    QObject::connect(&analysis, &LoudnessAnalysis::albumMeasured, &loop, [&](int) { print(); });
    QObject::connect(&analysis, &LoudnessAnalysis::ended, &loop, &QEventLoop::quit);
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &loop, [&] { analysis.stop(); });
    analysis.start(std::move(files), jobs);
    if (analysis.running())
        loop.exec();

    if (stopSignals.received())
        return StopSignals::exitStatusFor(stopSignals.received());
    if (outputClosed)
        return StopSignals::exitStatusFor(SIGPIPE);
    const bool failed = printer.failed() > 0 || named.missing > 0 || !named.badNames.isEmpty();
    return failed ? 1 : 0;
}

} // namespace sondrel
