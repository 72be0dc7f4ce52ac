#include "AppShell.h"
#include "CommandLine.h"
#include "FileTags.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "NamePattern.h"
#include "RunningWindow.h"
#include "SettingsFile.h"
#include "SmallDisk.h"
#include "TestAudio.h"

#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace sondrel;

// What the pattern's own check says about text.
static QString NamePatternError(const QString& text)
{
    return NamePattern(text).error();
}

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
    // The program started with its environment as run() gives it, without waiting.
    std::unique_ptr<QProcess> start(const QStringList& args)
    {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        env.insert("XDG_CONFIG_HOME", config);
        p->setProcessEnvironment(env);
        p->start(SONDREL_PROGRAM, args);
        p->closeWriteChannel();
        return p;
    }
    // The program started with arguments as raw bytes (names that are no text), its standard
    // output a pipe that is closed after closeAfterLines lines (never, when negative) and its
    // standard error a file. Reports how it ended: exited with a status, or killed.
    struct RawResult {
        bool exited = false;
        int status = -1;
        QByteArray out, err;
    };
    // The environment of a program started by hand: no display, the test's settings folder.
    QList<QByteArray> childEnvironment() const
    {
        QList<QByteArray> env;
        for (char** e = environ; *e; ++e) {
            const QByteArray v(*e);
            if (!v.startsWith("DISPLAY=") && !v.startsWith("WAYLAND_DISPLAY=") && !v.startsWith("QT_QPA_PLATFORM=")
                && !v.startsWith("XDG_CONFIG_HOME="))
                env << v;
        }
        env << "XDG_CONFIG_HOME=" + QFile::encodeName(config);
        return env;
    }
    RawResult spawn(const QList<QByteArray>& args, int closeAfterLines = -1)
    {
        RawResult r;
        const QByteArray errPath = QFile::encodeName(tmp.filePath("spawn-err.txt"));
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return r;
        QList<QByteArray> env = childEnvironment();
        std::vector<char*> argv{const_cast<char*>(SONDREL_PROGRAM)}, envp;
        for (const QByteArray& a : args)
            argv.push_back(const_cast<char*>(a.constData()));
        argv.push_back(nullptr);
        for (const QByteArray& e : env)
            envp.push_back(const_cast<char*>(e.constData()));
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = -1;
        const int rc = ::posix_spawn(&pid, SONDREL_PROGRAM, &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (rc != 0) {
            ::close(out[0]);
            return r;
        }
        QElapsedTimer clock;
        clock.start();
        bool open = true;
        while (open && clock.elapsed() < 120000) {
            pollfd p{out[0], POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char buf[4096];
            const ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n <= 0)
                break;
            r.out.append(buf, n);
            if (closeAfterLines >= 0 && r.out.count('\n') >= closeAfterLines) {
                ::close(out[0]); // the reader goes away, as `| head -1` does
                open = false;
            }
        }
        if (open)
            ::close(out[0]);
        // The child's end is awaited on its pid descriptor, for what is left of the two minutes.
        const int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
        pollfd ended{pidfd, POLLIN, 0};
        int ready = -1;
        do
            ready = pidfd < 0 ? -1 : ::poll(&ended, 1, int(std::max<qint64>(0, 120000 - clock.elapsed())));
        while (ready < 0 && errno == EINTR);
        if (ready <= 0)
            ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (pidfd >= 0)
            ::close(pidfd);
        r.exited = WIFEXITED(status);
        r.status = r.exited ? WEXITSTATUS(status) : -1;
        r.err = bytes(QFile::decodeName(errPath));
        return r;
    }
    // The program started on a pseudo terminal of its own (standard input, output and error),
    // keys typed once the overwrite question shows. Reports the exit status, what the
    // terminal showed, and whether the terminal was left in line mode with echo.
    struct TerminalResult {
        int status = -1;
        QByteArray screen;
        bool lineModeAfter = false;
    };
    TerminalResult runOnTerminal(const QStringList& args, const QByteArray& keys)
    {
        TerminalResult r;
        int master = -1, slave = -1;
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            return r;
        QList<QByteArray> strings{QByteArray(SONDREL_PROGRAM)};
        for (const QString& a : args)
            strings << QFile::encodeName(a);
        std::vector<char*> argv, envp;
        for (QByteArray& a : strings)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        QList<QByteArray> env = childEnvironment();
        for (QByteArray& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            // The terminal becomes the child's controlling terminal, so Ctrl+C typed on it
            // signals the program.
            ::setsid();
            ::ioctl(slave, TIOCSCTTY, 0);
            ::dup2(slave, 0);
            ::dup2(slave, 1);
            ::dup2(slave, 2);
            ::close(master);
            ::close(slave);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        QElapsedTimer clock;
        clock.start();
        bool typed = false, ended = false;
        int status = 0;
        while (!ended && clock.elapsed() < 60000) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char buf[4096];
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0)
                    r.screen.append(buf, n);
            }
            if (!typed && r.screen.contains("kip all? "))
                typed = ::write(master, keys.constData(), size_t(keys.size())) == keys.size();
            ended = ::waitpid(pid, &status, WNOHANG) == pid;
        }
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        pollfd p{master, POLLIN, 0};
        while (::poll(&p, 1, 0) > 0) {
            char buf[4096];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                break;
            r.screen.append(buf, n);
        }
        termios t{};
        r.lineModeAfter = ::tcgetattr(slave, &t) == 0 && (t.c_lflag & ICANON) && (t.c_lflag & ECHO);
        r.status = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        ::close(master);
        ::close(slave);
        return r;
    }
    QStringList tempFiles(const QString& folder) const
    {
        return QDir(folder).entryList({".sondrel-*"}, QDir::Files | QDir::Hidden | QDir::System);
    }
    static void writeBytes(const QString& path, const QByteArray& data)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(data);
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
                                       QStringList{"--format", "mp3", "a.wav"}, QStringList{"--jobs", "-1"}, QStringList{"--frobnicate"},
                                       QStringList{"--convert", "--format", "wav", "--out", "x", "--pattern", "{nope}", "a.wav"}}) {
            r = run(bad);
            QVERIFY2(r.code == 2, qPrintable(bad.join(' ')));
            QVERIFY(r.err.contains("Usage: sondrel"));
            QVERIFY(r.out.isEmpty());
        }
    }

    // The arguments as read, without starting the program: what each option sets, where
    // options end, and the first fault found.
    void parsesArguments_data()
    {
        using A = CommandLine::Action;
        using O = Existing;
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("jobs");
        QTest::addColumn<int>("existing"); // -1: none given
        QTest::addColumn<int>("keepFolders"); // -1: none given
        QTest::addColumn<bool>("dryRun");
        const auto row = [](const char* name, QStringList args, A action, QString error, QStringList paths = {},
                            QString format = {}, int jobs = -1, std::optional<O> existing = {}, int keep = -1,
                            bool dry = false) {
            QTest::newRow(name) << args << int(action) << error << paths << format << jobs
                                << (existing ? int(*existing) : -1) << keep << dry;
        };
        const QString convertOnly = "--format, --out, --jobs, --existing, --overwrite, --pattern, --portable-names, "
                                    "--keep-folders, --no-keep-folders, --playlist, --copy-same-format, --replaygain, "
                                    "--normalize and --dry-run go with --convert";
        row("nothing", {}, A::Window, {});
        row("paths, dash and end of options", {"a.wav", "-", "--", "--help", "-x"}, A::Window, {},
            {"a.wav", "-", "--help", "-x"});
        row("convert with every option",
            {"--convert", "--format", "MP3", "--out", "o", "--jobs", "0", "--overwrite", "yes", "x"}, A::Convert, {},
            {"x"}, "mp3", 0, O::Overwrite);
        row("overwrite no, path after --", {"--convert", "--overwrite", "no", "--format", "wav", "--out", "o", "--", "--jobs"},
            A::Convert, {}, {"--jobs"}, "wav", -1, O::Skip);
        row("overwrite ask", {"--overwrite", "ask", "--convert", "--out", "o", "--format", "wav", "y"}, A::Convert, {},
            {"y"}, "wav", -1, O::Ask);
        for (const auto& [word, mode] : {std::pair{"skip", O::Skip}, {"overwrite", O::Overwrite}, {"rename", O::Rename},
                                         {"update", O::Update}, {"ask", O::Ask}}) {
            row(qPrintable(QString("existing ") + word), {"--convert", "--existing", word, "--format", "wav", "--out", "o", "y"},
                A::Convert, {}, {"y"}, "wav", -1, mode);
        }
        row("the later of --existing and --overwrite wins",
            {"--convert", "--existing", "rename", "--overwrite", "yes", "--format", "wav", "--out", "o", "y"}, A::Convert,
            {}, {"y"}, "wav", -1, O::Overwrite);
        row("keep folders, then not, dry run",
            {"--convert", "--keep-folders", "--dry-run", "--no-keep-folders", "--format", "wav", "--out", "o", "y"},
            A::Convert, {}, {"y"}, "wav", -1, {}, 0, true);
        row("keep folders", {"--convert", "--keep-folders", "--format", "wav", "--out", "o", "y"}, A::Convert, {}, {"y"},
            "wav", -1, {}, 1);
        row("existing unknown", {"--existing", "yes"}, A::Error, "--existing needs ask, skip, overwrite, rename or update");
        row("dry run without convert", {"--dry-run", "a"}, A::Error, convertOnly, {"a"}, {}, -1, {}, -1, true);
        row("help first", {"-h", "--frobnicate"}, A::Help, {});
        row("version stops reading", {"a", "--version", "--jobs"}, A::Version, {}, {"a"});
        row("format missing", {"--convert", "--format"}, A::Error, "--format needs a format");
        row("format unknown", {"--format", "AIFF"}, A::Error, "unknown format: aiff", {}, "aiff");
        row("out missing", {"--out"}, A::Error, "--out needs a folder");
        row("out empty", {"--out", "", "a"}, A::Error, "--out needs a folder");
        row("jobs not a number", {"--jobs", "two"}, A::Error, "--jobs needs a number of 0 or more", {}, {}, 0);
        row("jobs negative", {"--jobs", "-2"}, A::Error, "--jobs needs a number of 0 or more", {}, {}, -2);
        row("jobs missing", {"--jobs"}, A::Error, "--jobs needs a number of 0 or more");
        row("overwrite unknown", {"--overwrite", "Yes"}, A::Error, "--overwrite needs ask, yes or no");
        row("overwrite missing", {"--overwrite"}, A::Error, "--overwrite needs ask, yes or no");
        row("options without convert", {"--jobs", "2", "a"}, A::Error, convertOnly, {"a"}, {}, 2);
        row("pattern without convert", {"--pattern", "{title}", "--portable-names", "a"}, A::Error, convertOnly, {"a"});
        row("pattern missing", {"--convert", "--pattern"}, A::Error, "--pattern needs a pattern");
        row("pattern not valid", {"--convert", "--pattern", "{title"}, A::Error,
            "--pattern: " + NamePatternError("{title"));
        row("replaygain of no kind", {"--convert", "--replaygain", "loud"}, A::Error, "--replaygain needs off, track or album");
        row("replaygain missing", {"--convert", "--replaygain"}, A::Error, "--replaygain needs off, track or album");
        row("normalize without convert", {"--normalize", "a.wav"}, A::Error, convertOnly, {"a.wav"});
        row("convert without format", {"--convert", "--out", "o", "a"}, A::Error, "--convert needs --format", {"a"});
        row("convert without out", {"--convert", "--format", "wav", "a"}, A::Error, "--convert needs --out", {"a"}, "wav");
        row("convert without paths", {"--convert", "--format", "wav", "--out", "o"}, A::Error,
            "--convert needs files or folders to convert", {}, "wav");
        row("unknown option", {"a", "--frobnicate", "--help"}, A::Error, "unknown option: --frobnicate", {"a"});
    }

    void parsesArguments()
    {
        QFETCH(QStringList, args);
        const CommandLine c = parseCommandLine(args);
        QTEST(int(c.action), "action");
        QTEST(c.error, "error");
        QTEST(c.paths, "paths");
        QTEST(c.format, "format");
        QTEST(c.jobs, "jobs");
        QTEST(c.existing ? int(*c.existing) : -1, "existing");
        QTEST(c.keepFolders ? int(*c.keepFolders) : -1, "keepFolders");
        QTEST(c.dryRun, "dryRun");
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

    // Outputs named by a pattern: folders from tags below the output folder (below the kept
    // folder when folders are kept), stand-ins for empty tags, a "/" of a value never making a
    // folder, ":" kept or replaced by the portable rules. The settings file's pattern is used
    // unless --pattern gives one.
    void patternNamesOutputs_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("stored");   // in the settings file rather than --pattern
        QTest::addColumn<bool>("portable");
        QTest::addColumn<bool>("keepFolders");
        QTest::addColumn<QStringList>("outputs");
        const QString tagged = "{albumartist|artist}/{album}/{disc}-{track:02} {title}";
        QTest::newRow("folders from tags") << tagged << false << false << false
                                           << QStringList{"Band/Alb/1-03 Song: A-B.wav", "Unknown Album Artist/Unknown Album/-00 Unknown Title.wav"};
        QTest::newRow("portable names") << tagged << false << true << false
                                        << QStringList{"Band/Alb/1-03 Song- A-B.wav", "Unknown Album Artist/Unknown Album/-00 Unknown Title.wav"};
        QTest::newRow("stored, kept folders") << "{artist}/{name}" << true << false << true
                                              << QStringList{"src/Art/one.wav", "src/Unknown Artist/blank.wav"};
        QTest::newRow("format, folder, other tags") << "{format}/{folder}/{composer} of {disctotal|\"?\"}" << false << false << false
                                                    << QStringList{"WAV/src/Comp of 2.wav", "WAV/src/Unknown Composer of ?.wav"};
    }

    void patternNamesOutputs()
    {
        QFETCH(QString, pattern);
        QFETCH(bool, stored);
        QFETCH(bool, portable);
        QFETCH(bool, keepFolders);
        QFETCH(QStringList, outputs);
        const QString one = music("pat/src/one.wav", 0.2);
        music("pat/src/blank.wav", 0.2);
        CarriedTags carried;
        carried.fields["ALBUMARTIST"] = {"Band"};
        carried.fields["DISCNUMBER"] = {"1/2"};
        carried.fields["COMPOSER"] = {"Comp"};
        AudioInformation values;
        values.infoTitle = "Song: A/B";
        values.infoArtist = "Art";
        values.infoAlbum = "Alb";
        values.infoTrack = 3;
        writeFileTags(one, carried, values);

        QFile ini(config + "/trevalon.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[basic]\nkeep folders=" + QByteArray(keepFolders ? "1" : "0") + "\n");
        if (stored)
            ini.write("name pattern=" + pattern.toUtf8() + "\n");
        ini.close();
        const QString out = tmp.filePath("out-pattern-" + QString(QTest::currentDataTag()));
        QStringList args{"--convert", "--format", "wav", "--jobs", "1", "--out", out};
        if (!stored)
            args << "--pattern" << pattern;
        if (portable)
            args << "--portable-names";
        const Result r = run(args << tmp.filePath("pat/src"));
        QFile::remove(config + "/trevalon.ini");
        QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
        for (const QString& output : outputs)
            QVERIFY2(QFileInfo(out + "/" + output).isFile(), qPrintable(output + "\n" + r.out));
        int files = 0;
        for (QDirIterator it(out, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext(); it.next())
            ++files;
        QCOMPARE(files, outputs.size());
    }

    // A stored pattern that is no pattern fails every file with its error, writing nothing.
    void storedPatternNotValid()
    {
        const QString one = music("pat/src/one.wav", 0.2);
        QFile ini(config + "/trevalon.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[basic]\nname pattern={title\n");
        ini.close();
        const QString out = tmp.filePath("out-pattern-bad");
        const Result r = run({"--convert", "--format", "wav", "--out", out, one});
        QFile::remove(config + "/trevalon.ini");
        QCOMPARE(r.code, 1);
        QVERIFY2(r.out.contains(one + "\tfailed: The name pattern is not valid: " + NamePattern("{title").error()), qPrintable(r.out));
        QVERIFY(QDir(out).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot));
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
        // Kept because the user said so: no failure.
        r = run({"--convert", "--format", "mp3", "--overwrite", "no", "--out", out, good});
        QCOMPARE(r.code, 0);
        r = run({"--convert", "--format", "mp3", "--overwrite", "yes", "--out", out, good});
        QCOMPARE(r.code, 0);
        // Nothing to convert at all.
        r = run({"--convert", "--format", "mp3", "--out", out, tmp.filePath("nothing-here")});
        QCOMPARE(r.code, 1);
    }

    // --dry-run prints what a run would do, per file, and writes nothing (not even the output
    // folder); a run then does just that. Update leaves what is newer than its source, and
    // files kept because --existing said so do not fail the run.
    void dryRunThenUpdate()
    {
        const QString a1 = music("dry/one/a.wav", 0.2), a2 = music("dry/two/a.wav", 0.2), b = music("dry/b.wav", 0.2);
        const QString out = tmp.filePath("out-dry");
        const QStringList convert{"--convert", "--format", "wav", "--out", out};
        Result r = run(QStringList(convert) << "--dry-run" << "--existing" << "update" << a1 << a2 << b);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.lines(), QStringList({a1 + "\t" + out + "/a.wav\tconvert", a2 + "\t" + out + "/a (2).wav\trename",
                                         b + "\t" + out + "/b.wav\tconvert"}));
        QVERIFY(!QFileInfo::exists(out));

        r = run(QStringList(convert) << "--existing" << "update" << a1 << a2 << b);
        QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
        QVERIFY(QFileInfo(out + "/a (2).wav").isFile());
        r = run(QStringList(convert) << "--existing" << "update" << a1 << a2 << b);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.lines(), QStringList({a1 + "\tup to date\t0.00", a2 + "\tup to date\t0.00", b + "\tup to date\t0.00"}));
        QVERIFY2(r.err.endsWith("0 converted, 0 failed, 0 skipped, 3 up to date, 0 stopped\n"), qPrintable(r.err));

        // The plan of each rule on the outputs that are there now; then rename writes beside.
        const QStringList ruleLines[] = {
            {"skip", "skip", "skip"}, {"overwrite", "convert", "convert"}, {"rename", "rename", "rename"},
            {"update", "up to date", "up to date"}};
        for (const QStringList& rule : ruleLines) {
            r = run(QStringList(convert) << "--dry-run" << "--existing" << rule[0] << a1 << b);
            QCOMPARE(r.code, 0);
            const QString a = rule[0] == "rename" ? "/a (3).wav\t" : "/a.wav\t";
            const QString bName = rule[0] == "rename" ? "/b (2).wav\t" : "/b.wav\t";
            QCOMPARE(r.lines(), QStringList({a1 + "\t" + out + a + rule[1], b + "\t" + out + bName + rule[2]}));
        }
        r = run(QStringList(convert) << "--existing" << "rename" << b);
        QCOMPARE(r.code, 0);
        QVERIFY(QFileInfo(out + "/b (2).wav").isFile());
        // Without a terminal and without --existing, a kept output is a skip nobody chose.
        r = run(QStringList(convert) << b);
        QCOMPARE(r.code, 1);
        // Files named one by one: the playlist is Sondrel.m3u8, in the order named.
        r = run(QStringList(convert) << "--existing" << "skip" << "--playlist" << b << a1);
        QCOMPARE(r.code, 0);
        QVERIFY2(r.err.contains("playlist: " + out + "/Sondrel.m3u8\n"), qPrintable(r.err));
        QCOMPARE(QString::fromUtf8(bytes(out + "/Sondrel.m3u8")), "#EXTM3U\n#EXTINF:-1,b\nb.wav\n#EXTINF:-1,a\na.wav\n");
    }

    // Two programs converting one library into one folder at once (as on two machines sharing
    // it): both end well, every output is whole, and no temporary file is left.
    void twoProgramsIntoOneFolder()
    {
        QStringList sources;
        for (int n = 1; n <= 12; ++n)
            sources << music(QString("shared/lib/CD%1/%2 song.wav").arg(n % 3).arg(n), 0.5);
        const QString out = tmp.filePath("out-shared");
        const QStringList args{"--convert", "--format", "mp3", "--jobs", "2", "--existing", "update", "--keep-folders",
                               "--out", out, tmp.filePath("shared/lib")};
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config);
        QProcess a, b;
        for (QProcess* p : {&a, &b}) {
            p->setProcessEnvironment(env);
            p->start(SONDREL_PROGRAM, args);
        }
        for (QProcess* p : {&a, &b}) {
            QVERIFY(p->waitForFinished(120000));
            QVERIFY2(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0, p->readAllStandardError().constData());
        }
        int outputs = 0;
        for (QDirIterator it(out, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            QVERIFY2(path.endsWith(" song.mp3"), qPrintable(path));
            const testaudio::ProbeResult probe = testaudio::ffprobe(path);
            QVERIFY2(probe.ok && std::abs(probe.durationSeconds - 0.5) < 0.06, qPrintable(path));
            ++outputs;
        }
        QCOMPARE(outputs, 12);
    }

    // With --copy-same-format the plan says "copy" for a file already in the output's codec
    // and "convert" for the others; without it every file is converted. A file the plan says
    // is copied keeps its packets.
    void dryRunCopies_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("actions"); // of the MP3, then the WAV
        QTest::newRow("copy same format") << QStringList({"--copy-same-format"}) << QStringList({"copy", "convert"});
        QTest::newRow("without it") << QStringList() << QStringList({"convert", "convert"});
    }
    void dryRunCopies()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, actions);
        const QString wav = music("copy/w.wav", 0.5);
        const QString mp3 = tmp.filePath("copy/m.mp3");
        int code = -1;
        if (!QFile::exists(mp3))
            testaudio::runTool("ffmpeg", {"-v", "error", "-y", "-i", wav, "-b:a", "64k", mp3}, 30000, &code);
        QVERIFY(QFile::exists(mp3));
        const QString out = tmp.filePath("out-copy");
        const QStringList convert =
            QStringList{"--convert", "--format", "mp3", "--out", out, "--existing", "overwrite"} + options;
        Result r = run(QStringList(convert) << "--dry-run" << mp3 << wav);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.lines(), QStringList({mp3 + "\t" + out + "/m.mp3\t" + actions[0],
                                         wav + "\t" + out + "/w.mp3\t" + actions[1]}));
        r = run(QStringList(convert) << mp3);
        QVERIFY2(r.code == 0, qPrintable(r.out + r.err));
        const auto packetData = [](const QString& path) {
            return testaudio::runTool("ffmpeg", {"-v", "error", "-i", path, "-map", "0:a", "-c", "copy", "-f", "hash", "-"});
        };
        QCOMPARE(packetData(out + "/m.mp3") == packetData(mp3), actions[0] == "copy");
    }

    // Asking needs someone to answer: without a terminal on standard input the command line
    // is wrong, said in one line, and nothing is read or written.
    void askWithoutATerminal_data()
    {
        QTest::addColumn<bool>("nullInput");
        QTest::newRow("input from a pipe") << false;
        QTest::newRow("input from /dev/null") << true;
    }
    void askWithoutATerminal()
    {
        QFETCH(bool, nullInput);
        const QString good = music("no-terminal/good.wav", 0.3);
        const QString out = tmp.filePath(QStringLiteral("out-no-terminal-%1").arg(nullInput));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config);
        p.setProcessEnvironment(env);
        if (nullInput)
            p.setStandardInputFile(QProcess::nullDevice());
        p.start(SONDREL_PROGRAM, {"--convert", "--format", "mp3", "--overwrite", "ask", "--out", out, good});
        QVERIFY(p.waitForStarted(10000));
        if (!nullInput) {
            p.write("y\n");
            p.closeWriteChannel();
        }
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 2);
        QCOMPARE(QString::fromLocal8Bit(p.readAllStandardError()),
                 QString("sondrel: asking about existing outputs needs a terminal to answer on\n"));
        QVERIFY(p.readAllStandardOutput().isEmpty());
        QVERIFY(!QFileInfo::exists(out));
    }

    // On a terminal the question takes one key, without Enter; the terminal is given its line
    // mode and echo back however the question ends, Ctrl+C included.
    void askOnATerminal_data()
    {
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("y replaces") << QByteArray("y") << 0 << true;
        QTest::newRow("a replaces all") << QByteArray("a") << 0 << true;
        // Kept by the user's answer: no failure.
        QTest::newRow("n keeps") << QByteArray("n") << 0 << false;
        QTest::newRow("s skips all") << QByteArray("s") << 0 << false;
        QTest::newRow("Enter alone keeps") << QByteArray("\r") << 0 << false;
        QTest::newRow("Ctrl+C stops") << QByteArray("\x03") << 130 << false;
    }
    void askOnATerminal()
    {
        QFETCH(QByteArray, keys);
        QFETCH(int, status);
        QFETCH(bool, replaced);
        const QString good = music("terminal/good.wav", 0.3);
        const QString out = tmp.filePath("out-terminal");
        QDir().mkpath(out);
        writeBytes(out + "/good.mp3", "mine");
        const TerminalResult r =
            runOnTerminal({"--convert", "--format", "mp3", "--overwrite", "ask", "--out", out, good}, keys);
        QVERIFY2(r.screen.contains("File has existed. Overwrite?"), r.screen.constData());
        QVERIFY2(r.status == status, r.screen.constData());
        QCOMPARE(bytes(out + "/good.mp3") != QByteArray("mine"), replaced);
        QVERIFY(tempFiles(out).isEmpty());
        QVERIFY(r.lineModeAfter);
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
        QCOMPARE(app.w().list->text(0, rows::Status), QString("finish"));
        const QByteArray window = bytes(windowOut + "/song.mp3");
        QVERIFY(window.size() > 1000);
        QCOMPARE(bytes(cliOut + "/song.mp3"), window);
        app.stop();
    }

    // Ctrl+C, SIGTERM and SIGHUP mid-file give the file up: the earlier output it would have
    // replaced stays byte for byte, no temporary file is left, the line and the summary say
    // "stopped", and the exit status is what a shell expects after that signal.
    void signalsStopMidFileCleanly_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("status");
        QTest::newRow("SIGINT") << int(SIGINT) << 130;
        QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
        QTest::newRow("SIGHUP") << int(SIGHUP) << 129;
    }
    void signalsStopMidFileCleanly()
    {
        QFETCH(int, signal);
        QFETCH(int, status);
        const QString src = music("signals/long.wav", 90);
        const QString out = tmp.filePath(QString("out-signal-%1").arg(signal));
        QDir().mkpath(out);
        writeBytes(out + "/long.mp3", "the earlier output");
        const auto p = start({"--convert", "--format", "mp3", "--overwrite", "yes", "--out", out, src});
        QVERIFY(p->waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!tempFiles(out).isEmpty() && QFileInfo(out + "/" + tempFiles(out).first()).size() > 64 * 1024,
                                 60000);
        QCOMPARE(::kill(pid_t(p->processId()), signal), 0);
        QVERIFY(p->waitForFinished(60000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), status);
        const QString stdOut = QString::fromLocal8Bit(p->readAllStandardOutput());
        const QString stdErr = QString::fromLocal8Bit(p->readAllStandardError());
        QVERIFY2(stdOut.startsWith(src + "\tstopped"), qPrintable(stdOut));
        QVERIFY2(stdErr.contains("0 converted, 0 failed, 0 skipped, 0 up to date, 1 stopped"), qPrintable(stdErr));
        QCOMPARE(bytes(out + "/long.mp3"), QByteArray("the earlier output"));
        QCOMPARE(tempFiles(out), QStringList());
    }

    // Output read by a program that stops reading, as `| head -1` does: the run ends as a
    // stop does (the file in work given up, nothing left behind) with exit status 141, and
    // the program is not killed by SIGPIPE.
    void aClosedOutputEndsTheRun()
    {
        const QString a = music("pipe/a.wav", 0.3), b = music("pipe/b.wav", 90), c = music("pipe/c.wav", 3);
        const QString out = tmp.filePath("out-pipe");
        QDir().mkpath(out);
        writeBytes(out + "/b.mp3", "the earlier output");
        const RawResult r = spawn({"--convert", "--format", "mp3", "--jobs", "2", "--overwrite", "yes", "--out", QFile::encodeName(out),
                                   QFile::encodeName(a), QFile::encodeName(b), QFile::encodeName(c)},
                                  1);
        QVERIFY2(r.exited, "killed by a signal");
        QCOMPARE(r.status, 141);
        QVERIFY(r.out.startsWith(QFile::encodeName(a) + "\tconverted"));
        QVERIFY2(r.err.contains("2 converted, 0 failed, 0 skipped, 0 up to date, 1 stopped\n"), r.err.constData());
        QCOMPARE(bytes(out + "/b.mp3"), QByteArray("the earlier output"));
        QCOMPARE(tempFiles(out), QStringList());
    }

    // A disk that fills up while the tags are written (a FLAC with a 1.6 MB cover to MP3):
    // the file fails with the system's reason and the good earlier output stays as it was.
    void aFullDiskAtTheTagStep()
    {
        const QString wav = music("full/song.wav", 0.5);
        const QString flac = tmp.filePath("full/song.flac");
        int code = -1;
        testaudio::runTool("ffmpeg", {"-v", "error", "-y", "-i", wav, flac}, 30000, &code);
        QCOMPARE(code, 0);
        QVERIFY(QFile::remove(wav));
        QByteArray cover("\xFF\xD8\xFF\xE0", 4);
        cover.append(QByteArray(1600 * 1024, '\x5a'));
        writeBytes(tmp.filePath("full/cover.jpg"), cover);
        const QString earlier = tmp.filePath("out-full-earlier");
        QCOMPARE(run({"--convert", "--format", "mp3", "--out", earlier, music("plain/song.wav", 0.5)}).code, 0);
        const QByteArray good = bytes(earlier + "/song.mp3");
        QVERIFY(good.size() > 1000);

        SmallDisk disk(tmp.filePath("out-full"), 600 * 1024);
        writeBytes(disk.folder() + "/song.mp3", good);
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.insert("XDG_CONFIG_HOME", config);
        p->setProcessEnvironment(env);
        disk.limit(*p);
        p->start(SONDREL_PROGRAM, {"--convert", "--format", "mp3", "--overwrite", "yes", "--out", disk.folder(), flac});
        QVERIFY(p->waitForFinished(60000));
        QCOMPARE(p->exitCode(), 1);
        const QString line = QString::fromLocal8Bit(p->readAllStandardOutput());
        QVERIFY2(line.startsWith(flac + "\tfailed: ") && line.contains(disk.fullText()), qPrintable(line));
        QCOMPARE(bytes(disk.folder() + "/song.mp3"), good);
        QCOMPARE(tempFiles(disk.folder()), QStringList());
    }

    // A file whose name is no valid UTF-8 gets the reason the window gives, named alone or
    // found in a folder; a folder without audio files says so; both make the status 1.
    void namesThatAreNoTextAndFoldersWithoutAudio()
    {
        const QString folder = tmp.filePath("raw");
        const QString good = music("raw/good.wav", 0.2);
        const QByteArray badName = QFile::encodeName(folder) + "/bad\xff.wav";
        QVERIFY(QFile::copy(good, tmp.filePath("good-copy.wav")));
        QCOMPARE(::rename(QFile::encodeName(tmp.filePath("good-copy.wav")).constData(), badName.constData()), 0);
        const QByteArray out = QFile::encodeName(tmp.filePath("out-raw"));
        for (const QByteArray& named : {QFile::encodeName(folder), badName}) {
            const RawResult r = spawn({"--convert", "--format", "wav", "--out", out, named});
            QVERIFY(r.exited);
            QCOMPARE(r.status, 1);
            QVERIFY2(r.out.contains("\tfailed: the name is not valid UTF-8 text"), r.out.constData());
        }
        const QString empty = tmp.filePath("no-audio");
        QDir().mkpath(empty);
        writeBytes(empty + "/notes.txt", "not audio");
        const Result r = run({"--convert", "--format", "wav", "--out", tmp.filePath("out-none"), empty, good});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(empty + ": no audio files"), qPrintable(r.err));
        QVERIFY(r.out.contains(good + "\tconverted"));
    }
};

QTEST_MAIN(TestCommandLine)
#include "test_command_line.moc"
