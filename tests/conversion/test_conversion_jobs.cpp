#include "ConversionFixture.h"
#include "AudioInformation.h"
#include "ConversionJob.h"
#include "OutputFiles.h"
#include "FileListModel.h"
#include "FileListView.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProgressBar>
#include <QTimer>

#include <cmath>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace sondrel;

// Several files converted at once on worker threads, through the window: the same files as
// one at a time, in list order, stopped and closed cleanly, and outputs that are never cut,
// never written through a link, never another row's source.
class TestConversionJobs : public ConversionFixture {
    Q_OBJECT

    // The order in which rows went to "Converting", and the most that were at once.
    struct StartLog {
        QList<int> order;
        int mostAtOnce = 0;
    };
    void watchStarts(StartLog& log)
    {
        connect(w().lv->listModel(), &QAbstractItemModel::dataChanged, this,
                [this, &log](const QModelIndex& from, const QModelIndex& to) {
            const int row = from.row();
            // Progress changes the row too: the first change to "Converting" is the start.
            if (from.column() > rows::Status || to.column() < rows::Status || status(row) != rows::Converting
                || log.order.contains(row))
                return;
            log.order << row;
            log.mostAtOnce = std::max(log.mostAtOnce, int(statuses().count(rows::Converting)));
        });
    }
    // Decoded samples of a file, through the engine.
    static std::vector<float> decoded(const QString& path)
    {
        AudioFile f;
        f.OpenRead(path);
        std::vector<float> all;
        for (SampleArray s; !(s = f.ReadSamples(f.SampleRate() * f.ChannelCount())).empty();)
            all.insert(all.end(), s.begin(), s.end());
        return all;
    }
    QStringList tempFiles() const { return outputNames().filter(QRegularExpression("^\\.sondrel-")); }
    // Trigger Stop (or close) as soon as the given rows all show progress.
    void whenConverting(const QList<int>& rowsInWork, std::function<void()> action)
    {
        auto* timer = new QTimer(&w()); // ends with this test's window at the latest
        timer->setInterval(1);
        connect(timer, &QTimer::timeout, this, [=, this] {
            for (int r : rowsInWork)
                if (w().list->progress(r) <= 0)
                    return;
            timer->stop();
            timer->deleteLater();
            action();
        });
        timer->start();
    }
    void makeLink(const QString& target, const QString& link) { QVERIFY(QFile::link(target, link)); }
    // The conversion child converting src to MP3 into the output folder, with a settings file
    // of its own in config.
    bool startChild(QProcess& child, const QTemporaryDir& config, const QString& src)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        child.setProcessEnvironment(env);
        child.start(CONVERSION_CHILD, {"0", out, src});
        return child.waitForStarted(10000);
    }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }
    void init() { QVERIFY(startFresh()); }
    void cleanup() { stop(); }

    // Two at a time gives the files one at a time gives, rows started in list order.
    void twoJobsWriteWhatOneJobWrites_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("mp3") << 0;
        QTest::newRow("wav") << 1;
        QTest::newRow("wma") << 2;
        QTest::newRow("ogg") << 3;
    }
    void twoJobsWriteWhatOneJobWrites()
    {
        QFETCH(int, format);
        const QStringList files{source("j1.wav", 1.3), source("j2.wav", 0.4, 22050, 1), source("j3.wav", 2.1, 48000),
                                source("j4.wav", 0.9)};
        add(files);
        for (int i = 0; i < files.size(); ++i)
            w().list->setTrackInfo(i, TrackInfo{QString("Title %1").arg(i), "Artist", "Album", "Rock", i + 1, 1999, ""});
        w().cb_format->setCurrentIndex(format);
        const QString ext = QStringList({".mp3", ".wav", ".wma", ".ogg"}).at(format);
        QMap<int, QString> folders;
        for (int jobs : {1, 2}) {
            folders[jobs] = out + QString("/jobs%1").arg(jobs);
            useOutput(folders[jobs]);
            setJobs(jobs);
            StartLog log;
            watchStarts(log);
            convert();
            disconnect(w().lv->listModel(), &QAbstractItemModel::dataChanged, this, nullptr);
            QCOMPARE(log.order, QList<int>({0, 1, 2, 3}));
            QCOMPARE(log.mostAtOnce, jobs);
            QCOMPARE(statuses(), QStringList(4, "finish"));
            QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->texts().join("; ")));
        }
        for (const QString& f : files) {
            const QString name = QFileInfo(f).completeBaseName() + ext;
            const QString one = folders[1] + "/" + name, two = folders[2] + "/" + name;
            if (format <= 1) {
                // LAME and PCM are deterministic: byte for byte.
                QVERIFY(!bytes(one).isEmpty());
                QCOMPARE(bytes(two), bytes(one));
            } else {
                // The Ogg stream serial and ASF's file id differ from file to file: the sound must not.
                QCOMPARE(decoded(two), decoded(one));
                AudioInformation a, b;
                a.LoadFromFile(one);
                b.LoadFromFile(two);
                QCOMPARE(b.infoTitle, a.infoTitle);
                QCOMPARE(b.infoTrack, a.infoTrack);
            }
        }
        QVERIFY(QDir(folders[2]).entryList(QDir::Hidden | QDir::Files).filter(".sondrel-").isEmpty());
    }

    // Stop gives both running files up: the outputs they would have replaced stay as they
    // were, no temporary file is left, the rows say "stopped"; the third row is not touched
    // and the progress bar rests with the run's summary.
    void stopWithTwoJobsRunning()
    {
        const QStringList files{source("long1.wav", 30), source("long2.wav", 30), source("long3.wav", 2)};
        add(files);
        writeBytes(out + "/long1.mp3", "earlier output");
        setJobs(2);
        w().cb_format->setCurrentIndex(0);
        prompts->overwriteAnswers = {Prompts::Overwrite::YesToAll};
        whenConverting({0, 1}, [this] {
            QVERIFY(w().pb->format().contains("elapsed"));
            w().item("StopConverting1")->trigger();
        });
        convert();
        QCOMPARE(statuses(), QStringList({"stopped", "stopped", "unconverted"}));
        QCOMPARE(w().pb->value(), 0);
        QVERIFY2(w().pb->text().startsWith("0 converted, 2 stopped · 0:"), qPrintable(w().pb->text()));
        QCOMPARE(w().list->progress(0), -1);
        QCOMPARE(bytes(out + "/long1.mp3"), QByteArray("earlier output"));
        QCOMPARE(outputNames(), QStringList({"long1.mp3"}));
        QCOMPARE(prompts->messages.size(), 1); // the overwrite question, no failure message
    }

    void closingTheWindowMidRun()
    {
        add({source("close1.wav", 30), source("close2.wav", 30), source("close3.wav", 1)});
        setJobs(2);
        w().cb_format->setCurrentIndex(3);
        whenConverting({0, 1}, [this] { w().close(); });
        startConvert();
        QTRY_VERIFY_WITH_TIMEOUT(!w().isVisible(), 60000);
        QVERIFY(!shell->state.flag_converting());
        QVERIFY(!shell->state.settings());
        QCOMPARE(statuses(), QStringList({"stopped", "stopped", "unconverted"}));
        QCOMPARE(outputNames(), QStringList());
        QCOMPARE(prompts->texts(), QStringList({"A conversion is running. Stop it and quit?"}));
    }

    void yesToAllAndNoToAll()
    {
        QStringList files;
        for (int i = 0; i < 4; ++i) {
            files << source(QString("all%1.wav").arg(i), 0.3);
            writeBytes(out + QString("/all%1.wav").arg(i), "old");
        }
        add(files);
        setJobs(2);
        w().cb_format->setCurrentIndex(1);
        prompts->overwriteAnswers = {Prompts::Overwrite::No, Prompts::Overwrite::NoToAll};
        convert();
        // Two questions, the second for the rest of the run; nothing replaced.
        QCOMPARE(prompts->texts(), QStringList({"File has existed. Overwrite?\n" + out + "/all0.wav",
                                                "File has existed. Overwrite?\n" + out + "/all1.wav"}));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(bytes(out + QString("/all%1.wav").arg(i)), QByteArray("old"));
        QCOMPARE(statuses(), QStringList(4, "skipped"));
        QVERIFY2(w().pb->text().startsWith("0 converted, 4 skipped · "), qPrintable(w().pb->text()));

        prompts->messages.clear();
        prompts->overwriteAnswers = {Prompts::Overwrite::Yes, Prompts::Overwrite::YesToAll};
        convert();
        QCOMPARE(prompts->messages.size(), 2);
        for (int i = 0; i < 4; ++i)
            QVERIFY(testaudio::ffprobe(out + QString("/all%1.wav").arg(i)).ok);
        QCOMPARE(statuses(), QStringList(4, "finish"));
        // A new run asks again.
        prompts->messages.clear();
        prompts->overwriteAnswers = {Prompts::Overwrite::NoToAll};
        convert();
        QCOMPARE(prompts->messages.size(), 1);
    }

    // A file that fails while another is converted: the other completes, the failure shows in
    // its row at once and in one message at the end.
    void aFailureInOneJobWhileAnotherRuns()
    {
        const QString longOne = source("f1.wav", 20), bad = source("f2.wav", 1), shortOne = source("f3.wav", 1);
        add({longOne, bad, shortOne});
        writeBytes(bad, QByteArray(4096, 'x')); // no longer audio
        setJobs(2);
        w().cb_format->setCurrentIndex(0);
        QString tooltipWhileRunning;
        whenConverting({0}, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(!w().list->toolTip(1).isEmpty(), 30000);
            tooltipWhileRunning = w().list->toolTip(1);
            QVERIFY(status(0) == "Converting"); // the failure did not wait for the long file
        });
        convert();
        QVERIFY(!tooltipWhileRunning.isEmpty());
        QCOMPARE(statuses(), QStringList({"finish", "failed", "finish"}));
        QCOMPARE(prompts->texts(), QStringList({bad + " is an invalid audio file!"}));
        QCOMPARE(outputNames(), QStringList({"f1.mp3", "f3.mp3"}));
    }

    // Converting a/song.wav and b/song.mp3 to MP3 into b/: the first row's target is the
    // second row's source, and is refused; the second row, whose name the first took, is
    // written beside its source as "song (2).mp3". Alone, the second row's target is its own
    // source, and is refused.
    void anotherRowsSourceIsNeverWritten()
    {
        QDir().mkpath(tmp.filePath("a"));
        QDir().mkpath(tmp.filePath("b"));
        const QString wav = tmp.filePath("a/song.wav");
        QVERIFY(testaudio::writeMusicWav(wav, 44100, 2, 0.5));
        const QString mp3 = tmp.filePath("b/song.mp3");
        int code = 0;
        testaudio::runTool("ffmpeg", {"-v", "error", "-y", "-i", wav, mp3}, 30000, &code);
        QCOMPARE(code, 0);
        const QByteArray before = bytes(mp3);
        add({wav, mp3});
        useOutput(tmp.filePath("b"));
        w().cb_format->setCurrentIndex(0);
        convert();
        QCOMPARE(bytes(mp3), before);
        QCOMPARE(prompts->texts(), QStringList({mp3 + " is the source of another file in the list and cannot be overwritten. Choose another output folder."}));
        QCOMPARE(statuses(), QStringList({"failed", "finish"}));
        QVERIFY(testaudio::ffprobe(tmp.filePath("b/song (2).mp3")).ok);
        QVERIFY(QFile::remove(tmp.filePath("b/song (2).mp3")));
        w().item("Clear1")->trigger();
        add({mp3});
        prompts->messages.clear();
        convert();
        QCOMPARE(bytes(mp3), before);
        QCOMPARE(prompts->texts(), QStringList({mp3 + " is the source file itself and cannot be overwritten. Choose another output folder."}));
        // A link in the output folder to a listed source is refused the same way.
        const QString elsewhere = out + "/linked";
        QDir().mkpath(elsewhere);
        makeLink(mp3, elsewhere + "/song.mp3");
        useOutput(elsewhere);
        prompts->messages.clear();
        convert();
        QCOMPARE(bytes(mp3), before);
        QVERIFY(QFileInfo(elsewhere + "/song.mp3").isSymLink());
    }

    // A link named like the target is what the question names and what gets replaced; the
    // file it points to is never written, and a dangling link creates nothing elsewhere.
    void linksInTheOutputFolderAreReplacedNotFollowed()
    {
        const QString keep = tmp.filePath("precious.wav");
        writeBytes(keep, "precious");
        QVERIFY(QFile::setPermissions(keep, QFileDevice::ReadOwner));
        makeLink(keep, out + "/x.wav");
        const QString nowhere = tmp.filePath("nowhere/dangling.wav");
        makeLink(nowhere, out + "/y.wav");
        add({source("x.wav", 0.3), source("y.wav", 0.3)});
        w().cb_format->setCurrentIndex(1);

        prompts->answers = {false, false};
        convert();
        QCOMPARE(prompts->texts(), QStringList({"File has existed. Overwrite?\n" + out + "/x.wav",
                                                "File has existed. Overwrite?\n" + out + "/y.wav"}));
        QVERIFY(QFileInfo(out + "/x.wav").isSymLink() && QFileInfo(out + "/y.wav").isSymLink());

        prompts->answers = {true, true};
        convert();
        QCOMPARE(statuses(), QStringList({"finish", "finish"}));
        QCOMPARE(bytes(keep), QByteArray("precious"));
        QVERIFY(!QFile::exists(nowhere));
        for (const QString name : {"x.wav", "y.wav"}) {
            QVERIFY(!QFileInfo(out + "/" + name).isSymLink());
            QVERIFY(testaudio::ffprobe(out + "/" + name).ok);
        }
    }

    // Two rows with one target: the later one is written beside it as "name (2)", both at once
    // and without a question, since nothing existed; run again, each asks about its own.
    void oneTargetFromTwoRows()
    {
        const QString a = source("twin_a.wav", 6), b = source("twin_b.wav", 1);
        add({a, b});
        w().list->setText(1, rows::FileName, "twin_a.wav");
        setJobs(2);
        w().cb_format->setCurrentIndex(1);
        convert();
        QCOMPARE(prompts->texts(), QStringList());
        QCOMPARE(statuses(), QStringList({"finish", "finish"}));
        QCOMPARE(outputNames(), QStringList({"twin_a (2).wav", "twin_a.wav"}));
        QCOMPARE(engineSamples(out + "/twin_a.wav"), std::int64_t(6 * 44100));
        QCOMPARE(engineSamples(out + "/twin_a (2).wav"), std::int64_t(44100));

        prompts->answers = {false, true};
        convert();
        QCOMPARE(prompts->texts(), QStringList({"File has existed. Overwrite?\n" + out + "/twin_a.wav",
                                                "File has existed. Overwrite?\n" + out + "/twin_a (2).wav"}));
        QCOMPARE(statuses(), QStringList({"skipped", "finish"}));
    }

    // A source that became a FIFO is refused at once, never opened for a writer that never comes.
    void fifoSourceIsRefusedWithoutBlocking()
    {
        const QString s = source("pipe.wav", 0.3), other = source("plain.wav", 0.3);
        add({s, other});
        QVERIFY(QFile::remove(s));
        QCOMPARE(::mkfifo(QFile::encodeName(s).constData(), 0644), 0);
        w().cb_format->setCurrentIndex(1);
        convert();
        QCOMPARE(prompts->texts(), QStringList({s + " is an invalid audio file!"}));
        QCOMPARE(statuses(), QStringList({"failed", "finish"}));
        // Added directly, it is refused too.
        prompts->messages.clear();
        prompts->fileChoices.push_back({{s}, tmp.filePath("src")});
        w().item("AddFile1")->trigger();
        QVERIFY(app.waitAdded());
        QCOMPARE(prompts->texts(), QStringList({s + " is an invalid audio file!"}));
        QCOMPARE(w().list->count(), 2);
    }

    // NaN, infinities and samples far beyond full scale reach no encoder: every format
    // converts the file, and what comes out is finite.
    void nanAndInfinitySamplesToEveryFormat()
    {
        std::vector<float> samples = testaudio::musicSignal(44100, 2, 44100);
        for (std::size_t i = 0; i < samples.size(); i += 97)
            samples[i] = std::nanf("");
        for (std::size_t i = 13; i < samples.size(); i += 101)
            samples[i] = (i & 1) ? INFINITY : -INFINITY;
        for (std::size_t i = 29; i < samples.size(); i += 89)
            samples[i] = 1e30f;
        const QString src = tmp.filePath("src/nan.wav");
        QDir().mkpath(tmp.filePath("src"));
        QVERIFY(testaudio::writeWav(src, samples, 44100, 2, -32));
        add({src});
        for (int format = 0; format < 4; ++format) {
            w().cb_format->setCurrentIndex(format);
            convert();
            QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->texts().join("; ")));
            QCOMPARE(status(0), QString("finish"));
            const QString target = out + "/nan" + QStringList({".mp3", ".wav", ".wma", ".ogg"}).at(format);
            const std::vector<float> back = decoded(target);
            QVERIFY(back.size() > 44100);
            QVERIFY(std::all_of(back.begin(), back.end(), [](float v) { return std::isfinite(v) && std::fabs(v) <= 2.0f; }));
        }
    }

    // An output that cannot be written completely (the file size limit stands in for a full
    // disk): that file fails and leaves nothing, the smaller one of the run completes.
    void fullDiskFailsTheFileNotTheRun()
    {
        const QString big = source("big.wav", 4), small = source("small.wav", 0.5);
        add({big, small});
        w().cb_format->setCurrentIndex(1); // 176 KB a second
        setJobs(2);
        struct rlimit old {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = old;
        limited.rlim_cur = 300 * 1024;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        convert();
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(statuses(), QStringList({"failed", "finish"}));
        QCOMPARE(prompts->messages.size(), 1);
        QVERIFY2(prompts->messages.first().text.startsWith(big + " could not be converted: "),
                 qPrintable(prompts->messages.first().text));
        QVERIFY(prompts->messages.first().text.contains(out + "/big.wav")); // the target, not a temporary name
        QCOMPARE(outputNames(), QStringList({"small.wav"}));
    }

    // A source that became something no writer takes (more channels than any format holds)
    // fails alone, and the next row is converted.
    void aSourceNoWriterTakesFailsAlone()
    {
        const QString wide = source("wide.wav", 0.5), fine = source("fine.wav", 0.5);
        add({wide, fine});
        QFile::remove(wide);
        QVERIFY(testaudio::writeMusicWav(wide, 44100, 9, 0.5));
        w().cb_format->setCurrentIndex(1);
        settings().write_int("wav", "mode", 1); // keep the source's channels
        convert();
        QCOMPARE(statuses(), QStringList({"failed", "finish"}));
        QCOMPARE(prompts->texts(), QStringList({wide + " is an invalid audio file!"}));
        QCOMPARE(outputNames(), QStringList({"fine.wav"}));
    }

    // An encoder that refuses its input (libvorbis: no managed bit rate of 128 kbps at 1 kHz)
    // fails the file with the encoder's reason; the temporary file goes and an existing
    // target is left as it was.
    void encoderRefusalFailsTheFile()
    {
        const QString src = source("low.wav", 0.5, 1000, 1);
        const QString target = out + "/low.ogg";
        writeBytes(target, "kept");
        JobOrder order;
        order.source = src;
        order.target = target;
        order.dir = OutputDir::open(out);
        order.writer = std::make_unique<AudioFile>();
        order.writer->SetOggOutput(0, 0, 128, 128, 128, -1); // the source's own rate
        JobProgress progress;
        const JobResult r = runConversionJob(order, progress);
        QCOMPARE(int(r.outcome), int(JobResult::Outcome::Failed));
        QVERIFY2(r.message.startsWith(src + " could not be converted: ") && r.message.contains("libvorbis"),
                 qPrintable(r.message));
        QVERIFY(!r.message.contains(".sondrel-"));
        QCOMPARE(bytes(target), QByteArray("kept"));
        QCOMPARE(outputNames(), QStringList({"low.ogg"}));
    }

    // What a format could not hold of the row's tags is said in the row's tooltip.
    void shortenedTagsShowInTheTooltip()
    {
        add({source("year.wav", 0.2)});
        TrackInfo wide = w().list->trackInfo(0);
        wide.year = 12345;
        w().list->setTrackInfo(0, wide);
        w().cb_format->setCurrentIndex(0);
        convert();
        QCOMPARE(status(0), QString("finish"));
        QVERIFY2(w().list->toolTip(0).contains("12345"), qPrintable(w().list->toolTip(0)));
        QVERIFY(prompts->messages.isEmpty());
    }

    // A source written to while it is converted fails with that reason instead of ending
    // "finish" padded with silence; one changed since it was added is measured again.
    void aSourceThatChanges()
    {
        const QString replaced = source("replaced.wav", 1), cut = source("cut.wav", 60);
        add({replaced, cut});
        QVERIFY(QFile::remove(replaced));
        QVERIFY(testaudio::writeMusicWav(replaced, 44100, 2, 3));
        setJobs(1);
        w().cb_format->setCurrentIndex(3);
        whenConverting({1}, [&] {
            QFile f(cut);
            QVERIFY(f.resize(f.size() / 4));
        });
        convert();
        QCOMPARE(w().list->text(0, rows::Time), QString("00:00:03"));
        QCOMPARE(engineSamples(out + "/replaced.ogg"), std::int64_t(3 * 44100));
        QCOMPARE(statuses(), QStringList({"finish", "failed"}));
        QCOMPARE(prompts->texts(), QStringList({cut + " could not be converted: the file changed while it was being converted"}));
        QCOMPARE(outputNames(), QStringList({"replaced.ogg"}));
    }

    // SIGTERM to the program while the window converts: the window closes as it would after
    // Stop, the earlier output stays as it was, no temporary file is left, exit status 143.
    void aSignalMidFileKeepsTheEarlierOutput()
    {
        const QString src = source("signalled.wav", 90);
        writeBytes(out + "/signalled.mp3", "the earlier output");
        QTemporaryDir config;
        QProcess child;
        QVERIFY(startChild(child, config, src));
        QTRY_VERIFY_WITH_TIMEOUT(!tempFiles().isEmpty() && QFileInfo(out + "/" + tempFiles().first()).size() > 64 * 1024, 60000);
        QCOMPARE(::kill(pid_t(child.processId()), SIGTERM), 0);
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 143);
        QCOMPARE(bytes(out + "/signalled.mp3"), QByteArray("the earlier output"));
        QCOMPARE(tempFiles(), QStringList());
    }

    // kill -9 in the middle of a file leaves no file under the target's name; the next run in
    // that folder removes what the killed one left.
    void aKilledRunLeavesNoCutTarget()
    {
        const QString src = source("killed.wav", 90);
        QTemporaryDir config;
        QProcess child;
        QVERIFY(startChild(child, config, src));
        QTRY_VERIFY_WITH_TIMEOUT(child.readAllStandardOutput().contains("started") || !tempFiles().isEmpty(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!tempFiles().isEmpty() && QFileInfo(out + "/" + tempFiles().first()).size() > 64 * 1024, 30000);
        child.kill(); // SIGKILL
        QVERIFY(child.waitForFinished(10000));
        QVERIFY(!QFile::exists(out + "/killed.mp3"));
        QCOMPARE(tempFiles().size(), 1);

        add({source("after.wav", 0.2)});
        w().cb_format->setCurrentIndex(0);
        convert();
        QCOMPARE(outputNames(), QStringList({"after.mp3"}));
    }
};

QTEST_MAIN(TestConversionJobs)
#include "test_conversion_jobs.moc"
