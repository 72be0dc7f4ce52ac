#include "Converter.h"

#include "AppState.h"
#include "AudioFile.h"
#include "ConversionRun.h"
#include "ExceptionHook.h"
#include "FileListModel.h"
#include "LameEncSettings.h"
#include "OutputFormat.h"
#include "Prompts.h"
#include "RunTimeText.h"
#include "TargetSetup.h"
#include "TrackTags.h"
#include "ValueTables.h"

#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QThread>

#include <algorithm>

namespace sondrel {

namespace {
const QString NoFormat = QStringLiteral("Please choose an output format (MP3, WAV, WMA, OGG, FLAC, Opus or M4A) first.");
// The most failures listed in the closing message; every row's tooltip has its own.
constexpr int MaxListedFailures = 20;
// The progress bar's caption: its percentage, during a run followed by the times.
const QString PercentOnly = QStringLiteral("%p%");
const QString StoppedTip = QStringLiteral("Stopped before the file was complete: nothing was written.");
const QString SkippedTip = QStringLiteral("The existing output was kept.");
const QString UpToDateTip = QStringLiteral("The output is newer than its source: it was kept.");
} // namespace

// The window's list as a run sees it: the rows' texts and records, and their Status cells.
class Converter::ListRows : public RunRows {
public:
    ListRows(FileListModel& list, Converter& owner) : m_list(list), m_owner(owner) {}

    int count() const override { return m_list.count(); }
    QString source(int row) const override { return m_list.text(row, rows::FullPath); }
    QString caption(int row) const override { return m_list.text(row, rows::FileName); }
    bool captionIsTitle(int row) const override { return m_list.captionIsTitle(row); }
    std::optional<TrackRange> range(int row) const override { return m_list.trackRange(row); }
    std::optional<TrackInfo> tags(int row) const override { return m_list.trackInfo(row); }
    QString addedFolder(int row) const override { return m_list.addedFolder(row); }
    NameValues nameValues(int row) const override { return rowNameValues(m_list, row); }
    std::int64_t weight(int row) const override { return m_list.durationMs(row); }
    std::int64_t shownDurationMs(int row) const override { return m_list.durationMs(row); }
    bool sourceStamp(int row, std::int64_t* bytes, std::int64_t* modifiedMs) const override
    {
        return m_list.sourceStamp(row, bytes, modifiedMs);
    }

    void planned(int row) override { m_list.setToolTip(row, {}); }
    void started(int row) override
    {
        emit m_owner.rowStarted(row);
        m_list.setText(row, rows::Status, rows::Converting);
        m_list.setProgress(row, 0);
    }
    void progressed(int row, int percent) override { m_list.setProgress(row, percent); }
    void ended(int row, const JobResult& result, double) override
    {
        rowDone();
        m_list.setProgress(row, -1);
        const SourceMeasure& m = result.measured;
        if (m.durationMs >= 0) {
            // The source changed since it was added, or decoded to another length than it
            // was measured at: the row shows it as it is.
            m_list.setDurationMs(row, m.durationMs);
            m_list.setSourceStamp(row, m.bytes, m.modifiedMs);
        }
        switch (result.outcome) {
        case JobResult::Outcome::Finished:
            m_list.setText(row, rows::Status, rows::Finish);
            m_list.setToolTip(row, result.notes.join(QLatin1Char('\n')));
            break;
        case JobResult::Outcome::Stopped:
            m_list.setText(row, rows::Status, rows::Stopped);
            m_list.setToolTip(row, StoppedTip);
            break;
        case JobResult::Outcome::Failed:
        case JobResult::Outcome::Measured: // a run hands on only what is over
            m_list.setText(row, rows::Status, rows::Failed);
            m_list.setToolTip(row, result.reason);
            break;
        }
    }
    void refused(int row, const QString&, const QString& reason) override
    {
        rowDone();
        m_list.setText(row, rows::Status, rows::Failed);
        m_list.setToolTip(row, reason);
    }
    void skipped(int row) override
    {
        rowDone();
        m_list.setText(row, rows::Status, rows::Skipped);
        m_list.setToolTip(row, SkippedTip);
    }
    void upToDate(int row) override
    {
        rowDone();
        m_list.setText(row, rows::Status, rows::UpToDate);
        m_list.setToolTip(row, UpToDateTip);
    }
    // Rows of the run that have not ended yet.
    int left() const { return m_left; }
    void setShare(double share) { m_share = share; }

    // Before a run: every row as if it had never been converted.
    void reset()
    {
        m_left = count();
        m_share = 0;
        for (int row = 0; row < count(); ++row) {
            m_list.setText(row, rows::Status, rows::Unconverted);
            m_list.setToolTip(row, {});
            m_list.setProgress(row, -1);
        }
    }

private:
    void rowDone()
    {
        m_left = std::max(0, m_left - 1);
        emit m_owner.progressed(m_share, m_left);
    }

    FileListModel& m_list;
    Converter& m_owner;
    int m_left = 0;
    double m_share = 0;
};

Converter::Converter(QWidget* window, FileListModel& list, QProgressBar* pb, AppState& state, Prompts& prompts,
                     AudioFile& writer, LameEncSettings& lame)
    : m_window(window), m_pb(pb), m_state(state), m_prompts(prompts), m_writer(writer), m_lame(lame),
      m_rows(std::make_unique<ListRows>(list, *this)), m_run(new ConversionRun(writer, this))
{
    connect(m_run, &ConversionRun::progress, this, guarded([this](double share, double elapsed, double remaining) {
        showProgress(share, elapsed, remaining);
    }));
    connect(m_run, &ConversionRun::ended, this, guarded([this](const QStringList& failures, const ConversionRun::Totals& totals) {
        runFinished(failures, totals);
    }));
}

// The run goes first: its jobs end before the list they report to.
Converter::~Converter()
{
    delete m_run;
}


void Converter::ConvertList(int format)
{
    SettingsFile* settings = m_state.settings();
    if (!settings || m_run->running())
        return;
    // Without a chosen format there is nothing defined to write.
    if (!outputFormat(format)) {
        m_prompts.information(m_window, NoFormat);
        return;
    }
    m_pb->setValue(0);
    m_busy = std::make_unique<BusyFlag>(m_state, &AppState::setConverting);

    const PlanSetup plan = planSetup(format);
    // One level is created; a folder that cannot be made shows as "Write Error!" per file.
    if (!QFileInfo(plan.folder).isDir())
        QDir().mkdir(plan.folder);

    const TargetSetup setup = configureTarget(*settings, format, m_writer, m_lame);
    if (setup.extension.isEmpty()) {
        m_prompts.information(m_window, setup.refusal);
        m_busy.reset();
        return;
    }
    m_closing = false;
    m_rows->reset();
    m_pb->setFormat(PercentOnly + QStringLiteral("  ·  ") + runTimeText(0, -1));
    m_pb->setTextVisible(true);
    ConversionRun::Settings run;
    static_cast<OutputNaming&>(run) = plan.naming;
    run.folder = plan.folder;
    run.existing = plan.existing;
    run.playlist = plan.playlist;
    run.gainTags = plan.gainTags;
    run.normalize = plan.normalize;
    run.maxJobs = jobsFor(readKey(*settings, keys::jobs));
    run.ask = [this](const QString& question, std::function<void(Prompts::Overwrite)> answered) {
        return m_prompts.askOverwriteLater(m_window, question, std::move(answered));
    };
    m_run->start(*m_rows, run);
}

PlanSetup Converter::planSetup(int format) const
{
    PlanSetup plan;
    const SettingsFile* settings = m_state.settings();
    const OutputFormat* f = outputFormat(format);
    if (!settings || !f)
        return plan;
    QString folder = settings->read_string(QString::fromLatin1(keys::outputDirectory.section),
                                           QString::fromLatin1(keys::outputDirectory.key),
                                           defaultOutputDirectory());
    if (folder.isEmpty())
        folder = defaultOutputDirectory();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    plan.folder = folder;
    plan.naming.extension = QString::fromLatin1(f->extension);
    plan.naming.keepFolders = readKey(*settings, keys::keepFolders) != 0;
    plan.naming.namePattern = readKey(*settings, keys::namePattern);
    plan.naming.nameRules = readKey(*settings, keys::portableNames) != 0 ? NameRules::Portable : NameRules::Native;
    plan.naming.formatLabel = QString::fromUtf8(f->label);
    plan.existing = existingFromSetting(readKey(*settings, keys::existing));
    plan.playlist = readKey(*settings, keys::playlist) != 0;
    plan.gainTags = GainTags(std::clamp(readKey(*settings, keys::replayGain), 0, 2));
    plan.normalize = readKey(*settings, keys::normalize) != 0;
    // Normalized audio is never the source's own: nothing is copied.
    if (readKey(*settings, keys::copySameFormat) != 0 && !plan.normalize) {
        // Which codec the format writes, from a writer set up as a run would set it up.
        AudioFile writer;
        LameEncSettings lame;
        if (!configureTarget(*settings, format, writer, lame).extension.isEmpty())
            plan.naming.copyCodec = writer.CopiedCodec();
    }
    return plan;
}

QString Converter::exampleName(int format, int row, const QString& pattern, bool portable, QString* error) const
{
    PlanSetup plan = planSetup(format);
    if (plan.naming.extension.isEmpty() || row < 0 || row >= m_rows->count())
        return {};
    plan.naming.namePattern = pattern;
    plan.naming.nameRules = portable ? NameRules::Portable : NameRules::Native;
    const std::optional<NamePattern> compiled = pattern.isEmpty() ? std::nullopt : std::optional(NamePattern(pattern));
    QString relative;
    if (!relativeOutputFor(*m_rows, row, plan.naming, compiled ? &*compiled : nullptr, &relative, error))
        return {};
    return relative;
}

void Converter::StopConverting()
{
    if (!m_run->running()) {
        m_state.setConverting(false);
        return;
    }
    m_run->stop();
}

void Converter::stopAndWait()
{
    m_closing = true;
    m_run->stopAndWait();
}

void Converter::showProgress(double share, double elapsed, double remaining)
{
    m_pb->setValue(int(share * 100.0));
    m_pb->setFormat(PercentOnly + QStringLiteral("  ·  ") + runTimeText(elapsed, remaining));
    m_rows->setShare(share);
    emit progressed(share, m_rows->left());
}

void Converter::runFinished(const QStringList& failures, const ConversionRun::Totals& totals)
{
    m_pb->setValue(0);
    m_busy.reset();
    // The bar rests with what the run did as its caption, until the next run.
    const QString summary = summaryText(totals);
    m_pb->setFormat(summary);
    m_pb->setTextVisible(!m_closing);
    if (!m_closing)
        emit summarized(summary);
    if (!m_closing && !failures.isEmpty()) {
        QStringList lines = failures.mid(0, MaxListedFailures);
        if (failures.size() > lines.size())
            lines << QStringLiteral("… and %1 more; the tooltip of each row says why.").arg(failures.size() - lines.size());
        m_prompts.information(m_window, lines.join(QLatin1Char('\n')));
    }
    emit runEnded();
}

QString Converter::summaryText(const ConversionRun::Totals& totals)
{
    QStringList parts{QStringLiteral("%1 converted").arg(totals.finished)};
    if (totals.skipped > 0)
        parts << QStringLiteral("%1 skipped").arg(totals.skipped);
    if (totals.upToDate > 0)
        parts << QStringLiteral("%1 up to date").arg(totals.upToDate);
    if (totals.failed > 0)
        parts << QStringLiteral("%1 failed").arg(totals.failed);
    if (totals.stopped > 0)
        parts << QStringLiteral("%1 stopped").arg(totals.stopped);
    return parts.join(QStringLiteral(", ")) + QStringLiteral(" · ") + clockText(totals.seconds);
}

} // namespace sondrel
