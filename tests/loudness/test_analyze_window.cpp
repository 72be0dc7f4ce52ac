#include "ConversionJob.h"
#include "FileListModel.h"
#include "ListRows.h"
#include "LoudnessMeter.h"
#include "TestAudio.h"
#include "ValueTables.h"
#include "WindowFixture.h"

#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTest>

#include <cmath>

using namespace sondrel;

namespace {

// A sine of `frequency` at `dbfs`, written as a 16-bit WAV.
bool writeTone(const QString& path, double seconds, double dbfs, double frequency = 997, int channels = 2)
{
    const int rate = 44100;
    const auto frames = std::int64_t(seconds * rate);
    std::vector<float> samples(std::size_t(frames * channels));
    const double amplitude = std::pow(10.0, dbfs / 20.0);
    for (std::int64_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples[std::size_t(i * channels + c)] = float(amplitude * std::sin(2 * M_PI * frequency * double(i) / rate));
    return testaudio::writeWav(path, samples, rate, channels);
}

std::shared_ptr<const LoudnessMeter> measured(const QString& path)
{
    JobProgress progress;
    return measureFileLoudness(path, progress);
}

// The numbers of a text, in order ("-14.2 LUFS, -0.3 dBTP": -14.2, -0.3).
QList<double> numbersIn(const QString& text)
{
    QList<double> out;
    static const QRegularExpression number(QStringLiteral("-?\\d+\\.\\d+"));
    for (auto it = number.globalMatch(text); it.hasNext();)
        out << it.next().captured().toDouble();
    return out;
}

// Shown with `decimals`, the text's numbers are the values given.
bool shows(const QString& text, const QList<double>& values, int decimals)
{
    const QList<double> shown = numbersIn(text);
    if (shown.size() != values.size())
        return false;
    for (qsizetype i = 0; i < shown.size(); ++i)
        if (std::abs(shown[i] - values[i]) > 0.5 * std::pow(10.0, -decimals) + 1e-9)
            return false;
    return true;
}

QByteArray hashOf(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// ffmpeg's own integrated loudness of a file: "I:" of its ebur128 summary.
double ffmpegLoudness(const QString& path)
{
    const QByteArray log = testaudio::runTool(
        "sh", {"-c", "ffmpeg -nostdin -nostats -i \"$0\" -filter_complex ebur128=peak=true -f null - 2>&1", path});
    double lufs = NAN;
    for (const QByteArray& line : log.split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() >= 2 && words[0] == "I:")
            lufs = words[1].toDouble();
    }
    return lufs;
}

} // namespace

// Analyze Loudness in the real window: the Loudness column, its tooltip with the album's
// values, the failures' message, Stop, and the files left as they were.
class TestAnalyzeWindow : public WindowFixture {
    Q_OBJECT

    FileListModel& list() { return *w().list; }
    bool waitAnalyzed(int timeoutMs = 120000)
    {
        return QTest::qWaitFor([this] { return !s().flag_analyzing(); }, timeoutMs);
    }
    int rowOf(const QString& path)
    {
        for (int row = 0; row < rowCount(); ++row)
            if (cell(row, rows::FullPath) == path)
                return row;
        return -1;
    }
    QString tip(int row) { return list().data(list().index(row, rows::Loudness), Qt::ToolTipRole).toString(); }

private slots:
    void init() { startFresh(); }
    void cleanup() { stop(); }

    void fillsTheColumnWithTracksAndAlbums()
    {
        QDir root(tmp.path());
        for (const char* folder : {"album", "single", "quiet", "gone"})
            QVERIFY(root.mkpath(folder));
        const QString a = tmp.filePath("album/1.wav");
        const QString b = tmp.filePath("album/2.wav");
        const QString single = tmp.filePath("single/solo.wav");
        const QString silent = tmp.filePath("quiet/silent.wav");
        const QString gone = tmp.filePath("gone/gone.wav");
        QVERIFY(writeTone(a, 4, -12));
        QVERIFY(writeTone(b, 6, -24, 440));
        QVERIFY(writeTone(single, 3, -6, 2000, 1));
        QVERIFY(testaudio::writeWav(silent, std::vector<float>(44100 * 2 * 2, 0.0f), 44100, 2));
        QVERIFY(writeTone(gone, 2, -10));
        add({a, b, single, silent, gone}, tmp.path());
        QCOMPARE(rowCount(), 5);
        // Added, then no longer audio: its row stays, its analysis fails.
        {
            QFile f(gone);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray(3000, 'x'));
        }
        const QStringList statuses = [&] {
            QStringList s;
            for (int row = 0; row < rowCount(); ++row)
                s << cell(row, rows::Status);
            return s;
        }();

        w().item("AnalyzeLoudness1")->trigger();
        QVERIFY(waitAnalyzed());

        const auto ma = measured(a), mb = measured(b), ms = measured(single);
        // Each tone's cell: its loudness and true peak; the loudness as ffmpeg measures it.
        for (const auto& [path, meter] : {std::pair{a, ma}, std::pair{b, mb}, std::pair{single, ms}}) {
            const int row = rowOf(path);
            QVERIFY(row >= 0);
            const LoudnessMeasure& m = meter->measure();
            QVERIFY(m.lufs.has_value());
            const QString text = cell(row, rows::Loudness);
            QVERIFY2(text.contains(" LUFS, ") && text.endsWith(" dBTP"), qPrintable(text));
            // The column, narrow while empty, was widened to show the values whole.
            QVERIFY(w().lv->columnWidth(rows::Loudness) > w().lv->fontMetrics().horizontalAdvance(text));
            QVERIFY2(shows(text, {*m.lufs, 20 * std::log10(m.peak)}, 1), qPrintable(text));
            QVERIFY2(std::abs(numbersIn(text)[0] - ffmpegLoudness(path)) <= 0.1 + 0.05, qPrintable(path));
            const QString track = tip(row).section('\n', 0, 0);
            QVERIFY2(track.startsWith("Track: ") && shows(track.section(',', 0, 0), {*m.lufs}, 1)
                         && shows(track.section(',', 1), {-18.0 - *m.lufs}, 2),
                     qPrintable(tip(row)));
        }
        // The album of two files: both rows give the loudness of the two together.
        const std::optional<double> album = LoudnessMeter::together({ma.get(), mb.get()});
        QVERIFY(album.has_value());
        const auto albumShows = [&](int row, double lufs) {
            const QString line = tip(row).section('\n', 1, 1);
            return line.startsWith("Album: ") && shows(line.section(',', 0, 0), {lufs}, 1)
                && shows(line.section(',', 1), {-18.0 - lufs}, 2);
        };
        QVERIFY2(albumShows(rowOf(a), *album), qPrintable(tip(rowOf(a))));
        QVERIFY2(albumShows(rowOf(b), *album), qPrintable(tip(rowOf(b))));
        QCOMPARE(tip(rowOf(a)).section('\n', 1, 1), tip(rowOf(b)).section('\n', 1, 1));
        // An album of one file is that file.
        QVERIFY2(albumShows(rowOf(single), *ms->measure().lufs), qPrintable(tip(rowOf(single))));
        QCOMPARE(tip(rowOf(single)).section('\n', 1, 1).mid(7), tip(rowOf(single)).section('\n', 0, 0).mid(7));
        QCOMPARE(cell(rowOf(silent), rows::Loudness), QString("silent"));
        QCOMPARE(tip(rowOf(silent)), QString("Track: silent\nAlbum: silent"));

        // The file that could not be read: an empty cell, one message naming it.
        QCOMPARE(cell(rowOf(gone), rows::Loudness), QString());
        QCOMPARE(prompts->texts().size(), 1);
        QVERIFY2(prompts->texts().constFirst().startsWith(gone + " could not be analyzed"),
                 qPrintable(prompts->texts().constFirst()));
        QCOMPARE(w().pb->format(), QString("4 analyzed, 1 failed"));
        // The Status column is not the analysis's.
        for (int row = 0; row < rowCount(); ++row)
            QCOMPARE(cell(row, rows::Status), statuses[row]);

        // A row whose file changes loses its values; the others keep theirs.
        std::int64_t bytes = 0, modified = 0;
        QVERIFY(list().sourceStamp(rowOf(a), &bytes, &modified));
        list().setSourceStamp(rowOf(a), bytes + 1, modified);
        QVERIFY(!list().loudness(rowOf(a)).has_value());
        QCOMPARE(cell(rowOf(a), rows::Loudness), QString());
        QVERIFY(list().loudness(rowOf(b)).has_value());
    }

    // Stop while files are measured: the window is usable at once, the rows measured keep
    // their values, the rest stay empty, and no file was changed.
    void stopKeepsWhatWasMeasuredAndTouchesNoFile()
    {
        writeKey(*s().settings(), keys::jobs, 1);
        QStringList files;
        for (int i = 0; i < 8; ++i) {
            files << tmp.filePath(QStringLiteral("long%1.wav").arg(i));
            QVERIFY(writeTone(files.last(), 40, -20 - i));
        }
        QList<QByteArray> before;
        for (const QString& f : files)
            before << hashOf(f);
        add(files, tmp.path());
        w().item("AnalyzeLoudness2")->trigger();
        QVERIFY(s().flag_analyzing());
        QCOMPARE(s().uiState(), UiState::Analyzing);
        QVERIFY(!w().item("Convert1")->isEnabled());
        QVERIFY(QTest::qWaitFor([&] { return list().loudness(0).has_value() || !s().flag_analyzing(); }, 120000));
        QVERIFY2(s().flag_analyzing(), "the analysis ended before it could be stopped");
        w().item("StopConverting1")->trigger();
        QVERIFY(waitAnalyzed(10000));
        QCOMPARE(s().uiState(), UiState::Idle);
        QVERIFY(w().item("AnalyzeLoudness1")->isEnabled());
        QVERIFY(w().item("Convert1")->isEnabled());
        QVERIFY(prompts->texts().isEmpty());
        QVERIFY2(w().pb->format().contains("stopped"), qPrintable(w().pb->format()));
        QVERIFY(!cell(0, rows::Loudness).isEmpty());
        QVERIFY(cell(rowCount() - 1, rows::Loudness).isEmpty());
        for (int i = 0; i < files.size(); ++i)
            QCOMPARE(hashOf(files[i]), before[i]);
    }

    // Closing while analyzing asks first; No keeps the analysis going.
    void closingAsksWhileAnalyzing()
    {
        writeKey(*s().settings(), keys::jobs, 1);
        QStringList files;
        for (int i = 0; i < 4; ++i) {
            files << tmp.filePath(QStringLiteral("close%1.wav").arg(i));
            QVERIFY(writeTone(files.last(), 40, -20));
        }
        add(files, tmp.path());
        w().item("AnalyzeLoudness1")->trigger();
        QVERIFY(s().flag_analyzing());
        prompts->answers = {false, true};
        w().close();
        QCOMPARE(prompts->texts().constLast(), QString("Loudness is being analyzed. Stop it and quit?"));
        QVERIFY(w().isVisible());
        QVERIFY(s().flag_analyzing());
        w().close();
        QVERIFY(!w().isVisible());
        QVERIFY(!s().flag_analyzing());
    }
};

QTEST_MAIN(TestAnalyzeWindow)
#include "test_analyze_window.moc"
