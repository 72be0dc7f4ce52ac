#include "LoudnessAnalyzer.h"

#include "AlbumLoudness.h"
#include "AppState.h"
#include "ConversionRun.h"
#include "ExceptionHook.h"
#include "FileListModel.h"
#include "LoudnessAnalysis.h"
#include "LoudnessMeter.h"
#include "NamePattern.h"
#include "TrackTags.h"
#include "Prompts.h"
#include "ValueTables.h"

#include <QProgressBar>
#include <QTimer>

namespace sondrel {

namespace {
// The most failures listed in the closing message.
constexpr int MaxListedFailures = 20;
constexpr int ProgressIntervalMs = 100;
} // namespace

LoudnessAnalyzer::LoudnessAnalyzer(QWidget* window, FileListModel& list, QProgressBar* pb, AppState& state,
                                   Prompts& prompts)
    : m_window(window), m_list(list), m_pb(pb), m_state(state), m_prompts(prompts),
      m_analysis(std::make_unique<LoudnessAnalysis>()), m_progressTimer(new QTimer(this))
{
    m_progressTimer->setInterval(ProgressIntervalMs);
    connect(m_progressTimer, &QTimer::timeout, this,
            guarded([this] { m_pb->setValue(int(m_analysis->share() * 100.0)); }));
    connect(m_analysis.get(), &LoudnessAnalysis::measured, this, guarded([this](int file) { fileMeasured(file); }));
    connect(m_analysis.get(), &LoudnessAnalysis::albumMeasured, this,
            guarded([this](int album) { albumMeasured(album); }));
    connect(m_analysis.get(), &LoudnessAnalysis::ended, this, guarded([this] { finished(); }));
}

LoudnessAnalyzer::~LoudnessAnalyzer()
{
    m_closing = true;
    m_analysis.reset();
}

void LoudnessAnalyzer::AnalyzeList()
{
    const SettingsFile* settings = m_state.settings();
    if (!settings || m_analysis->running() || m_list.count() < 1)
        return;
    m_busy = std::make_unique<BusyFlag>(m_state, &AppState::setAnalyzing);
    m_closing = false;
    m_failures.clear();
    m_analyzed = m_stopped = 0;
    // The rows' albums as a conversion names them; a track row measures its track alone.
    std::vector<LoudnessAnalysis::File> files;
    files.reserve(std::size_t(m_list.count()));
    for (int row = 0; row < m_list.count(); ++row) {
        m_list.clearLoudness(row);
        const QString path = m_list.text(row, rows::FullPath);
        files.push_back({path, albumKeyOf(rowNameValues(m_list, row), path), m_list.durationMs(row),
                         m_list.trackRange(row)});
    }
    m_pb->setValue(0);
    m_pb->setFormat(QStringLiteral("Analyzing loudness %p%"));
    m_pb->setTextVisible(true);
    m_progressTimer->start();
    m_analysis->start(std::move(files), ConversionRun::jobsFor(readKey(*settings, keys::jobs)));
}

void LoudnessAnalyzer::StopAnalyzing()
{
    if (!m_analysis->running()) {
        m_state.setAnalyzing(false);
        return;
    }
    m_analysis->stop();
}

void LoudnessAnalyzer::stopAndWait()
{
    m_closing = true;
    m_analysis->stopAndWait();
}

void LoudnessAnalyzer::fileMeasured(int file)
{
    const LoudnessAnalysis::Result& r = m_analysis->result(file);
    if (r.stopped) {
        ++m_stopped;
        return;
    }
    const QString path = m_list.text(file, rows::FullPath);
    if (!r.measure) {
        m_failures << QStringLiteral("%1 could not be analyzed: %2").arg(path, r.error);
        return;
    }
    ++m_analyzed;
    const LoudnessMeasure& m = *r.measure;
    RowLoudness values;
    values.lufs = m.lufs;
    values.peak = m.peak;
    values.gain = gainToReference(m.lufs);
    m_list.setLoudness(file, values);
}

void LoudnessAnalyzer::albumMeasured(int album)
{
    const AlbumTally& albums = m_analysis->albums();
    const std::optional<double> lufs = albums.loudnessOf(album);
    for (int file : albums.rowsOf(album)) {
        std::optional<RowLoudness> values = m_list.loudness(file);
        if (!values)
            continue; // the file could not be read
        values->albumKnown = true;
        values->albumLufs = lufs;
        values->albumGain = gainToReference(lufs);
        m_list.setLoudness(file, *values);
    }
}

void LoudnessAnalyzer::finished()
{
    m_progressTimer->stop();
    m_pb->setValue(0);
    m_busy.reset();
    // The bar rests with what the analysis did, until the next run.
    m_pb->setFormat(summaryText(m_analyzed, int(m_failures.size()), m_stopped));
    m_pb->setTextVisible(!m_closing);
    if (!m_closing && !m_failures.isEmpty()) {
        QStringList lines = m_failures.mid(0, MaxListedFailures);
        if (m_failures.size() > lines.size())
            lines << QStringLiteral("… and %1 more.").arg(m_failures.size() - lines.size());
        m_prompts.information(m_window, lines.join(QLatin1Char('\n')));
    }
    emit analysisEnded();
}

QString LoudnessAnalyzer::summaryText(int analyzed, int failed, int stopped)
{
    QStringList parts{QStringLiteral("%1 analyzed").arg(analyzed)};
    if (failed > 0)
        parts << QStringLiteral("%1 failed").arg(failed);
    if (stopped > 0)
        parts << QStringLiteral("%1 stopped").arg(stopped);
    return parts.join(QStringLiteral(", "));
}

} // namespace sondrel
