#include "BatchConvert.h"
#include "CarriedTags.h"
#include "CommandLine.h"
#include "ConversionFixture.h"
#include "ConversionJob.h"
#include "LameEncSettings.h"
#include "OutputFiles.h"
#include "OutputFormat.h"
#include "SettingsDialog.h"
#include "SettingsWidgets.h"
#include "TargetSetup.h"

#include <QPushButton>
#include <QTabWidget>
#include <cstdio>

using namespace sondrel;

namespace {

// A format added the way every format is: one descriptor. It writes PCM WAV at the source's
// own rate and channels under a name, extension and settings section of its own, 8 or 16
// bits by its one setting.
const IntKey WavxBits{"wavx", "bits", 1};

QString configureWavx(const SettingsFile& s, EncoderTarget& target)
{
    target.writer.SetWavOutput(0, 0, stored::valueOf(s, WavxBits, bits_per_sample_values));
    return {};
}

void buildWavxPage(QWidget* page, settingsui::PageParts& parts)
{
    parts.bindings.push_back({settingsui::makeCombo(page, "cb_wavx_bits", settingsui::bitItems()), WavxBits});
}

const TagAbilities AllTags = TagAbility::Values | TagAbility::Fields | TagAbility::Pictures;
const SettingsPageSpec WavxPage{"WAVX", "ts_wavx", 7, buildWavxPage};
const OutputFormat Wavx{7, "wavx", "WAVX", ".wavx", "wavx", WavxPage, configureWavx, AllTags};

// Descriptors the table must refuse, each for one reason.
const OutputFormat Refused[] = {
    {3, "wavy", "WAVY", ".wavy", "wavy", WavxPage, configureWavx, AllTags},
    {8, "MP3", "WAVY", ".wavy", "wavy", WavxPage, configureWavx, AllTags},
    {8, "wavy", "WAVY", ".FLAC", "wavy", WavxPage, configureWavx, AllTags},
    {8, "wavy", "WAVY", "wavy", "wavy", WavxPage, configureWavx, AllTags},
    {8, "wavy", "WAVY", ".wavy", "wavy", WavxPage, nullptr, AllTags},
};

} // namespace

// A format added by one descriptor reaches the format selector, the settings dialog, the
// window's conversion and the command line; every descriptor of the table holds together,
// and the tags its files hold are the ones it claims.
class TestAddedFormats : public ConversionFixture {
    Q_OBJECT

    QString tagged; // a FLAC source with a title, an album artist and a cover

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        QVERIFY(registerOutputFormat(Wavx));
        const QString cover = tmp.filePath("src/cover.jpg");
        const QString wav = source("tagged-pcm.wav", 0.5);
        tagged = tmp.filePath("src/tagged.flac");
        int code = -1;
        testaudio::runTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=32x32", "-frames:v", "1", cover},
                           60000, &code);
        QCOMPARE(code, 0);
        testaudio::runTool("ffmpeg",
                           {"-v", "error", "-y", "-i", wav, "-i", cover, "-map", "0:a", "-map", "1", "-c:v", "copy",
                            "-disposition:v", "attached_pic", "-metadata", "title=Source", "-metadata",
                            "album_artist=Various", "-c:a", "flac", tagged},
                           60000, &code);
        QCOMPARE(code, 0);
    }
    void init() { QVERIFY(startFresh()); }
    void cleanup() { stop(); }

    void refusedRegistrations_data()
    {
        QTest::addColumn<int>("which");
        const char* const why[] = {"index taken", "name taken in another case", "extension taken in another case",
                                   "extension without its dot", "no set-up"};
        for (int i = 0; i < int(std::size(Refused)); ++i)
            QTest::newRow(why[i]) << i;
    }
    void refusedRegistrations()
    {
        QFETCH(int, which);
        const std::size_t before = outputFormats().size();
        QVERIFY(!registerOutputFormat(Refused[which]));
        QCOMPARE(outputFormats().size(), before);
        QVERIFY(!outputFormatNamed("wavy"));
    }

    // The selector lists every format by its stored index; each page binds keys of its own
    // format's section only, and no two formats share a section.
    void everyDescriptorHoldsTogether()
    {
        QCOMPARE(outputFormatNames(), QStringList({"mp3", "wav", "wma", "ogg", "flac", "opus", "m4a", "wavx"}));
        QVERIFY(usageText().contains("--format mp3|wav|wma|ogg|flac|opus|m4a|wavx --out"));
        QCOMPARE(w().cb_format->count(), int(outputFormats().size()));
        QStringList sections;
        for (int i = 0; i < w().cb_format->count(); ++i) {
            const OutputFormat* f = outputFormats()[std::size_t(i)];
            QCOMPARE(w().cb_format->itemText(i), QString(f->label));
            QCOMPARE(w().cb_format->itemData(i).toInt(), f->index);
            QVERIFY2(!sections.contains(f->section), f->section);
            sections << f->section;
            QWidget page;
            settingsui::PageParts parts;
            f->page.build(&page, parts);
            QVERIFY2(!parts.bindings.empty(), f->name);
            for (const settingsui::Binding& b : parts.bindings) {
                QVERIFY2(QString(b.key.section) == f->section, qPrintable(QString("%1: %2").arg(f->name, b.key.key)));
                QVERIFY2(page.isAncestorOf(b.control), b.key.key);
            }
        }
    }

    // Its page in the settings dialog writes its own section; chosen in the selector, it is
    // stored, converts a file with that setting, and is chosen again at the next start.
    void addedFormatThroughTheWindow()
    {
        QCOMPARE(w().cb_format->itemText(7), QString("WAVX"));
        Tfm_set* dialog = w().fm_set;
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QStringList tabs;
        for (int i = 0; i < dialog->pc->count(); ++i)
            tabs << dialog->pc->tabText(i);
        QCOMPARE(tabs, QStringList({"MP3", "WAV", "OGG", "WMA", "FLAC", "Opus", "M4A (AAC)", "WAVX", "General", "Naming"}));
        auto* bits = dialog->findChild<QComboBox*>("cb_wavx_bits");
        QVERIFY(bits);
        QCOMPARE(bits->currentText(), QString("16 bits"));
        bits->setCurrentIndex(0);
        dialog->btn_ok->click();
        QCOMPARE(settings().read_string("wavx", "bits", "<absent>"), QString("0"));

        w().cb_format->setCurrentIndex(7);
        QCOMPARE(settings().read_int("basic", "format", -1), 7);
        const QString src = source("tune.wav", 0.5, 22050, 1);
        add({src});
        w().list->setTrackInfo(0, TrackInfo{"Added", "Artist", "Album", "Jazz", 2, 2002, "A comment"});
        convert();
        QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->texts().join("; ")));
        QCOMPARE(status(0), QString("finish"));
        const testaudio::ProbeResult p = testaudio::ffprobe(out + "/tune.wavx");
        QVERIFY2(p.ok, qPrintable(p.error));
        QCOMPARE(p.formatName, QString("wav"));
        QCOMPARE(p.codecName, QString("pcm_u8"));
        QCOMPARE(p.sampleRate, 22050);
        QCOMPARE(p.channels, 1);
        QCOMPARE(p.tags.value("title").toString(), QString("Added"));

        stop();
        start();
        QCOMPARE(w().cb_format->currentText(), QString("WAVX"));
    }

    // --format takes its name in any letter case and converts with its settings.
    void addedFormatOnTheCommandLine()
    {
        stop(); // the command line runs without a window
        const QString src = source("line.wav", 0.5, 32000, 2);
        const QString dir = tmp.filePath("cli");
        const CommandLine c = parseCommandLine({"--convert", "--format", "WAVX", "--out", dir, src});
        QCOMPARE(int(c.action), int(CommandLine::Action::Convert));
        QCOMPARE(c.format, QString("wavx"));
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> lines(std::tmpfile(), std::fclose), errors(std::tmpfile(), std::fclose);
        QVERIFY(lines && errors);
        QCOMPARE(runBatchConversion(c, lines.get(), errors.get()), 0);
        const testaudio::ProbeResult p = testaudio::ffprobe(dir + "/line.wavx");
        QVERIFY2(p.ok, qPrintable(p.error));
        QCOMPARE(p.codecName, QString("pcm_s16le"));
        QCOMPARE(p.sampleRate, 32000);
        QCOMPARE(p.channels, 2);

        const CommandLine wrong = parseCommandLine({"--convert", "--format", "wavy", "--out", dir, src});
        QCOMPARE(int(wrong.action), int(CommandLine::Action::Error));
        QCOMPARE(wrong.error, QString("unknown format: wavy"));
    }

    // Every format sets its encoder up from a settings file that holds nothing, and its
    // files hold the tags and pictures its descriptor says they can.
    void tagsAsClaimed_data()
    {
        QTest::addColumn<int>("index");
        for (const OutputFormat* f : outputFormats())
            QTest::newRow(f->name) << f->index;
    }
    void tagsAsClaimed()
    {
        QFETCH(int, index);
        const OutputFormat* f = outputFormat(index);
        AudioFile writer;
        LameEncSettings lame;
        const TargetSetup setup = configureTarget(SettingsFile(tmp.filePath("none.ini")), index, writer, lame);
        QVERIFY2(setup.refusal.isEmpty(), qPrintable(setup.refusal));
        QCOMPARE(setup.extension, QString(f->extension));

        JobOrder order;
        order.source = tagged;
        order.target = out + "/tagged" + setup.extension;
        order.dir = OutputDir::open(out);
        order.tags = TrackInfo{"Edited", "Artist", "Album", "Jazz", 3, 2003, "A comment"};
        order.writer = std::make_unique<AudioFile>();
        order.writer->CopyOutputFrom(writer);
        JobProgress progress;
        const JobResult r = runConversionJob(order, progress);
        QVERIFY2(r.outcome == JobResult::Outcome::Finished, qPrintable(r.reason));
        const CarriedTags got = readCarriedTags(order.target);
        QCOMPARE(got.fields.value("TITLE") == QStringList{"Edited"}, f->tags.testFlag(TagAbility::Values));
        QCOMPARE(got.fields.value("ALBUMARTIST") == QStringList{"Various"}, f->tags.testFlag(TagAbility::Fields));
        QCOMPARE(got.pictures.size() == 1, f->tags.testFlag(TagAbility::Pictures));
    }
};

QTEST_MAIN(TestAddedFormats)
#include "test_added_formats.moc"
