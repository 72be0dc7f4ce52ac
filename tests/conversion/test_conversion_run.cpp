#include "ConversionRun.h"
#include "AudioFile.h"
#include "WorkerPool.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

using namespace sondrel;

namespace {

// Rows of files that need not be audio: the jobs are fakes that never open them.
class Rows : public RunRows {
public:
    QStringList sources;
    QList<int> skippedRows;
    int count() const override { return int(sources.size()); }
    QString source(int row) const override { return sources[row]; }
    QString caption(int row) const override { return QFileInfo(sources[row]).fileName(); }
    std::optional<TrackInfo> tags(int) const override { return std::nullopt; }
    std::int64_t weight(int) const override { return 1000; }
    bool sourceStamp(int, std::int64_t*, std::int64_t*) const override { return false; }
    void started(int row) override { startedRows << row; }
    void ended(int row, const JobResult& r, double) override { endedRows[row] = r.outcome; }
    void refused(int, const QString&, const QString&) override {}
    void skipped(int row) override { skippedRows << row; }
    QList<int> startedRows;
    QMap<int, JobResult::Outcome> endedRows;
};

// Jobs that run until the test lets them go, or until they are stopped.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    int released = 0;       // how many times jobs were let go
    std::atomic<int> running{0}, most{0};
    JobResult run(JobProgress& progress)
    {
        std::unique_lock lock(m);
        most = std::max(most.load(), ++running);
        const int mine = released;
        // The stop flag is not tied to the condition variable: look at it every few ms.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!progress.stop.load() && released <= mine && std::chrono::steady_clock::now() < deadline)
            cv.wait_for(lock, std::chrono::milliseconds(5));
        --running;
        JobResult r;
        r.outcome = progress.stop.load() ? JobResult::Outcome::Stopped : JobResult::Outcome::Finished;
        return r;
    }
    void releaseOne()
    {
        { std::lock_guard lock(m); ++released; }
        cv.notify_all();
    }
};

// An overwrite question the test answers when it likes; closing it drops the answer.
struct Question : Prompts::Pending {
    std::shared_ptr<std::function<void(Prompts::Overwrite)>> answer;
    ~Question() override { *answer = nullptr; }
};

} // namespace

// The run itself, with jobs that are fakes: rows start in list order, at most maxJobs at
// once; a stop ends the running jobs and starts no other; a stop while an overwrite question
// is up closes it and starts nothing, and an answer that comes after its run has ended
// changes nothing of the next run.
class TestConversionRun : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    AudioFile writer;
    Gate gate;
    std::shared_ptr<std::function<void(Prompts::Overwrite)>> pending =
        std::make_shared<std::function<void(Prompts::Overwrite)>>();

    QStringList files(int n)
    {
        QStringList out;
        for (int i = 0; i < n; ++i) {
            const QString p = tmp.filePath(QString("src%1.wav").arg(i));
            QFile f(p);
            f.open(QIODevice::WriteOnly);
            f.write("x");
            out << p;
        }
        return out;
    }
    ConversionRun::Settings settings(int jobs)
    {
        ConversionRun::Settings s;
        s.folder = tmp.filePath("out/");
        QDir().mkpath(s.folder);
        s.extension = ".wav";
        s.maxJobs = jobs;
        s.ask = [this](const QString&, std::function<void(Prompts::Overwrite)> answered) {
            auto q = std::make_unique<Question>();
            *pending = std::move(answered);
            q->answer = pending;
            return q;
        };
        return s;
    }
    std::unique_ptr<ConversionRun> makeRun()
    {
        auto run = std::make_unique<ConversionRun>(writer);
        run->setJobFunction([this](JobOrder&, JobProgress& p) { return gate.run(p); });
        return run;
    }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }

    void rowsStartInOrderAtMostJobsAtOnce()
    {
        Rows rows;
        rows.sources = files(5);
        auto run = makeRun();
        QSignalSpy ended(run.get(), &ConversionRun::ended);
        run->start(rows, settings(2));
        QTRY_COMPARE_WITH_TIMEOUT(gate.running.load(), 2, 10000);
        QTRY_VERIFY_WITH_TIMEOUT((gate.releaseOne(), ended.size() == 1), 10000);
        QCOMPARE(rows.startedRows, QList<int>({0, 1, 2, 3, 4}));
        QCOMPARE(gate.most.load(), 2);
        QCOMPARE(ended[0][1].value<ConversionRun::Totals>().finished, 5);
    }

    void stopEndsTheRunningJobsAndStartsNoOther()
    {
        Rows rows;
        rows.sources = files(4);
        auto run = makeRun();
        QSignalSpy ended(run.get(), &ConversionRun::ended);
        run->start(rows, settings(2));
        QTRY_COMPARE_WITH_TIMEOUT(gate.running.load(), 2, 10000);
        run->stop();
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 10000);
        QCOMPARE(rows.startedRows, QList<int>({0, 1}));
        QCOMPARE(rows.endedRows.value(0), JobResult::Outcome::Stopped);
        const auto totals = ended[0][1].value<ConversionRun::Totals>();
        QCOMPARE(totals.stopped, 2);
        QVERIFY(totals.stopRequested);
    }

    // Row 1's target exists: its question is up while row 0 runs. Stop closes the question;
    // no row starts after it, and the late answer changes nothing of the next run.
    void stopWhileAQuestionIsUp()
    {
        Rows rows;
        rows.sources = files(3);
        ConversionRun::Settings s = settings(2);
        QFile existing(s.folder + "src1.wav");
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();
        auto run = makeRun();
        QSignalSpy ended(run.get(), &ConversionRun::ended);
        run->start(rows, s);
        QTRY_VERIFY_WITH_TIMEOUT(*pending != nullptr, 10000);
        QCOMPARE(rows.startedRows, QList<int>({0})); // row 2 waits behind the question
        const auto lateAnswer = *pending;
        run->stop();
        QVERIFY(*pending == nullptr); // the question was closed
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 10000);
        QCOMPARE(rows.startedRows, QList<int>({0}));

        // A new run; the first run's answer arrives late and is ignored.
        Rows again;
        again.sources = rows.sources;
        run->start(again, s);
        QTRY_VERIFY_WITH_TIMEOUT(*pending != nullptr, 10000);
        lateAnswer(Prompts::Overwrite::NoToAll);
        QCoreApplication::sendPostedEvents(); // the answer's turn of the event loop
        QCOMPARE(again.skippedRows, QList<int>());
        (*pending)(Prompts::Overwrite::Yes);
        QTRY_VERIFY_WITH_TIMEOUT((gate.releaseOne(), ended.size() == 2), 10000);
        QCOMPARE(again.startedRows, QList<int>({0, 1, 2}));
    }

    // The pool runs what it is given, tells its owner once for many notifications, and a task
    // given after a stop runs with a fresh token.
    void thePoolRunsEveryTaskAndCoalescesNotices()
    {
        WorkerPool pool(3, "test-pool");
        QSignalSpy notified(&pool, &WorkerPool::notified);
        std::atomic<int> done{0};
        for (int i = 0; i < 50; ++i)
            QVERIFY(pool.submit([&](std::stop_token) { ++done; }));
        std::atomic<bool> sawStop{false};
        QVERIFY(pool.submit([&](std::stop_token t) {
            // Sleeps until the stop request wakes it (a wait with a limit, should none come).
            std::mutex m;
            std::condition_variable_any woken;
            std::unique_lock lock(m);
            woken.wait_for(lock, t, std::chrono::seconds(60), [] { return false; });
            sawStop = t.stop_requested();
            pool.notify();
        }));
        pool.stop();
        std::atomic<bool> fresh{false};
        QVERIFY(pool.submit([&](std::stop_token t) { fresh = !t.stop_requested(); }));
        pool.waitIdle();
        QCOMPARE(done.load(), 50);
        QVERIFY(sawStop && fresh);
        QTRY_VERIFY_WITH_TIMEOUT(notified.size() >= 1, 5000);
        QCOMPARE(pool.pending(), 0);
    }
};

QTEST_MAIN(TestConversionRun)
#include "test_conversion_run.moc"
