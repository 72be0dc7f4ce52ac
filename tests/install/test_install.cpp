// The install: `cmake --install` into a fresh prefix (with a blank and a % in its name)
// gives the program folder with the same layout as the build's bin folder, a link in bin
// that leads to it, a valid menu entry and the icon at every size.
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "InputFormats.h"

#include <cstdio>
#include <unistd.h>

namespace {

const QString BuildDir = QStringLiteral(SONDREL_BUILD_DIR);
const QString BuildBin = QStringLiteral(SONDREL_BUILD_BIN_DIR);
const QString AppDir = QStringLiteral(SONDREL_INSTALL_APP_DIR);

QByteArray digest(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

struct Run {
    int exitCode = -1;
    QString output;
};

Run run(const QString& program, const QStringList& args, int timeoutMs = 120000)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    Run r;
    if (!p.waitForStarted(10000))
        return r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        r.output = QStringLiteral("timed out");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.output = QString::fromLocal8Bit(p.readAll());
    return r;
}

// What a symbolic link holds, as written (QFileInfo only gives the resolved path).
QString rawLinkTarget(const QString& path)
{
    char buf[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buf, sizeof buf - 1);
    return n > 0 ? QFile::decodeName(QByteArray(buf, int(n))) : QString();
}

// A value of the [Desktop Entry] group, with the format's string escapes undone.
QString desktopValue(const QString& text, const QString& key)
{
    bool inGroup = false;
    for (const QString& line : text.split('\n')) {
        if (line.startsWith('['))
            inGroup = line.trimmed() == QLatin1String("[Desktop Entry]");
        else if (inGroup && line.section('=', 0, 0).trimmed() == key) {
            QString v = line.section('=', 1).trimmed(), out;
            for (int i = 0; i < v.size(); ++i) {
                if (v[i] == '\\' && i + 1 < v.size()) {
                    const QChar n = v[++i];
                    out += n == 's' ? QChar(' ') : n == 'n' ? QChar('\n') : n == 't' ? QChar('\t') : n;
                } else {
                    out += v[i];
                }
            }
            return out;
        }
    }
    return {};
}

// The arguments of an Exec value: separated by blanks, quoted or not, with %% for % and
// field codes (%F) kept as they are.
QStringList execArguments(const QString& exec)
{
    QStringList args;
    QString arg;
    bool inArg = false, quoted = false;
    for (int i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') {
            arg += '%';
            ++i;
            inArg = true;
        } else if (quoted) {
            if (c == '"')
                quoted = false;
            else
                arg += (c == '\\' && i + 1 < exec.size()) ? exec[++i] : c;
        } else if (c == '"') {
            quoted = inArg = true;
        } else if (c == ' ') {
            if (inArg)
                args << arg;
            arg.clear();
            inArg = false;
        } else {
            arg += c;
            inArg = true;
        }
    }
    if (inArg)
        args << arg;
    return args;
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    QString m_prefix;

    QString installed(const QString& rel) const { return m_prefix + '/' + rel; }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        m_prefix = m_tmp.path() + QStringLiteral("/a prefix 100%");
        const Run r = run(QStringLiteral(SONDREL_CMAKE_COMMAND),
                          {QStringLiteral("--install"), BuildDir, QStringLiteral("--prefix"), m_prefix});
        QVERIFY2(r.exitCode == 0, qPrintable(r.output));
    }

    void programFolderHasTheBuildLayout()
    {
        const QFileInfo exe(installed(AppDir + "/sondrel"));
        QVERIFY2(exe.isFile() && exe.isExecutable(), qPrintable(exe.filePath()));
        QVERIFY(!exe.isSymLink());
        // Help and skin are beside the program exactly as in the build's bin folder.
        for (const QString& file : {QStringLiteral("help/sondrel.chm"), QStringLiteral("sondrel.dll")}) {
            const bool built = QFileInfo::exists(BuildBin + '/' + file);
            QVERIFY2(QFileInfo::exists(installed(AppDir + '/' + file)) == built, qPrintable(file));
            if (built)
                QVERIFY2(digest(installed(AppDir + '/' + file)) == digest(BuildBin + '/' + file), qPrintable(file));
        }
        QVERIFY2(QFileInfo::exists(BuildBin + "/help/sondrel.chm") || !SONDREL_WITH_HELP,
                 "the help file was not built");
        // Nothing of the build's own (test programs, tools) comes along.
        const QStringList entries = QDir(installed(AppDir)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        for (const QString& e : entries)
            QVERIFY2(QStringList({"sondrel", "sondrel.dll", "help"}).contains(e), qPrintable("stray " + e));
    }

    void binLinkLeadsToTheProgramFolder()
    {
        const QFileInfo link(installed(QStringLiteral("bin/sondrel")));
        QVERIFY(link.isSymLink());
        // Relative, so the prefix can be moved or staged with DESTDIR.
        const QString target = rawLinkTarget(link.filePath());
        QVERIFY2(!target.isEmpty() && QDir::isRelativePath(target), qPrintable(target));
        QCOMPARE(link.canonicalFilePath(), QFileInfo(installed(AppDir + "/sondrel")).canonicalFilePath());
        // What the program looks for beside itself is there at the end of the link.
        const QString folder = QFileInfo(link.canonicalFilePath()).path();
        QCOMPARE(folder, QFileInfo(installed(AppDir)).canonicalFilePath());
        if (SONDREL_WITH_HELP)
            QVERIFY(QFileInfo::exists(folder + "/help/sondrel.chm"));
    }

    // The program finds its skin and help through applicationDirPath(), which follows a link
    // to the real executable: a link to this test program reports the real program's folder.
    void applicationDirPathFollowsTheLink()
    {
        const QString linkDir = m_tmp.path() + QStringLiteral("/elsewhere");
        QVERIFY(QDir().mkpath(linkDir));
        const QString link = linkDir + QStringLiteral("/probe");
        QVERIFY(QFile::link(QCoreApplication::applicationFilePath(), link));
        const Run r = run(link, {QStringLiteral("--print-application-dir")}, 30000);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.output.trimmed(), QCoreApplication::applicationDirPath());
    }

    void menuEntryStartsTheInstalledProgram()
    {
        const QString path = installed(QStringLiteral("share/applications/sondrel.desktop"));
        QFile f(path);
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(path));
        const QString text = QString::fromUtf8(f.readAll());
        QCOMPARE(desktopValue(text, "Type"), QStringLiteral("Application"));
        QCOMPARE(desktopValue(text, "Name"), QStringLiteral("Sondrel"));
        QCOMPARE(desktopValue(text, "Icon"), QStringLiteral("sondrel"));
        QVERIFY(desktopValue(text, "Categories").split(';').contains(QStringLiteral("AudioVideo")));
        QVERIFY(desktopValue(text, "Categories").split(';').contains(QStringLiteral("Audio")));
        // The prefix holds a blank and a %: Exec quotes and escapes the path, and it names
        // the installed link, which leads to the program; the files opened with it follow
        // as its arguments.
        const QStringList exec = execArguments(desktopValue(text, "Exec"));
        QCOMPARE(exec.size(), 2);
        const QString program = exec.at(0);
        QCOMPARE(program, installed(QStringLiteral("bin/sondrel")));
        QCOMPARE(exec.at(1), QStringLiteral("%F"));
        QCOMPARE(desktopValue(text, "TryExec"), program);
        QVERIFY(QFileInfo(program).isExecutable());
        // It offers to open every kind of file the program reads, and only those.
        const QStringList mime = desktopValue(text, "MimeType").split(';', Qt::SkipEmptyParts);
        QCOMPARE(mime, sondrel::inputMimeTypes());
        for (const char* t : {"audio/mpeg", "audio/x-wav", "audio/x-ms-wma", "audio/x-vorbis+ogg", "audio/flac",
                              "audio/x-opus+ogg", "audio/mp4"})
            QVERIFY2(mime.contains(QLatin1String(t)), t);
        // Audio, and the cue sheets that describe an album image.
        for (const QString& t : mime)
            QVERIFY2(t.startsWith(QLatin1String("audio/")) || t == QLatin1String("application/x-cue"), qPrintable(t));

        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed; the entry's keys were checked above");
        const Run r = run(validator, {path}, 30000);
        QVERIFY2(r.exitCode == 0 && r.output.trimmed().isEmpty(), qPrintable(r.output));
    }

    void iconAtEveryThemeSize()
    {
        const QString theme = installed(QStringLiteral("share/icons/hicolor"));
        const QStringList dirs = QDir(theme).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            QVERIFY2(dirs.contains(QStringLiteral("%1x%1").arg(size)), qPrintable(QString::number(size)));
        for (const QString& dir : dirs) {
            const int size = dir.section('x', 0, 0).toInt();
            const QImage icon(theme + '/' + dir + QStringLiteral("/apps/sondrel.png"));
            QVERIFY2(!icon.isNull(), qPrintable(dir));
            QCOMPARE(icon.size(), QSize(size, size));
            QVERIFY(icon.hasAlphaChannel());
            // A drawn tile: opaque in the middle, transparent in the corners.
            QCOMPARE(qAlpha(icon.pixel(size / 2, size / 2)), 255);
            QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
        }
    }

    void installingAgainReplacesTheLink()
    {
        const Run r = run(QStringLiteral(SONDREL_CMAKE_COMMAND),
                          {QStringLiteral("--install"), BuildDir, QStringLiteral("--prefix"), m_prefix});
        QVERIFY2(r.exitCode == 0, qPrintable(r.output));
        QVERIFY(QFileInfo(installed(QStringLiteral("bin/sondrel"))).isSymLink());
    }
};

int main(int argc, char** argv)
{
    // The probe of applicationDirPathFollowsTheLink.
    if (argc == 2 && qstrcmp(argv[1], "--print-application-dir") == 0) {
        QCoreApplication app(argc, argv);
        std::printf("%s\n", qPrintable(QCoreApplication::applicationDirPath()));
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestInstall test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_install.moc"
