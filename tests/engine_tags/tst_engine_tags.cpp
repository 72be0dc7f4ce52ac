// Tags through AudioInformation: what SaveToFile writes reads back through LoadFromFile and
// through ffprobe (an independent reader), on the four output formats; numeric genres
// become names; the type of a file is told by its content; damaged files never crash.
#include "AudioInformation.h"
#include "EngineError.h"
#include "FileTags.h"
#include "TestAudio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

using sondrel::AudioInformation;
using sondrel::EngineError;

namespace {

struct Tags {
    QString title, artist, album, genre, comment;
    int year = 0;
    int track = 0;
};

void put(AudioInformation& info, const Tags& t)
{
    info.infoTitle = t.title;
    info.infoArtist = t.artist;
    info.infoAlbum = t.album;
    info.infoGenreS = t.genre;
    info.infoComments = t.comment;
    info.infoYear = t.year;
    info.infoTrack = std::int16_t(t.track);
}

Tags load(const QString& path)
{
    AudioInformation info;
    // Values left over from an earlier use must not leak into the next file.
    info.infoTitle = "stale";
    info.infoYear = 1;
    info.LoadFromFile(path);
    return {info.infoTitle, info.infoArtist, info.infoAlbum, info.infoGenreS,
            info.infoComments, info.infoYear, info.infoTrack};
}

void save(const QString& path, const Tags& t)
{
    AudioInformation info;
    put(info, t);
    info.SaveToFile(path);
}

const Tags kFull{QStringLiteral("Für Elise – 日本語 ✓"), QStringLiteral("Zoë Ångström"),
                 QStringLiteral("Ωmega «Live»"), QStringLiteral("Rock"),
                 QStringLiteral("A comment: ünïcödé, 中文"), 1999, 7};

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

void be32(QByteArray& b, quint32 v)
{
    for (int s = 24; s >= 0; s -= 8)
        b.append(char((v >> s) & 0xff));
}
void syncsafe(QByteArray& b, quint32 v)
{
    for (int s = 21; s >= 0; s -= 7)
        b.append(char((v >> s) & 0x7f));
}

// An ID3v2 tag of the given version (3 or 4) with Latin-1 text frames.
QByteArray id3v2(int version, const QList<QPair<QByteArray, QByteArray>>& frames)
{
    QByteArray body;
    for (const auto& [id, text] : frames) {
        QByteArray content("\0", 1);
        content += text;
        body += id;
        if (version == 4)
            syncsafe(body, quint32(content.size()));
        else
            be32(body, quint32(content.size()));
        body += QByteArray(2, '\0');
        body += content;
    }
    QByteArray tag("ID3");
    tag.append(char(version));
    tag.append('\0');
    tag.append('\0');
    syncsafe(tag, quint32(body.size()));
    return tag + body;
}

// An ID3v1.1 tag.
QByteArray id3v1(const QByteArray& title, int track, int genre)
{
    QByteArray t("TAG");
    auto field = [&t](const QByteArray& v, int n) { t += v.left(n).leftJustified(n, '\0'); };
    field(title, 30);
    field("", 30);
    field("", 30);
    field("", 4);
    field("", 28);
    t.append('\0');
    t.append(char(track));
    t.append(char(genre));
    return t;
}

} // namespace

class TestEngineTags : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QMap<QString, QString> m_fixture; // format -> untagged file made by ffmpeg
    QByteArray m_bareMp3;             // MPEG audio frames without any tag

    QString fresh(const QString& format, const QString& name)
    {
        const QString path = m_dir.filePath(name);
        QFile::remove(path);
        if (!QFile::copy(m_fixture.value(format), path))
            return {};
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString wav = m_dir.filePath("source.wav");
        QVERIFY(testaudio::writeMusicWav(wav, 44100, 2, 1.0));
        const QMap<QString, QStringList> codecs{
            {"mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}},
            {"ogg", {"-c:a", "libvorbis", "-b:a", "128k"}},
            {"wma", {"-c:a", "wmav2", "-b:a", "128k"}},
            {"wav", {"-c:a", "pcm_s16le"}},
        };
        for (auto it = codecs.begin(); it != codecs.end(); ++it) {
            const QString out = m_dir.filePath("fixture." + it.key());
            int code = 0;
            testaudio::runTool("ffmpeg", QStringList{"-v", "error", "-y", "-i", wav} + it.value() + QStringList{out},
                               60000, &code);
            QVERIFY2(code == 0 && QFileInfo(out).size() > 0, qPrintable("ffmpeg could not make " + out));
            m_fixture.insert(it.key(), out);
        }
        const QString bare = m_dir.filePath("bare.mp3");
        int code = 0;
        testaudio::runTool("ffmpeg", {"-v", "error", "-y", "-i", wav, "-c:a", "libmp3lame", "-b:a", "128k",
                                      "-map_metadata", "-1", "-id3v2_version", "0", "-write_xing", "0", bare},
                           60000, &code);
        m_bareMp3 = readAll(bare);
        QVERIFY(code == 0 && m_bareMp3.size() > 1000);
        QVERIFY2(uchar(m_bareMp3[0]) == 0xFF, "the bare MP3 must start with a frame");
    }

    // All seven values go in and come back, on each format; an independent reader sees
    // them too. Writing "none" (empty texts, year 0, track 0) over earlier values removes
    // them.
    void writeThenRead_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("clearFirst");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("genre");
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("track");
        for (const char* f : {"mp3", "ogg", "wma", "wav"}) {
            QTest::addRow("%s utf8", f) << f << false << kFull.title << kFull.genre << kFull.year << kFull.track;
            QTest::addRow("%s none over full", f) << f << true << QString() << QString() << 0 << 0;
            QTest::addRow("%s unknown genre", f)
                << f << false << QStringLiteral("Plain") << QStringLiteral("Nu-Gaze Fusion") << 2024 << 300;
        }
    }
    void writeThenRead()
    {
        QFETCH(QString, format);
        QFETCH(bool, clearFirst);
        QFETCH(QString, title);
        QFETCH(QString, genre);
        QFETCH(int, year);
        QFETCH(int, track);
        const QString path = fresh(format, QStringLiteral("rt-%1.%2").arg(QTest::currentDataTag()).arg(format)
                                               .replace(' ', '_'));
        QVERIFY(!path.isEmpty());
        if (clearFirst)
            save(path, kFull);

        Tags want = kFull;
        want.title = title;
        want.genre = genre;
        want.year = year;
        want.track = track;
        if (clearFirst)
            want.artist = want.album = want.comment = QString();
        save(path, want);

        const Tags got = load(path);
        QCOMPARE(got.title, want.title);
        QCOMPARE(got.artist, want.artist);
        QCOMPARE(got.album, want.album);
        QCOMPARE(got.genre, want.genre);
        QCOMPARE(got.comment, want.comment);
        QCOMPARE(got.year, want.year);
        QCOMPARE(got.track, want.track);

        // ffprobe reads the file as other programs will.
        const testaudio::ProbeResult p = testaudio::ffprobe(path);
        QVERIFY2(p.ok, qPrintable(p.error));
        auto tag = [&p](const char* key) { return p.tags.value(key).toString(); };
        QCOMPARE(tag("title"), want.title);
        QCOMPARE(tag("artist"), want.artist);
        QCOMPARE(tag("album"), want.album);
        QCOMPARE(tag("genre"), want.genre);
        // FFmpeg shows WMA's year under its own name.
        const char* dateKey = format == "wma" ? "wm/year" : "date";
        if (want.year == 0) {
            QVERIFY2(!p.tags.contains(dateKey), qPrintable(tag(dateKey)));
            QVERIFY2(!p.tags.contains("track") && !p.tags.contains("tracknumber"), qPrintable(tag("track")));
        } else {
            QCOMPARE(tag(dateKey).left(4).toInt(), want.year);
            const QString t = p.tags.contains("track") ? tag("track") : tag("tracknumber");
            QCOMPARE(t.section('/', 0, 0).toInt(), want.track);
        }
    }

    // Several values of a field read as one text, joined with "; ", and stay several when that
    // text is written back over them; a changed text replaces them. WMA holds one artist: the
    // values are joined there.
    void severalValues_data()
    {
        QTest::addColumn<QString>("format");
        for (const char* f : {"mp3", "ogg", "wma", "wav"})
            QTest::newRow(f) << QString::fromLatin1(f);
    }
    void severalValues()
    {
        QFETCH(QString, format);
        const QString path = fresh(format, "several." + format);
        QVERIFY(!path.isEmpty());
        sondrel::CarriedTags carried;
        carried.fields["ARTIST"] = QStringList{"One", "Two"};
        AudioInformation values;
        values.infoArtist = "One; Two";
        sondrel::writeFileTags(path, carried, values);
        const QStringList several = format == "wma" ? QStringList{"One; Two"} : QStringList{"One", "Two"};
        QCOMPARE(sondrel::readCarriedTags(path).fields.value("ARTIST"), several);

        AudioInformation info;
        info.LoadFromFile(path);
        QCOMPARE(info.infoArtist, QString("One; Two"));
        info.infoTitle = "Now with a title";
        info.SaveToFile(path);
        QCOMPARE(sondrel::readCarriedTags(path).fields.value("ARTIST"), several);
        info.infoArtist = "Three";
        info.SaveToFile(path);
        QCOMPARE(sondrel::readCarriedTags(path).fields.value("ARTIST"), QStringList{"Three"});
    }

    // A WMA file's content description holds no empty texts (readers would show an empty
    // copyright and rating): only the title here.
    void wmaWritesNoEmptyTexts()
    {
        const QString path = fresh("wma", "no-empty.wma");
        QVERIFY(!path.isEmpty());
        save(path, Tags{"Title only", {}, {}, {}, {}, 0, 0});
        const QByteArray data = readAll(path);
        const QByteArray guid("\x33\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
        const qsizetype at = data.indexOf(guid);
        QVERIFY(at > 0 && data.size() > at + 34);
        QList<int> lengths;
        for (int i = 0; i < 5; ++i)
            lengths << (uchar(data[at + 24 + 2 * i]) | uchar(data[at + 25 + 2 * i]) << 8);
        QCOMPARE(lengths, QList<int>({22, 0, 0, 0, 0})); // "Title only", UTF-16 with its NUL
        QCOMPARE(load(path).title, QString("Title only"));
        QVERIFY(testaudio::ffprobe(path).ok);
    }

    // Values a format cannot hold never cost the file: they are left out or shortened, the
    // notes say which, and what was written reads back. Everything else is written as given.
    void valuesBeyondAFormat_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("album");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<int>("year");
        QTest::addColumn<QString>("wantTitle");
        QTest::addColumn<QString>("wantComment");
        QTest::addColumn<int>("wantYear");
        QTest::addColumn<QStringList>("notes");
        const QString t = "Title", c = "Comment";
        const QString lyrics = QString("la ").repeated(13334).left(40000);
        const QString huge = QString("0123456789abcdef").repeated(65536); // 1 Mi characters
        QTest::newRow("mp3 year 12345") << "mp3" << t << "" << c << 12345 << t << c << 0
                                        << QStringList{"year 12345 not written: MP3 tags hold four digits"};
        QTest::newRow("wav year max") << "wav" << t << "" << c << 2147483647 << t << c << 0
                                      << QStringList{"year 2147483647 not written: WAV tags hold four digits"};
        QTest::newRow("mp3 year 999") << "mp3" << t << "" << c << 999 << t << c << 999 << QStringList();
        QTest::newRow("wav year 9999") << "wav" << t << "" << c << 9999 << t << c << 9999 << QStringList();
        QTest::newRow("ogg year max") << "ogg" << t << "" << c << 2147483647 << t << c << 2147483647 << QStringList();
        QTest::newRow("wma year 12345") << "wma" << t << "" << c << 12345 << t << c << 12345 << QStringList();
        QTest::newRow("ogg negative year") << "ogg" << t << "" << c << -5 << t << c << 0
                                           << QStringList{"year -5 not written: a year cannot be negative"};
        QTest::newRow("wma lyrics and huge title")
            << "wma" << huge << lyrics << lyrics << 2001 << huge.left(32766) << lyrics.left(32766) << 2001
            << QStringList{"title shortened to 32766 characters: WMA tags hold no more",
                           "comment shortened to 32766 characters: WMA tags hold no more"};
        // The cut never splits a character outside the Basic Multilingual Plane.
        const QString faces = "a" + QString::fromUtf8("\U0001F600").repeated(20000);
        QTest::newRow("wma cut between pairs")
            << "wma" << faces << "" << c << 0 << faces.left(32765) << c << 0
            << QStringList{"title shortened to 32765 characters: WMA tags hold no more"};
        for (const char* f : {"mp3", "ogg", "wav"})
            QTest::addRow("%s lyrics and huge title", f) << f << huge << lyrics << lyrics << 2001 << huge << lyrics
                                                          << 2001 << QStringList();
        // A text ends at a NUL character, as TagLib writes it.
        QTest::newRow("mp3 nul in title") << "mp3" << QString("ab") + QChar(0) + "cd" << "" << c << 0 << "ab" << c
                                          << 0 << QStringList();
    }
    void valuesBeyondAFormat()
    {
        QFETCH(QString, format);
        QFETCH(QString, title);
        QFETCH(QString, album);
        QFETCH(QString, comment);
        QFETCH(int, year);
        QFETCH(QString, wantTitle);
        QFETCH(QString, wantComment);
        QFETCH(int, wantYear);
        QFETCH(QStringList, notes);
        const QString path = fresh(format, QStringLiteral("fit.%1").arg(format));
        AudioInformation info;
        put(info, {title, "Artist", album, "Rock", comment, year, 3});
        QStringList got;
        try {
            got = info.SaveToFile(path);
        } catch (const EngineError& e) {
            QFAIL(e.what());
        }
        QCOMPARE(got, notes);
        const Tags back = load(path);
        QCOMPARE(back.title.size(), wantTitle.size());
        QVERIFY(back.title == wantTitle);
        QVERIFY(back.album == album);
        QVERIFY(back.comment == wantComment);
        QCOMPARE(back.year, wantYear);
        QCOMPARE(back.track, 3);
        const testaudio::ProbeResult p = testaudio::ffprobe(path);
        QVERIFY2(p.ok, qPrintable(p.error));
        if (wantYear > 0 && wantYear < 10000)
            QCOMPARE(p.tags.value(format == "wma" ? "wm/year" : "date").toString().left(4).toInt(), wantYear);
    }

    // The on-disk form: MP3 as ID3v2.3 plus ID3v1 (genre as its number, 255 when the text
    // is not in the list); WAV with both an INFO list (plain numeric track) and an ID3 chunk.
    void diskLayout()
    {
        const QString mp3 = fresh("mp3", "layout.mp3");
        save(mp3, kFull);
        QByteArray data = readAll(mp3);
        QVERIFY(data.startsWith(QByteArray("ID3\x03\x00", 5)));
        QByteArray v1 = data.right(128);
        QVERIFY(v1.startsWith("TAG"));
        QCOMPARE(int(uchar(v1[127])), 17); // Rock
        QCOMPARE(int(uchar(v1[126])), kFull.track);
        QCOMPARE(v1.mid(93, 4), QByteArray("1999"));

        Tags odd = kFull;
        odd.genre = "Nu-Gaze Fusion";
        save(mp3, odd);
        data = readAll(mp3);
        QCOMPARE(int(uchar(data.right(128)[127])), 255);
        QCOMPARE(data.count("TAG"), 1); // the old ID3v1 tag was replaced, not doubled

        const QString wav = fresh("wav", "layout.wav");
        save(wav, kFull);
        data = readAll(wav);
        QVERIFY(data.contains("INFO"));
        QVERIFY(data.contains(QByteArray("IPRT\x02\x00\x00\x00" "7\x00", 10)));
        QVERIFY(data.contains(kFull.title.toUtf8())); // INFO text in UTF-8
        QVERIFY(data.contains("ID3 ") || data.contains("id3 "));
    }

    // Numeric genres (ID3v1 numbers, ID3v2 "(n)" references and 2.4 plain numbers) read
    // as names; track "3/11" reads as 3; a full date as its year.
    void genresAndNumbers_data()
    {
        QTest::addColumn<QByteArray>("prefix");
        QTest::addColumn<QByteArray>("suffix");
        QTest::addColumn<QString>("genre");
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("track");
        QTest::newRow("ID3v1 17") << QByteArray() << id3v1("t", 4, 17) << "Rock" << 0 << 4;
        QTest::newRow("ID3v1 64") << QByteArray() << id3v1("t", 0, 64) << "Native US" << 0 << 0;
        QTest::newRow("ID3v1 none") << QByteArray() << id3v1("t", 0, 255) << "" << 0 << 0;
        QTest::newRow("v2.3 (13)") << id3v2(3, {{"TCON", "(13)"}, {"TRCK", "3/11"}, {"TYER", "1987"}})
                                   << QByteArray() << "Pop" << 1987 << 3;
        QTest::newRow("v2.3 refinement")
            << id3v2(3, {{"TCON", "(31)Eurotrance"}}) << QByteArray() << "Trance / Eurotrance" << 0 << 0;
        QTest::newRow("v2.3 (RX)") << id3v2(3, {{"TCON", "(RX)"}}) << QByteArray() << "Remix" << 0 << 0;
        QTest::newRow("v2.4 13") << id3v2(4, {{"TCON", "13"}, {"TDRC", "2004-05-06"}}) << QByteArray() << "Pop"
                                 << 2004 << 0;
        QTest::newRow("v2.4 text") << id3v2(4, {{"TCON", "Shoegaze"}}) << QByteArray() << "Shoegaze" << 0 << 0;
        QTest::newRow("v2 wins over v1")
            << id3v2(3, {{"TCON", "Shoegaze"}}) << id3v1("t", 0, 17) << "Shoegaze" << 0 << 0;
    }
    void genresAndNumbers()
    {
        QFETCH(QByteArray, prefix);
        QFETCH(QByteArray, suffix);
        QFETCH(QString, genre);
        QFETCH(int, year);
        QFETCH(int, track);
        const QString path = m_dir.filePath("genre.mp3");
        QVERIFY(writeAll(path, prefix + m_bareMp3 + suffix));
        const Tags t = load(path);
        QCOMPARE(t.genre, genre);
        QCOMPARE(t.year, year);
        QCOMPARE(t.track, track);
    }

    // The content decides the format, whatever the extension says; a file that is readable
    // but holds no known format (or nothing) loads as no tags.
    void contentDecides()
    {
        for (const QString& format : {QString("mp3"), QString("ogg"), QString("wma"), QString("wav")}) {
            const QString tagged = fresh(format, "tagged." + format);
            save(tagged, kFull);
            for (const QString& ext : {QString("mp3"), QString("ogg"), QString("wma"), QString("wav"), QString("bin")}) {
                if (ext == format)
                    continue;
                const QString disguised = m_dir.filePath(QStringLiteral("disguised-%1.%2").arg(format, ext));
                QFile::remove(disguised);
                QVERIFY(QFile::copy(tagged, disguised));
                QFile::setPermissions(disguised, QFile::ReadOwner | QFile::WriteOwner);
                QCOMPARE(load(disguised).title, kFull.title);
                // Writing goes by content too, and keeps the file readable as what it is.
                Tags other = kFull;
                other.title = "Renamed " + ext;
                save(disguised, other);
                QCOMPARE(load(disguised).title, other.title);
                QCOMPARE(testaudio::ffprobe(disguised).tags.value("title").toString(), other.title);
            }
        }

        const QString text = m_dir.filePath("notes.mp3");
        QVERIFY(writeAll(text, "These are not the droids you are looking for.\n"));
        const Tags none = load(text);
        QVERIFY(none.title.isEmpty() && none.genre.isEmpty() && none.year == 0 && none.track == 0);
        const QString empty = m_dir.filePath("empty.mp3");
        QVERIFY(writeAll(empty, {}));
        QVERIFY(load(empty).title.isEmpty());
        // A file of no format we write tags into is refused, and left as it was.
        const QString plain = m_dir.filePath("notes.txt");
        QVERIFY(writeAll(plain, "plain text\n"));
        QVERIFY_THROWS_EXCEPTION(EngineError, save(plain, kFull));
        QCOMPARE(readAll(plain), QByteArray("plain text\n"));
    }

    // A file that cannot be read at all is an error, not "no tags".
    void unreadableThrows()
    {
        const QString missing = m_dir.filePath("missing.mp3");
        QVERIFY_THROWS_EXCEPTION(EngineError, load(missing));
        QVERIFY_THROWS_EXCEPTION(EngineError, save(missing, kFull));
        QVERIFY(!QFileInfo::exists(missing)); // saving creates nothing
        const QString folder = m_dir.filePath("folder.mp3");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY_THROWS_EXCEPTION(EngineError, load(folder));
        QVERIFY_THROWS_EXCEPTION(EngineError, save(folder, kFull));
        try {
            load(missing);
        } catch (const EngineError& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(missing), e.what()); // names the file
        }
        if (::geteuid() == 0)
            QSKIP("running as root: permissions do not stop reading");
        const QString locked = fresh("mp3", "locked.mp3");
        QFile::setPermissions(locked, {});
        QVERIFY_THROWS_EXCEPTION(EngineError, load(locked));
        QVERIFY_THROWS_EXCEPTION(EngineError, save(locked, kFull));
    }

    // Damaged copies of tagged files (cut short, bytes overwritten where the tags and
    // headers live): reading and writing either work or raise EngineError; nothing
    // crashes (the sanitizer build checks the rest).
    void mutations()
    {
        quint32 seed = 12345; // fixed, so a failure repeats
        auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
        int loaded = 0, refused = 0, saved = 0;
        for (const QString& format : {QString("mp3"), QString("ogg"), QString("wma"), QString("wav")}) {
            const QString tagged = fresh(format, "mutate-src." + format);
            save(tagged, kFull);
            const QByteArray good = readAll(tagged);
            const QString path = m_dir.filePath("mutant." + format);
            for (int i = 0; i < 60; ++i) {
                QByteArray bad = good;
                if (i < 12) {
                    static const double cuts[] = {0, 0.001, 0.01, 0.02, 0.05, 0.1, 0.25, 0.5, 0.75, 0.9, 0.99, 0.999};
                    bad.truncate(qsizetype(double(bad.size()) * cuts[i]));
                } else {
                    // Most headers and tags sit in the first 4 KiB; ID3v1 and appended
                    // chunks at the end.
                    for (int k = 0; k < 1 + i % 4; ++k) {
                        const qsizetype span = std::min<qsizetype>(4096, bad.size());
                        const qsizetype at = (next() & 1) ? qsizetype(next() % quint32(span))
                                                          : bad.size() - 1 - qsizetype(next() % 256);
                        bad[at] = char(next() >> 24);
                    }
                }
                QVERIFY(writeAll(path, bad));
                try {
                    load(path);
                    ++loaded;
                } catch (const EngineError&) {
                    ++refused;
                }
                try {
                    save(path, kFull);
                    ++saved;
                } catch (const EngineError&) {
                }
            }
        }
        qInfo("mutants: %d loaded, %d refused; written into %d", loaded, refused, saved);
    }

    // Every file of the real-world corpus loads or raises EngineError; writing into a copy
    // of each either works (and reads back) or raises EngineError. Where ffprobe can read a
    // title, it is the one we read.
    void corpus()
    {
        const QStringList files = testaudio::corpusFiles();
        QVERIFY2(files.size() > 50, qPrintable(testaudio::corpusDir()));
        int loaded = 0, refused = 0, saved = 0, sameTitle = 0;
        QStringList differ;
        for (const QString& rel : files) {
            const QString path = QDir(testaudio::corpusDir()).filePath(rel);
            Tags t;
            try {
                t = load(path);
                ++loaded;
            } catch (const EngineError&) {
                ++refused;
                continue;
            }
            const testaudio::ProbeResult p = testaudio::ffprobe(path);
            // Two INFO and two ID3 chunks: we take the first ones (as TagLib does), FFmpeg
            // the last; neither is wrong.
            const bool readersDiffer = rel == QLatin1String("taglib/duplicate_tags.wav");
            if (p.ok && p.tags.contains("title") && !readersDiffer) {
                if (p.tags.value("title").toString() == t.title)
                    ++sameTitle;
                else
                    differ << QStringLiteral("%1: ffprobe \"%2\", we \"%3\"")
                                  .arg(rel, p.tags.value("title").toString(), t.title);
            }

            const QString copy = m_dir.filePath("corpus-copy." + QFileInfo(rel).suffix());
            QFile::remove(copy);
            QVERIFY(QFile::copy(path, copy));
            QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
            try {
                save(copy, kFull);
            } catch (const EngineError&) {
                continue;
            }
            ++saved;
            const Tags back = load(copy);
            QVERIFY2(back.title == kFull.title && back.year == kFull.year && back.track == kFull.track &&
                         back.genre == kFull.genre && back.comment == kFull.comment,
                     qPrintable(rel + ": " + back.title + " / " + back.comment));
        }
        qInfo("corpus: %d loaded, %d refused, %d saved into; %d titles as ffprobe reads them",
              loaded, refused, saved, sameTitle);
        QVERIFY2(differ.isEmpty(), qPrintable(differ.join('\n')));
        QCOMPARE(loaded + refused, files.size());
    }
};

QTEST_GUILESS_MAIN(TestEngineTags)
#include "tst_engine_tags.moc"
