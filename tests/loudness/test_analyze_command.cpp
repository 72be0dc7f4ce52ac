#include "TestAudio.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

// sondrel --analyze: its columns, its order, its failures, and its loudness against ffmpeg's
// ebur128 filter on generated tones and real-world files.
class TestAnalyzeCommand : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;

    struct Result {
        int code = -1;
        QString out;
        QString err;
        QList<QStringList> rows() const
        {
            QList<QStringList> r;
            for (const QString& line : out.split('\n', Qt::SkipEmptyParts))
                r << line.split('\t');
            return r;
        }
    };
    Result run(const QStringList& args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.insert("XDG_CONFIG_HOME", tmp.filePath("config"));
        env.insert("LC_ALL", "de_DE.UTF-8"); // a decimal comma locale: the output keeps its point
        p.setProcessEnvironment(env);
        p.start(SONDREL_PROGRAM, args);
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished(5000);
            return {};
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()),
                QString::fromLocal8Bit(p.readAllStandardError())};
    }
    // ffmpeg's integrated loudness ("I:" of its ebur128 summary), or its true peak ("Peak:").
    static double ffmpegLoudness(const QString& path, const QByteArray& label = "I:")
    {
        const QByteArray log = testaudio::runTool(
            "sh", {"-c", "ffmpeg -nostdin -nostats -i \"$0\" -filter_complex ebur128=peak=true -f null - 2>&1", path});
        double lufs = NAN;
        for (const QByteArray& line : log.split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (words.size() >= 2 && words[0] == label)
                lufs = words[1].toDouble();
        }
        return lufs;
    }
    static bool tone(const QString& path, double seconds, const QString& level, const QString& frequency = "997")
    {
        int code = -1;
        testaudio::runTool("ffmpeg", {"-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                      "sine=frequency=" + frequency + ":duration=" + QString::number(seconds) + ":sample_rate=48000",
                                      "-af", "volume=" + level, "-ac", "2", path},
                           60000, &code);
        return code == 0;
    }
    // The numbers of a line agree with each other: gain = -18 - LUFS, two decimals.
    static void checkLine(const QStringList& row)
    {
        QCOMPARE(row.size(), 5);
        for (int c = 1; c < 5; ++c)
            if (!row[c].isEmpty() && row[c] != "-inf")
                QVERIFY2(QRegularExpression("^-?\\d+\\.\\d\\d$").match(row[c]).hasMatch(), qPrintable(row[c]));
        if (row[1] == "-inf") {
            QCOMPARE(row[3], QString());
        } else {
            QVERIFY(std::abs(row[3].toDouble() - (-18.0 - row[1].toDouble())) < 0.011);
        }
    }

private slots:
    void tonesSilenceAndABrokenFile()
    {
        QVERIFY(QDir().mkpath(tmp.filePath("album")));
        QVERIFY(QDir().mkpath(tmp.filePath("other")));
        const QString loud = tmp.filePath("album/loud.flac");
        const QString soft = tmp.filePath("album/soft.wav");
        const QString alone = tmp.filePath("other/alone.ogg");
        const QString silent = tmp.filePath("other/silent.wav");
        const QString broken = tmp.filePath("other/broken.mp3");
        QVERIFY(tone(loud, 5, "-6dB"));
        QVERIFY(tone(soft, 8, "-12dB", "440"));
        QVERIFY(tone(alone, 4, "-14dB", "3000"));
        QVERIFY(testaudio::writeWav(silent, std::vector<float>(48000 * 2, 0.0f), 48000, 2));
        {
            QFile f(broken);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4000, '\x5a'));
        }
        const QStringList named{soft, broken, loud, silent, alone};
        QDirIterator before(tmp.path(), QDir::Files, QDirIterator::Subdirectories);
        QStringList filesBefore;
        while (before.hasNext())
            filesBefore << before.next() + QString::number(QFileInfo(before.filePath()).lastModified().toMSecsSinceEpoch());

        const Result r = run(QStringList{"--analyze", "--jobs", "3"} + named);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(broken + ": "), qPrintable(r.err));
        const QList<QStringList> rows = r.rows();
        QCOMPARE(rows.size(), 4);
        // In the order named, the broken file left out.
        QCOMPARE((QStringList{rows[0][0], rows[1][0], rows[2][0], rows[3][0]}), (QStringList{soft, loud, silent, alone}));
        for (const QStringList& row : rows)
            checkLine(row);
        for (int i : {0, 1, 3}) {
            const double ours = rows[i][1].toDouble();
            const double theirs = ffmpegLoudness(rows[i][0]);
            QVERIFY2(std::abs(ours - theirs) <= 0.1, qPrintable(QString("%1: %2 against %3").arg(rows[i][0]).arg(ours).arg(theirs)));
        }
        // The true peak, as ffmpeg finds it (to its one decimal).
        QVERIFY2(std::abs(rows[1][2].toDouble() - ffmpegLoudness(loud, "Peak:")) <= 0.1, qPrintable(rows[1][2]));
        // The album of two files: one gain, between the two tracks' gains.
        QCOMPARE(rows[0][4], rows[1][4]);
        const double albumGain = rows[0][4].toDouble();
        QVERIFY(albumGain > rows[1][3].toDouble() && albumGain < rows[0][3].toDouble());
        // The silent file: no loudness, no gain of its own; its album (its folder) has the other tone.
        QCOMPARE(rows[2][1], QString("-inf"));
        QCOMPARE(rows[2][2], QString("-inf"));
        QCOMPARE(rows[2][3], QString());
        QCOMPARE(rows[2][4], rows[3][4]);
        QCOMPARE(rows[3][4], rows[3][3]);

        // Nothing was written or touched.
        QDirIterator after(tmp.path(), QDir::Files, QDirIterator::Subdirectories);
        QStringList filesAfter;
        while (after.hasNext())
            filesAfter << after.next() + QString::number(QFileInfo(after.filePath()).lastModified().toMSecsSinceEpoch());
        filesBefore.sort();
        filesAfter.sort();
        QCOMPARE(filesAfter, filesBefore);
    }

    void wrongCommandLines_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no files") << QStringList{"--analyze"};
        QTest::newRow("with --convert") << QStringList{"--analyze", "--convert", "--format", "mp3", "--out", "x", "y.wav"};
        QTest::newRow("with --format") << QStringList{"--analyze", "--format", "mp3", "y.wav"};
    }
    void wrongCommandLines()
    {
        QFETCH(QStringList, args);
        const Result r = run(args);
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
    }

    // Real-world files: each either measured or refused with its reason, never a crash or a
    // hang; where ffmpeg reads a file the same way, the loudness agrees.
    void realWorldFiles()
    {
        const QString corpus = testaudio::corpusDir();
        if (!QFileInfo(corpus).isDir())
            QSKIP("no real-world corpus");
        const Result r = run({"--analyze", corpus});
        QVERIFY2(r.code == 0 || r.code == 1, qPrintable(r.err));
        QStringList seen;
        for (const QStringList& row : r.rows()) {
            checkLine(row);
            seen << row[0];
        }
        for (const QString& line : r.err.split('\n', Qt::SkipEmptyParts))
            seen << line.section(": ", 0, 0);
        for (const QString& file : testaudio::corpusFiles())
            QVERIFY2(seen.contains(QDir(corpus).filePath(file)), qPrintable(file));

        for (const char* file : {"beets/whitenoise.mp3", "taglib/bladeenc.mp3", "mutagen/vbri.mp3", "taglib/multiplex.ogg",
                                 "taglib/uint8we.wav", "taglib/lossless.wma", "beets/mpeglayer3.wav"}) {
            const QString path = QDir(corpus).filePath(file);
            if (!QFileInfo::exists(path))
                continue;
            const Result one = run({"--analyze", path});
            QCOMPARE(one.code, 0);
            const QStringList row = one.rows().value(0);
            checkLine(row);
            const double theirs = ffmpegLoudness(path);
            QVERIFY2(std::abs(row[1].toDouble() - theirs) <= 0.1,
                     qPrintable(QString("%1: %2 against %3").arg(file, row[1]).arg(theirs)));
        }
    }
};

QTEST_GUILESS_MAIN(TestAnalyzeCommand)
#include "test_analyze_command.moc"
