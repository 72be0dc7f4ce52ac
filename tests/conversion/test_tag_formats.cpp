// The fidelity matrix: eight source formats, each made by ffmpeg and tagged through TagLib with
// fifteen common fields, a front and a back cover, converted through runConversionJob into each
// of the seven outputs and read back with TagLib and with ffprobe. Every pair keeps every field
// (several artists as several values where the output holds them, joined with "; " where it
// holds one), both covers byte for byte, front first, with their kind and, between FLAC
// pictures, their size; an ID3v2 comment keeps its language.
#include "ConversionJob.h"
#include "LameEncSettings.h"
#include "OutputFiles.h"
#include "SettingsFile.h"
#include "TagFidelity.h"
#include "TargetSetup.h"
#include "TestAudio.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace sondrel;

namespace {

const QStringList kOutputs{"mp3", "wav", "wma", "ogg", "flac", "opus", "m4a"};
const QStringList kXiph{"flac", "ogg", "opus"};

// The ffmpeg arguments that make each source format from a WAV file, without tags.
const QList<QPair<QString, QStringList>> kSources{
    {"mp3", {"-c:a", "libmp3lame"}}, {"wav", {"-c:a", "pcm_s16le"}}, {"wma", {"-c:a", "wmav2"}},
    {"ogg", {"-c:a", "libvorbis"}},  {"flac", {"-c:a", "flac"}},     {"opus", {"-c:a", "libopus"}},
    {"m4a", {"-c:a", "aac"}},        {"wv", {"-c:a", "wavpack"}},
};

QString tagValue(const testaudio::ProbeResult& p, const char* key)
{
    return p.tags.value(QString::fromLatin1(key)).toString();
}

// "3" and a total beside it read as "3/12".
QString withTotal(const testaudio::ProbeResult& p, const char* number, const char* total)
{
    const QString n = tagValue(p, number), t = tagValue(p, total);
    return t.isEmpty() ? n : n + "/" + t;
}

} // namespace

class TestTagFormats : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    std::vector<fidelity::Cover> covers;
    int kept = 0;

    QString sourcePath(const QString& ext) const { return tmp.filePath("src/source." + ext); }

    bool makeCover(const QString& name, const QString& size, fidelity::Cover& c)
    {
        const QString path = tmp.filePath(name);
        int code = -1;
        testaudio::runTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=" + size, "-frames:v", "1", path},
                           60000, &code);
        QFile f(path);
        if (code != 0 || !f.open(QIODevice::ReadOnly))
            return false;
        c.data = f.readAll();
        return !c.data.isEmpty();
    }

    // What was lost between the source and what TagLib reads of the output.
    static QStringList tagLibLosses(const QString& src, const QString& out, const fidelity::Read& got)
    {
        QStringList lost;
        const auto want = fidelity::sourceFields(src != "wma" && out != "wma");
        for (auto it = want.cbegin(); it != want.cend(); ++it)
            if (got.fields.value(it.key()) != it.value())
                lost << it.key() + "=" + got.fields.value(it.key()).join("|");
        if ((src == "mp3" || src == "wav") && (out == "mp3" || out == "wav") && got.commentLanguage != "deu")
            lost << "comment language " + QString::fromLatin1(got.commentLanguage);
        return lost;
    }

    QStringList coverLosses(const QString& src, const QString& out, const std::vector<fidelity::Cover>& got) const
    {
        if (got.size() != covers.size())
            return {QStringLiteral("%1 covers").arg(got.size())};
        QStringList lost;
        const bool typed = src != "m4a" && out != "m4a";        // MP4 keeps no kind of picture
        const bool sized = kXiph.contains(src) && kXiph.contains(out);
        for (std::size_t i = 0; i < covers.size(); ++i) {
            const fidelity::Cover &w = covers[i], &g = got[i];
            if (g.data != w.data)
                lost << QStringLiteral("cover %1 bytes").arg(i);
            if (typed && g.type != w.type)
                lost << QStringLiteral("cover %1 type %2").arg(i).arg(g.type);
            if (sized && (g.width != w.width || g.height != w.height || g.depth != w.depth))
                lost << QStringLiteral("cover %1 size %2x%3x%4").arg(i).arg(g.width).arg(g.height).arg(g.depth);
        }
        return lost;
    }

    // What ffprobe, an independent reader, does not see. It reads a WAV file's RIFF INFO only,
    // and of several strings of an ID3v2.3 frame the first.
    static QStringList probeLosses(const QString& out, const testaudio::ProbeResult& p)
    {
        QStringList lost;
        const auto expect = [&](const QString& what, const QString& got, const QString& want, bool start = false) {
            if (start ? !got.startsWith(want) : got != want)
                lost << "ffprobe " + what + "=" + got;
        };
        expect("title", tagValue(p, "title"), "Fidelity title");
        expect("album", tagValue(p, "album"), "Fidelity album");
        expect("artist", tagValue(p, "artist"), "First Artist", true);
        expect("genre", tagValue(p, "genre"), "Jazz");
        // ffprobe names a WMA file's date by its attribute.
        expect("date", tagValue(p, "date") + tagValue(p, "wm/year"), "2004", true);
        expect("track", withTotal(p, "track", "tracktotal"), "3/12");
        if (out == "wav")
            return lost;
        expect("album_artist", tagValue(p, "album_artist"), "Album Artist");
        expect("composer", tagValue(p, "composer"), "Composer Name");
        expect("disc", withTotal(p, "disc", "disctotal"), "1/2");
        if (p.attachedPictures != 2)
            lost << QStringLiteral("ffprobe %1 pictures").arg(p.attachedPictures);
        return lost;
    }

    JobResult convert(const QString& src, int format, const QString& target)
    {
        SettingsFile settings(tmp.filePath("settings.ini"));
        LameEncSettings lame;
        JobOrder order;
        order.source = src;
        order.target = target;
        order.dir = OutputDir::open(QFileInfo(target).absolutePath());
        order.writer = std::make_unique<AudioFile>();
        const TargetSetup setup = configureTarget(settings, format, *order.writer, lame);
        if (setup.extension.isEmpty())
            return {};
        JobProgress progress;
        return runConversionJob(order, progress);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        QDir().mkpath(tmp.filePath("src"));
        QDir().mkpath(tmp.filePath("out"));
        fidelity::Cover front{{}, "image/jpeg", 3, 320, 240, 24}, back{{}, "image/png", 4, 64, 48, 24};
        QVERIFY(makeCover("front.jpg", "320x240", front));
        QVERIFY(makeCover("back.png", "64x48", back));
        covers = {front, back};
        const QString wav = tmp.filePath("pcm.wav");
        QVERIFY(testaudio::writeMusicWav(wav, 44100, 2, 1.0));
        for (const auto& [ext, args] : kSources) {
            int code = -1;
            testaudio::runTool("ffmpeg", QStringList{"-v", "error", "-y", "-i", wav, "-map_metadata", "-1"} + args
                                             + QStringList{sourcePath(ext)}, 60000, &code);
            QCOMPARE(code, 0);
            QVERIFY2(fidelity::tagSource(sourcePath(ext), fidelity::sourceFields(ext != "wma"), covers), qPrintable(ext));
        }
    }

    void pairs_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("format");
        for (const auto& source : kSources)
            for (int format = 0; format < kOutputs.size(); ++format)
                QTest::addRow("%s to %s", qPrintable(source.first), qPrintable(kOutputs[format])) << source.first << format;
    }
    void pairs()
    {
        QFETCH(QString, source);
        QFETCH(int, format);
        const QString out = kOutputs[format];
        const QString target = tmp.filePath(QStringLiteral("out/%1-to.%2").arg(source, out));
        const JobResult r = convert(sourcePath(source), format, target);
        QVERIFY2(r.outcome == JobResult::Outcome::Finished, qPrintable(r.message));
        const fidelity::Read got = fidelity::readBack(target);
        QStringList lost = tagLibLosses(source, out, got) + coverLosses(source, out, got.covers);
        lost << probeLosses(out, testaudio::ffprobe(target));
        if (lost.isEmpty())
            ++kept;
        qInfo("%s to %s: %s", qPrintable(source), qPrintable(out), lost.isEmpty() ? "everything kept" : qPrintable(lost.join("; ")));
        QVERIFY2(lost.isEmpty(), qPrintable(lost.join("; ")));
    }

    void cleanupTestCase() { qInfo("%d of %d pairs keep everything", kept, int(kSources.size() * kOutputs.size())); }
};

QTEST_GUILESS_MAIN(TestTagFormats)
#include "test_tag_formats.moc"
