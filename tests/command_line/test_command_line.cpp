#include "AppShell.h"
#include "CommandLine.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "RunningWindow.h"
#include "SettingsFile.h"
#include "TestAudio.h"

#include <QComboBox>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace sondrel;

// The program started from a shell: --help, --version, wrong arguments, and --convert, which
// converts without any window (no display server) by the rules and settings of the window.
class TestCommandLine : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QString config; // XDG_CONFIG_HOME of the program started

    struct Result {
        int code = -1;
        QString out;
        QString err;
        QStringList lines() const { return out.split('\n', Qt::SkipEmptyParts); }
    };
    Result run(const QStringList& args, const QByteArray& input = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM"); // a window would fail to open: none may be needed
        env.insert("XDG_CONFIG_HOME", config);
        p.setProcessEnvironment(env);
        p.start(SONDREL_PROGRAM, args);
        if (!p.waitForStarted(10000))
            return {};
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished(5000);
            return {};
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()),
                QString::fromLocal8Bit(p.readAllStandardError())};
    }
    QString music(const QString& name, double seconds)
    {
        const QString p = tmp.filePath(name);
        QDir().mkpath(QFileInfo(p).absolutePath());
        if (!QFile::exists(p) && !testaudio::writeMusicWav(p, 44100, 2, seconds))
            qFatal("cannot write %s", qPrintable(p));
        return p;
    }
    static QByteArray bytes(const QString& p)
    {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(tmp.isValid());
        config = tmp.filePath("config");
        QDir().mkpath(config);
    }

    void helpVersionAndWrongArguments()
    {
        Result r = run({"--help"});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.startsWith("Usage: sondrel"));
        r = run({"--version"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QString("sondrel 1.00\n"));
        for (const QStringList& bad : {QStringList{"--convert", "--out", "x", "a.wav"}, QStringList{"--convert", "--format", "aiff", "--out", "x", "a.wav"},
                                       QStringList{"--convert", "--format", "mp3", "a.wav"}, QStringList{"--convert", "--format", "mp3", "--out", "x"},
                                       QStringList{"--format", "mp3", "a.wav"}, QStringList{"--jobs", "-1"}, QStringList{"--frobnicate"}}) {
            r = run(bad);
            QVERIFY2(r.code == 2, qPrintable(bad.join(' ')));
            QVERIFY(r.err.contains("Usage: sondrel"));
            QVERIFY(r.out.isEmpty());
        }
    }

    // Files and a folder: one line per file, the folder taken as adding it takes it (natural
    // name order, sub-folders where their names come), exit status 0.
    void convertsFilesAndFoldersWithoutAWindow()
    {
        const QString single = music("one/single.wav", 0.3);
        for (const QString name : {"album/a 20.wav", "album/a 3.wav", "album/b10.wav", "album/B2.wav", "album/c/x.wav"})
            music(name, 0.2);
        const QString out = tmp.filePath("out-cli");
        const Result r = run({"--convert", "--format", "wav", "--jobs", "1", "--out", out, single, tmp.filePath("album")});
        QCOMPARE(r.code, 0);
        QStringList sources;
        for (const QString& line : r.lines()) {
            const QStringList f = line.split('\t');
            QCOMPARE(f.size(), 3);
            QCOMPARE(f[1], QString("converted"));
            sources << QFileInfo(f[0]).fileName();
        }
        QCOMPARE(sources, QStringList({"single.wav", "a 3.wav", "a 20.wav", "B2.wav", "b10.wav", "x.wav"}));
        QCOMPARE(QDir(out).entryList(QDir::Files).size(), 6);
        QVERIFY(r.err.contains("6 converted, 0 failed, 0 skipped"));
    }

    // The newer formats by their names; with "keep folders" set, a folder's files keep its
    // tree below the output folder and a single file goes straight into it.
    void newerFormatsAndKeptFolders()
    {
        const QString single = music("kept/single.wav", 0.2);
        music("kept/tree/top.wav", 0.2);
        music("kept/tree/sub/low.wav", 0.2);
        QFile ini(config + "/trevalon.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[basic]\nkeep folders=1\n");
        ini.close();
        for (const QString format : {"flac", "opus", "m4a"}) {
            const QString out = tmp.filePath("out-kept-" + format);
            const Result r = run({"--convert", "--format", format, "--out", out, single, tmp.filePath("kept/tree")});
            QVERIFY2(r.code == 0, qPrintable(r.err));
            for (const QString name : {"single", "tree/top", "tree/sub/low"})
                QVERIFY2(QFile::exists(out + "/" + name + "." + format), qPrintable(name));
        }
        QFile::remove(config + "/trevalon.ini");
    }

    // Kept folders are entered without following links: a sub-folder of the output folder
    // that links elsewhere fails its file with the reason, the rest convert.
    void keptFolderThatIsALink()
    {
        music("linked/tree/top.wav", 0.2);
        const QString low = music("linked/tree/sub/low.wav", 0.2);
        const QString out = tmp.filePath("out-linked");
        const QString elsewhere = tmp.filePath("linked-elsewhere");
        QDir().mkpath(out + "/tree");
        QDir().mkpath(elsewhere);
        QVERIFY(QFile::link(elsewhere, out + "/tree/sub"));
        QFile ini(config + "/trevalon.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[basic]\nkeep folders=1\n");
        ini.close();
        const Result r = run({"--convert", "--format", "wav", "--out", out, tmp.filePath("linked/tree")});
        QFile::remove(config + "/trevalon.ini");
        QCOMPARE(r.code, 1);
        QVERIFY2(r.out.contains(low + "\tfailed: the output folder holds a link: " + out + "/tree/sub\t"), qPrintable(r.out));
        QVERIFY(r.err.contains("1 converted, 1 failed, 0 skipped"));
        QVERIFY(QFile::exists(out + "/tree/top.wav"));
        QVERIFY(QDir(elsewhere).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    }

    // A file that cannot be converted, or an existing output kept, makes the status 1; the
    // overwrite modes decide what happens to existing outputs.
    void failuresAndOverwriteModes()
    {
        const QString good = music("modes/good.wav", 0.3);
        const QString bad = tmp.filePath("modes/bad.wav");
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(2048, 'x'));
        f.close();
        const QString out = tmp.filePath("out-modes");
        Result r = run({"--convert", "--format", "mp3", "--out", out, good, bad});
        QCOMPARE(r.code, 1);
        QVERIFY(r.out.contains(good + "\tconverted\t"));
        QVERIFY(r.out.contains(bad + "\tfailed: "));
        QVERIFY(r.err.contains(bad + " is an invalid audio file!"));

        // No terminal: an existing output is kept unless told otherwise.
        QFile::remove(out + "/good.mp3");
        QFile keep(out + "/good.mp3");
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.write("mine");
        keep.close();
        r = run({"--convert", "--format", "mp3", "--out", out, good});
        QCOMPARE(r.code, 1);
        QVERIFY(r.out.contains(good + "\tskipped: the output exists\t"));
        QCOMPARE(bytes(out + "/good.mp3"), QByteArray("mine"));
        r = run({"--convert", "--format", "mp3", "--overwrite", "no", "--out", out, good});
        QCOMPARE(r.code, 1);
        // Asked, answered on the standard input.
        r = run({"--convert", "--format", "mp3", "--overwrite", "ask", "--out", out, good}, "n\n");
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains("File has existed. Overwrite?\n" + out + "/good.mp3"));
        QCOMPARE(bytes(out + "/good.mp3"), QByteArray("mine"));
        r = run({"--convert", "--format", "mp3", "--overwrite", "ask", "--out", out, good}, "y\n");
        QCOMPARE(r.code, 0);
        QVERIFY(bytes(out + "/good.mp3").size() > 1000);
        r = run({"--convert", "--format", "mp3", "--overwrite", "yes", "--out", out, good});
        QCOMPARE(r.code, 0);
        // Nothing to convert at all.
        r = run({"--convert", "--format", "mp3", "--out", out, tmp.filePath("nothing-here")});
        QCOMPARE(r.code, 1);
    }

    // The same settings give the same file as the window's Convert command, byte for byte.
    void sameOutputAsTheWindow()
    {
        const QString src = music("same/song.wav", 1.2);
        const QByteArray ini = "[mp3]\nbitrate=13\nquality=2\nchannel=0\n";
        QFile c(config + "/trevalon.ini");
        QVERIFY(c.open(QIODevice::WriteOnly | QIODevice::Truncate));
        c.write(ini);
        c.close();
        const QString cliOut = tmp.filePath("out-same-cli");
        QCOMPARE(run({"--convert", "--format", "mp3", "--out", cliOut, src}).code, 0);

        QFile::remove(SettingsFile::defaultPath());
        QDir().mkpath(QFileInfo(SettingsFile::defaultPath()).absolutePath());
        QFile w(SettingsFile::defaultPath());
        QVERIFY(w.open(QIODevice::WriteOnly));
        w.write(ini);
        w.close();
        const QString windowOut = tmp.filePath("out-same-window");
        SettingsFile(SettingsFile::defaultPath()).write_string("basic", "output directory", windowOut);
        RunningWindow app;
        QVERIFY(app.start());
        app.prompts->fileChoices.push_back({{src}, QFileInfo(src).absolutePath()});
        app.w().item("AddFile1")->trigger();
        QVERIFY(app.waitAdded());
        app.w().cb_format->setCurrentIndex(0);
        app.w().item("Convert1")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!app.s().flag_converting(), 60000);
        QCOMPARE(rows::text(app.w().lv, 0, rows::Status), QString("finish"));
        const QByteArray window = bytes(windowOut + "/song.mp3");
        QVERIFY(window.size() > 1000);
        QCOMPARE(bytes(cliOut + "/song.mp3"), window);
        app.stop();
    }
};

QTEST_MAIN(TestCommandLine)
#include "test_command_line.moc"
