#include "NamePattern.h"
#include "TargetPath.h"

#include <QTest>
#include <utility>

using namespace sondrel;

Q_DECLARE_METATYPE(NameValues)
using V = NameValues;

// Output names made from patterns: fields, alternatives, padding, folders, and names that
// every file system takes; patterns that are no patterns say why.
class TestNamePattern : public QObject {
    Q_OBJECT

    // Values with the given members set.
    static NameValues with(std::initializer_list<std::pair<QString NameValues::*, QString>> members)
    {
        NameValues values;
        for (const auto& [member, value] : members)
            values.*member = value;
        return values;
    }
    static NameValues full()
    {
        return with({{&V::name, "01 intro"}, {&V::title, "Title"}, {&V::artist, "Artist"}, {&V::album, "Album"},
                     {&V::track, "3/12"}, {&V::year, "1999"}, {&V::folder, "Disc 1"}, {&V::format, "MP3"}});
    }
    static NameValues titled(const QString& title) { return with({{&V::title, title}}); }

private slots:
    void expands_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<NameValues>("values");
        QTest::addColumn<bool>("portable");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& pattern, const NameValues& values, bool portable,
                            const QString& expected) {
            QTest::newRow(name) << pattern << values << portable << expected;
        };
        const QString tagged = QStringLiteral("{artist}/{album}/{track:02} {title}");
        const QString ascii300(300, u'x');
        const QString twoByte300(150, QChar(0xE9));          // é
        const QString threeByte300(100, QChar(0x65E5));      // 日
        const QString fourByte300 = QString::fromUtf8("\xF0\x9F\x8E\xB5").repeated(75); // 🎵

        row("fields and folders", tagged, full(), false, "Artist/Album/03 Title.mp3");
        row("no tags", tagged, {}, false, "Unknown Artist/Unknown Album/00 Unknown Title.mp3");
        row("spaces only are empty", "{artist}", with({{&V::artist, "   "}}), false, "Unknown Artist.mp3");
        row("name, folder and format", "{format}/{folder}/{name}", full(), false, "MP3/Disc 1/01 intro.mp3");
        row("field names in any case", "{ARTIST} - {Title}", full(), false, "Artist - Title.mp3");
        row("literal text", "Music ({year}) {title}!", full(), false, "Music (1999) Title!.mp3");
        row("second alternative", "{ albumartist | artist }", full(), false, "Artist.mp3");
        row("first alternative wins", "{albumartist|artist}", with({{&V::artist, "A"}, {&V::albumArtist, "B"}}), false,
            "B.mp3");
        row("all alternatives empty", "{albumartist|artist}", {}, false, "Unknown Album Artist.mp3");
        row("quoted alternative", "{genre|\"Misc | Other\"}", {}, false, "Misc | Other.mp3");
        row("empty quote is nothing", "{artist|\"\"}{title}", full(), false, "ArtistTitle.mp3");
        row("empty quote taken", "{composer|\"\"}{title}", full(), false, "Title.mp3");
        row("padded numbers", "{disc:1}-{track:03} of {tracktotal:2}",
            with({{&V::track, "7"}, {&V::trackTotal, "012"}, {&V::disc, "2/2"}}), false, "2-007 of 12.mp3");
        row("number wider than padding", "{track:02}", with({{&V::track, "123"}}), false, "123.mp3");
        row("date gives its year", "{year}", with({{&V::year, "2001-05-03"}}), false, "2001.mp3");
        row("number 0 is empty", "{track:02}", with({{&V::track, "0"}}), false, "00.mp3");
        row("text in a number field", "{track:02}", with({{&V::track, "A1"}}), false, "A1.mp3");
        row("empty unpadded number", "{year}/{title}", {}, false, "_/Unknown Title.mp3");
        row("number falls back", "{disc|\"1\"}-{track:02}", with({{&V::track, "5"}}), false, "1-05.mp3");
        row("slash in a value", tagged, with({{&V::title, "T"}, {&V::artist, "AC/DC"}, {&V::album, "a/b/"}}), false,
            "AC-DC/a-b-/00 T.mp3");
        row("slash in a quoted text", "{artist|\"x/y\"}", {}, false, "x-y.mp3");
        row("NUL in a value", "{title}", titled(QStringLiteral("a") + QChar(0) + "b"), false, "a-b.mp3");
        row("Windows characters kept", "{title}", titled("What? Now: \"yes\" <a|b> *\\"), false,
            "What? Now: \"yes\" <a|b> *\\.mp3");
        row("Windows characters portable", "{title}", titled("What? Now: \"yes\" <a|b> *\\"), true,
            "What- Now- -yes- -a-b- --.mp3");
        row("control characters kept", "{title}", titled("a\tb\x01" "c\x7F"), false, "a\tb\x01" "c\x7F.mp3");
        row("control characters portable", "{title}", titled("a\tb\x01" "c\x7F" "d"), true, "a-b-c-d.mp3");
        row("literal colon portable", "{artist}: {title}", full(), true, "Artist- Title.mp3");
        row("300-byte title", "{title}", titled(ascii300), false, QString(251, u'x') + ".mp3");
        row("300-byte two-byte title", "{title}", titled(twoByte300), false, QString(125, QChar(0xE9)) + ".mp3");
        row("300-byte three-byte title", "{title}", titled(threeByte300), false, QString(83, QChar(0x65E5)) + ".mp3");
        row("300-byte four-byte title", "{title}", titled(fourByte300), true, fourByte300.left(124) + ".mp3");
        row("300-byte folder", "{artist}/{title}", with({{&V::title, "t"}, {&V::artist, ascii300}}), false,
            QString(255, u'x') + "/t.mp3");
        row("cut leaves a space", "{title}", titled(QString(250, u'x') + "  yz"), false,
            QString(250, u'x') + ".mp3");
        row("Unicode kept", "{artist}/{album}/{title}",
            with({{&V::title, "日本語 🎵"}, {&V::artist, "Björk"}, {&V::album, "Homogénic"}}), true,
            "Björk/Homogénic/日本語 🎵.mp3");
        row("device name portable", "{title}", titled("con"), true, "con_.mp3");
        row("device name native", "{title}", titled("CON"), false, "CON.mp3");
        row("device name any case", "{artist}/{title}", with({{&V::title, "nul"}, {&V::artist, "Lpt1"}}), true,
            "Lpt1_/nul_.mp3");
        row("device name with a dot", "{title}", titled("aux.live"), true, "aux_.live.mp3");
        row("device name and space", "{title}", titled("Com9 .x"), true, "Com9_ .x.mp3");
        row("not a device name", "{artist}/{title}", with({{&V::title, "com10"}, {&V::artist, "console"}}), true,
            "console/com10.mp3");
        row("leading dots", "{artist}/{title}", with({{&V::title, "...hidden"}, {&V::artist, ".."}}), false,
            "_/hidden.mp3");
        row("pattern cannot climb out", "../{title}", full(), false, "_/Title.mp3");
        row("only dots", "./{title}", titled("..."), true, "_/_.mp3");
        row("trailing spaces", "{artist}  /{title} ", full(), false, "Artist/Title.mp3");
        row("trailing dots native", "{artist}./{title}...", full(), false, "Artist./Title....mp3");
        row("trailing dots portable", "{artist}. ./{title}...", full(), true, "Artist/Title.mp3");
    }
    void expands()
    {
        QFETCH(QString, pattern);
        QFETCH(NameValues, values);
        QFETCH(bool, portable);
        QFETCH(QString, expected);
        const NamePattern compiled(pattern);
        QVERIFY2(compiled.isValid(), qPrintable(compiled.error()));
        const QString path = compiled.expand(values, QStringLiteral(".mp3"), portable ? NameRules::Portable : NameRules::Native);
        QCOMPARE(path, expected);
        for (const QString& component : path.split(u'/')) {
            QVERIFY(!component.isEmpty() && component != "." && component != "..");
            QVERIFY(component.toUtf8().size() <= MaxNameBytes);
        }
    }

    void refuses_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << "  " << "The pattern is empty.";
        QTest::newRow("open brace") << "x {artist" << "The \"{\" at character 3 is not closed.";
        QTest::newRow("close brace") << "artist}" << "A \"}\" without its \"{\" at character 7.";
        QTest::newRow("nested") << "{art{ist}}" << "A \"{\" inside braces at character 5.";
        QTest::newRow("open quote") << "{artist|\"x}" << "The quote at character 9 is not closed.";
        QTest::newRow("after quote") << "{\"x\" y}" << "Only \"|\" or \"}\" may follow the quoted text at character 2.";
        QTest::newRow("unknown field") << "{artist}/{  foo}" << "Unknown field \"foo\" at character 13";
        QTest::newRow("empty braces") << "{}" << "An empty field in braces at character 2.";
        QTest::newRow("empty alternative") << "{artist| |title}" << "An empty field in braces at character 10.";
        QTest::newRow("padded text") << "{title:02}" << "Only numbers can be padded: \"title\" at character 2.";
        QTest::newRow("no width") << "{track:}" << "The width after \"track:\" at character 2 must be a number from 1 to 10.";
        QTest::newRow("width text") << "{track:x}" << "must be a number from 1 to 10";
        QTest::newRow("width 0") << "{track:0}" << "must be a number from 1 to 10";
        QTest::newRow("width 11") << "{track:11}" << "must be a number from 1 to 10";
        QTest::newRow("width sign") << "{track:-2}" << "must be a number from 1 to 10";
        QTest::newRow("leading slash") << "/{title}" << "The pattern starts with \"/\"";
        QTest::newRow("empty folder") << "{artist}//{title}" << "An empty folder name at character 10.";
        QTest::newRow("trailing slash") << "{artist}/" << "The pattern ends with \"/\"";
    }
    void refuses()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, message);
        const NamePattern compiled(pattern);
        QVERIFY(!compiled.isValid());
        QVERIFY2(compiled.error().contains(message), qPrintable(compiled.error()));
        QCOMPARE(compiled.expand(NameValues{}, QStringLiteral(".mp3"), NameRules::Native), QString());
    }

    // A pattern is compiled once and expanded for every row of a long list.
    // One compiled pattern serves every row: nothing of one expansion stays for the next.
    void oneCompiledPatternServesManyRows()
    {
        const NamePattern compiled(QStringLiteral("{albumartist|artist}/{year} - {album}/{disc:1}-{track:02} {title}"));
        QVERIFY(compiled.isValid());
        NameValues values = full();
        for (int i = 1; i <= 1000; ++i) {
            values.track = QString::number(i);
            const QString path = compiled.expand(values, QStringLiteral(".ogg"), NameRules::Portable);
            QVERIFY2(path.contains(QStringLiteral("-%1 ").arg(i, 2, 10, QLatin1Char('0'))), qPrintable(path));
        }
    }
};

QTEST_GUILESS_MAIN(TestNamePattern)
#include "test_name_pattern.moc"
