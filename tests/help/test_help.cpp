// The help: every link in the pages, the table of contents and the index leads somewhere
// real, the project compiles every page, and the compiled file sits where Help > Content
// and F1 look for it, holding every page.
#include "MainWindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

using namespace sondrel;

namespace {

QString sourceDir() { return QStringLiteral(SONDREL_HELP_SOURCE_DIR); }

QString readText(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

QStringList pages()
{
    return QDir(sourceDir()).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
}

QStringList matches(const QString& text, const QString& pattern)
{
    QStringList out;
    const QRegularExpression re(pattern, QRegularExpression::CaseInsensitiveOption);
    for (auto it = re.globalMatch(text); it.hasNext();)
        out << it.next().captured(1);
    return out;
}

} // namespace

class TestHelp : public QObject {
    Q_OBJECT
private slots:
    // The welcome page names every format read or written, by the name users know it by.
    void welcomeNamesEveryFormat_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : {"MP3", "WAV", "WMA", "OGG", "FLAC", "Opus", "M4A", "AAC", "Ogg FLAC", "ALAC", "AIFF",
                                 "WavPack", "Monkey's Audio", "Matroska", "WebM", "MP2", "AC-3"})
            QTest::newRow(name) << QString::fromUtf8(name);
    }
    void welcomeNamesEveryFormat()
    {
        QFETCH(QString, name);
        QString text = readText(sourceDir() + QStringLiteral("/index.html"));
        QVERIFY(!text.isEmpty());
        // The first paragraph, as read: without its markup, its lines joined.
        text = text.section(QStringLiteral("<p>"), 1, 1).section(QStringLiteral("</p>"), 0, 0);
        text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
        text = text.simplified();
        QVERIFY2(text.contains(name), qPrintable(text));
    }

    void everyLinkLeadsToAPageAndAnchor()
    {
        QMap<QString, QSet<QString>> anchors;
        for (const QString& page : pages()) {
            const QStringList names = matches(readText(sourceDir() + '/' + page), "<a\\s+name=\"([^\"]+)\"");
            anchors[page] = QSet<QString>(names.begin(), names.end());
        }
        QVERIFY2(anchors.size() >= 10, "the help has fewer pages than its topics");

        QStringList files = pages();
        files << QStringLiteral("sondrel.hhc") << QStringLiteral("sondrel.hhk");
        QStringList broken;
        int links = 0;
        for (const QString& file : files) {
            const QString text = readText(sourceDir() + '/' + file);
            QVERIFY2(!text.isEmpty(), qPrintable(file + " is empty or missing"));
            const QStringList targets = matches(text, "href=\"([^\"]+)\"")
                                        + matches(text, "name=\"Local\"\\s+value=\"([^\"]+)\"");
            for (const QString& target : targets) {
                if (target.startsWith(QLatin1String("http")) || target.startsWith(QLatin1String("mailto:")))
                    continue;
                ++links;
                const QString page = target.section('#', 0, 0).isEmpty() ? file : target.section('#', 0, 0);
                const QString anchor = target.section('#', 1);
                if (!QFileInfo::exists(sourceDir() + '/' + page))
                    broken << file + " -> " + target;
                else if (!anchor.isEmpty() && !anchors.value(page).contains(anchor))
                    broken << file + " -> " + target + " (no such anchor)";
            }
        }
        QVERIFY(links > 100);
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join('\n')));
    }

    void everyPageIsInTheProjectAndTheContents()
    {
        const QString project = readText(sourceDir() + QStringLiteral("/sondrel.hhp"));
        const QString files = project.section(QStringLiteral("[FILES]"), 1);
        const QString contents = readText(sourceDir() + QStringLiteral("/sondrel.hhc"));
        for (const QString& page : pages()) {
            QVERIFY2(files.contains(QRegularExpression("(^|\\n)" + QRegularExpression::escape(page) + "\\s*(\\n|$)")),
                     qPrintable(page + " is not in the [FILES] of sondrel.hhp"));
            QVERIFY2(contents.contains("value=\"" + page + "\""),
                     qPrintable(page + " is not in the table of contents"));
        }
        QVERIFY(project.contains(QLatin1String("Compiled file=sondrel.chm")));
        QVERIFY(project.contains(QLatin1String("Default topic=index.html")));
    }

    // The pages describe the program to its users: no leftovers of the sources they were
    // written from, and nothing but plain ASCII (the help file declares no code page).
    void pagesArePlainUserText()
    {
        for (const QString& page : pages()) {
            const QByteArray bytes = [&] {
                QFile f(sourceDir() + '/' + page);
                return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            }();
            for (char c : bytes)
                QVERIFY2(static_cast<unsigned char>(c) < 0x80, qPrintable(page + " holds a non-ASCII byte"));
            const QString text = QString::fromLatin1(bytes);
            for (const char* word : {"TODO", "Tfm_", "flag_", "lorem"})
                QVERIFY2(!text.contains(QLatin1String(word), Qt::CaseInsensitive),
                         qPrintable(page + " contains \"" + word + "\""));
            QVERIFY2(text.contains(QLatin1String("<title>")), qPrintable(page + " has no title"));
        }
    }

    // The file the program opens for Help > Content and F1 exists beside the executable and
    // is a compiled help file with every page, the contents and the index in it.
    void compiledFileIsWhereTheProgramLooks()
    {
        const QString path = Tfm_main::helpFilePath();
        QFile chm(path);
        QVERIFY2(chm.open(QIODevice::ReadOnly), qPrintable(path + " cannot be opened"));
        const QByteArray data = chm.readAll();
        QVERIFY2(data.startsWith("ITSF"), "the help file is not a compiled HTML help file");
        // The file's directory names every stored file in plain text.
        QStringList stored = pages();
        stored << QStringLiteral("sondrel.hhc") << QStringLiteral("sondrel.hhk") << QStringLiteral("style.css");
        for (const QString& name : stored)
            QVERIFY2(data.contains(("/" + name).toLatin1()), qPrintable(name + " is not in the help file"));
        // The build keeps it in step with its sources.
        for (const QString& page : pages())
            QVERIFY2(QFileInfo(sourceDir() + '/' + page).lastModified() <= QFileInfo(path).lastModified(),
                     qPrintable(page + " is newer than the help file"));
    }
};

QTEST_GUILESS_MAIN(TestHelp)
#include "test_help.moc"
