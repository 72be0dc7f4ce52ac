#include "ConversionFixture.h"
#include "AudioInformation.h"
#include "EngineError.h"
#include "OutputFiles.h"
#include "OutputGate.h"
#include "SmallDisk.h"

#include <QProgressBar>
#include <QRandomGenerator>
#include <QTimer>

using namespace sondrel;

// Nothing cut, short or broken takes a target's name: the output gate measures every written
// file, a full disk fails the file with the system's reason, a stop leaves nothing, closing or
// Esc while busy asks first, and every row's status says what really happened.
class TestOutputGate : public ConversionFixture {
    Q_OBJECT

    static constexpr const char* Extensions[] = {".mp3", ".wav", ".wma", ".ogg", ".flac", ".opus", ".m4a"};

    // A writer set up for a format by its position in the format list.
    static void configure(AudioFile& writer, int format)
    {
        switch (format) {
        case 0: writer.SetMp3Encoder(LameEncSettings{}); break;
        case 1: writer.SetWavOutput(0, 0, 16); break;
        case 2: writer.SetWmaOutput(9); break;
        case 3: writer.SetOggOutput(0, 0, 0, 0, 0, 400); break;
        case 4: writer.SetFlacOutput(0, 0, 0, 5); break;
        case 5: writer.SetOpusOutput(0, 96, OpusRateControl::Vbr); break;
        default: writer.SetAacOutput(0, 0, 160); break;
        }
    }
    // Encodes seconds of music at 44.1 kHz stereo into the temporary file, as a job does.
    static WrittenLength encodeInto(const TempOutput& temp, int format, double seconds)
    {
        AudioFile writer;
        configure(writer, format);
        writer.OpenWrite(temp.path());
        writer.SetInputFormat(2, 44100, 16);
        writer.WriteSamples(testaudio::musicSignal(44100, 2, std::int64_t(seconds * 44100)));
        writer.Close();
        return writer.WrittenLength();
    }
    static QString gateFailure(TempOutput& temp, const QString& target, const OutputProof& proof)
    {
        try {
            passOutputGate(temp, target, proof);
        } catch (const std::exception& e) {
            return QString::fromUtf8(e.what());
        }
        return {};
    }
    QStringList tempFiles() const { return outputNames().filter(QRegularExpression("^\\.sondrel-")); }
    // A picture beside the source, too big for the small disk.
    void bigCoverBeside(const QString& source)
    {
        QByteArray jpeg("\xFF\xD8\xFF\xE0", 4);
        jpeg.resize(1600 * 1024);
        QRandomGenerator gen(7);
        for (qsizetype i = 4; i < jpeg.size(); ++i)
            jpeg[i] = char(gen.bounded(256));
        writeBytes(QFileInfo(source).absolutePath() + "/cover.jpg", jpeg);
    }
    void whenRowConverts(int row, std::function<void()> action)
    {
        auto* timer = new QTimer(&w());
        timer->setInterval(1);
        connect(timer, &QTimer::timeout, this, [=, this] {
            if (w().list->progress(row) <= 0)
                return;
            timer->stop();
            timer->deleteLater();
            action();
        });
        timer->start();
    }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }
    void init() { QVERIFY(startFresh()); }
    void cleanup() { stop(); }

    // A written file that lost its end (or half of it) is refused for every format, and the
    // target keeps what it held; the whole file passes and takes the name.
    void aCutOutputNeverTakesItsName_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<double>("keep");   // share of the file kept; negative: bytes cut off the end
        for (int f = 0; f < 7; ++f) {
            QTest::addRow("%s half", Extensions[f] + 1) << f << 0.5;
            // wmav2 cannot say where its last frames end: only a large cut shows there.
            if (f != 2)
                QTest::addRow("%s tail", Extensions[f] + 1) << f << -200.0;
        }
    }
    void aCutOutputNeverTakesItsName()
    {
        QFETCH(int, format);
        QFETCH(double, keep);
        const QString target = out + "/song" + Extensions[format];
        writeBytes(target, "the earlier output");
        OutputProof proof;
        {
            TempOutput temp(OutputDir::open(out));
            proof.length = encodeInto(temp, format, 3.0);
            QFile file(temp.path());
            const qint64 size = file.size();
            QVERIFY(file.resize(keep > 0 ? qint64(double(size) * keep) : size + qint64(keep)));
            const QString why = gateFailure(temp, target, proof);
            QVERIFY2(!why.isEmpty(), "a cut file passed the gate");
            QCOMPARE(bytes(target), QByteArray("the earlier output"));
        }
        QCOMPARE(tempFiles(), QStringList());
        TempOutput whole(OutputDir::open(out));
        proof.length = encodeInto(whole, format, 3.0);
        const QString why = gateFailure(whole, target, proof);
        QVERIFY2(why.isEmpty(), qPrintable(why));
        QVERIFY(testaudio::ffprobe(target).ok);
        QCOMPARE(outputNames(), QStringList({QFileInfo(target).fileName()}));
    }

    // Tags that do not read back as written, or a length that is not what was encoded, keep
    // the file from its name.
    void whatDoesNotReadBackIsRefused()
    {
        const QString target = out + "/tagged.wav";
        TempOutput temp(OutputDir::open(out));
        OutputProof proof;
        proof.length = encodeInto(temp, 1, 0.5);
        AudioInformation tags;
        tags.infoTitle = "Written";
        AudioInformation written;
        tags.SaveToFile(temp.path(), &written);
        proof.tags = written;
        proof.tags->infoTitle = "Something else";
        QVERIFY(gateFailure(temp, target, proof).contains("tags do not read back"));
        proof.tags = written;
        proof.length.framesEncoded += 1;
        QVERIFY(gateFailure(temp, target, proof).contains("received 22050 samples but made 22051"));
        proof.length.framesFed += 1;
        QVERIFY(gateFailure(temp, target, proof).contains("holds 22050 samples of 22051"));
        QVERIFY(!QFile::exists(target));
        proof.length.framesEncoded -= 1;
        proof.length.framesFed -= 1;
        QCOMPARE(gateFailure(temp, target, proof), QString());
        QVERIFY(QFile::exists(target));
    }

    // Lossy outputs state their exact length (LAME header, last granule, M4A's edit list):
    // one sample more or less than was encoded is refused, not taken for padding.
    void lossyOutputsProveTheirExactLength_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("off");
        for (int f : {0, 3, 5, 6})
            for (int off : {1, -1})
                QTest::addRow("%s %+d", Extensions[f] + 1, off) << f << off;
    }
    void lossyOutputsProveTheirExactLength()
    {
        QFETCH(int, format);
        QFETCH(int, off);
        const QString target = out + "/exact" + Extensions[format];
        TempOutput temp(OutputDir::open(out));
        OutputProof proof;
        proof.length = encodeInto(temp, format, 0.7);
        QCOMPARE(proof.length.slack, 0);
        OutputProof wrong = proof;
        wrong.length.framesEncoded += off;
        if (wrong.length.inputRate == wrong.length.outputRate)
            wrong.length.framesFed += off;
        const QString failure = gateFailure(temp, target, wrong);
        QVERIFY2(failure.contains(QString("samples of %1").arg(wrong.length.framesEncoded)), qPrintable(failure));
        QVERIFY(!QFile::exists(target));
        QCOMPARE(gateFailure(temp, target, proof), QString());
        QVERIFY(QFile::exists(target));
    }

    // A disk that fills up while the tags (here a 1.6 MB cover) are written: the file fails
    // with the system's reason, an earlier output stays byte for byte, nothing is left behind,
    // and the next row, which fits, converts.
    void aFullDiskAtTheTagStep_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("earlier");
        for (int f = 0; f < 7; ++f) {
            QTest::addRow("%s", Extensions[f] + 1) << f << false;
            QTest::addRow("%s over an earlier output", Extensions[f] + 1) << f << true;
        }
    }
    void aFullDiskAtTheTagStep()
    {
        QFETCH(int, format);
        QFETCH(bool, earlier);
        const QString covered = source("covered/song.wav", 0.5);
        bigCoverBeside(covered);
        const QString plain = source("plain/other.wav", 0.3);
        add({covered, plain});
        SmallDisk disk(out + "/small", 600 * 1024);
        useOutput(disk.folder());
        const QString target = disk.folder() + "/song" + Extensions[format];
        const QByteArray before(20000, 'e');
        if (earlier)
            writeBytes(target, before);
        w().cb_format->setCurrentIndex(format);
        prompts->answers = {true};
        disk.limitThisProcess();
        convert();
        disk.endLimit();
        QCOMPARE(statuses(), QStringList({"failed", "finish"}));
        const QString reason = w().list->toolTip(0);
        QVERIFY2(reason.contains(disk.fullText()), qPrintable(reason));
        QVERIFY2(!reason.contains(".sondrel-"), qPrintable(reason));
        QCOMPARE(prompts->messages.last().text, covered + " could not be converted: " + reason);
        if (earlier)
            QCOMPARE(bytes(target), before);
        else
            QVERIFY(!QFile::exists(target));
        QStringList left = QDir(disk.folder()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        left.sort();
        QStringList expected{QString("other") + Extensions[format]};
        if (earlier)
            expected << QFileInfo(target).fileName();
        expected.sort();
        QCOMPARE(left, expected);
    }

    // Statuses say what became of each row: kept outputs "skipped", a vanished source "failed"
    // with the reason; a new run starts from "unconverted"; the bar shows what the run did.
    void statusesAndTheRunsSummary()
    {
        const QStringList files{source("t1.wav", 0.3), source("t2.wav", 0.3), source("t3.wav", 0.3)};
        add(files);
        w().cb_format->setCurrentIndex(1);
        convert();
        QCOMPARE(statuses(), QStringList(3, "finish"));
        QVERIFY2(w().pb->text().startsWith("3 converted · 0:0"), qPrintable(w().pb->text()));
        QVERIFY(w().pb->isTextVisible());

        QVERIFY(QFile::remove(files[1]));
        QVERIFY(QFile::remove(out + "/t3.wav"));
        prompts->overwriteAnswers = {Prompts::Overwrite::NoToAll};
        QStringList atStart;
        prompts->onMessage = [&](const FakePrompts::Message&) {
            if (atStart.isEmpty())
                atStart = statuses();
        };
        convert();
        prompts->onMessage = nullptr;
        // Each row of the new run began without the last run's status.
        QCOMPARE(atStart, QStringList(3, "unconverted"));
        QCOMPARE(statuses(), QStringList({"skipped", "failed", "finish"}));
        QCOMPARE(w().list->toolTip(1), QString("The file has been removed."));
        QVERIFY2(w().pb->text().startsWith("1 converted, 1 skipped, 1 failed · 0:0"), qPrintable(w().pb->text()));
        QCOMPARE(prompts->texts().last(), files[1] + " has been removed.");
    }

    // The stream decides the length: a source that holds more than its row shows (here it was
    // replaced by a longer one of the same size and time) is converted whole, and its row
    // shows the real length.
    void aSourceLongerThanItsRowShows()
    {
        const QString src = source("longer.wav", 2.0);
        const QByteArray twoSeconds = bytes(src);
        QByteArray oneSecond = twoSeconds;
        // The data chunk ends after one second; a chunk of no interest fills the rest.
        const qsizetype dataSize = 44100 * 4;
        QCOMPARE(oneSecond.mid(36, 4), QByteArray("data"));
        for (int i = 0; i < 4; ++i)
            oneSecond[40 + i] = char((dataSize >> (8 * i)) & 0xFF);
        const qsizetype rest = twoSeconds.size() - 44 - dataSize - 8;
        oneSecond.replace(44 + dataSize, 4, "junk");
        for (int i = 0; i < 4; ++i)
            oneSecond[44 + dataSize + 4 + i] = char((rest >> (8 * i)) & 0xFF);
        writeBytes(src, oneSecond);
        const QDateTime stamp = QFileInfo(src).lastModified();
        add({src});
        QCOMPARE(w().list->text(0, rows::Time), QString("00:00:01"));
        writeBytes(src, twoSeconds);
        QFile f(src);
        QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(stamp, QFileDevice::FileModificationTime));
        f.close();
        w().cb_format->setCurrentIndex(4);
        convert();
        QCOMPARE(status(0), QString("finish"));
        QCOMPARE(engineSamples(out + "/longer.flac"), std::int64_t(2 * 44100));
        QCOMPARE(w().list->text(0, rows::Time), QString("00:00:02"));
    }

    // A source of one or four samples makes a complete file of every format that passes the
    // gate; raw PCM named like a WAV file is refused when added.
    void theShortestSourcesAndNoAudio_data()
    {
        QTest::addColumn<int>("format");
        for (int f = 0; f < 7; ++f)
            QTest::addRow("%s", Extensions[f] + 1) << f;
    }
    void theShortestSourcesAndNoAudio()
    {
        QFETCH(int, format);
        QStringList files;
        for (int samples : {1, 4}) {
            const QString p = tmp.filePath(QString("src/short%1.wav").arg(samples));
            QVERIFY(testaudio::writeWav(p, testaudio::musicSignal(22050, 2, samples), 22050, 2));
            files << p;
        }
        add(files);
        w().cb_format->setCurrentIndex(format);
        convert();
        QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->texts().join("; ")));
        QCOMPARE(statuses(), QStringList(2, "finish"));
        for (const QString& f : files)
            QVERIFY(testaudio::ffprobe(out + "/" + QFileInfo(f).completeBaseName() + Extensions[format]).ok);

        const QString raw = tmp.filePath("src/raw.wav");
        QByteArray pcm;
        for (float v : testaudio::musicSignal(44100, 2, 44100)) {
            const qint16 s = qint16(v * 30000);
            pcm.append(char(s & 0xFF)).append(char((s >> 8) & 0xFF));
        }
        writeBytes(raw, pcm);
        prompts->fileChoices.push_back({{raw}, QFileInfo(raw).absolutePath()});
        w().item("AddFile1")->trigger();
        QVERIFY(app.waitAdded());
        QCOMPARE(prompts->texts(), QStringList({raw + " is an invalid audio file!"}));
        QCOMPARE(w().list->count(), 2);
    }

    // Matroska and WebM state their lengths in rounded milliseconds: converted, they give all
    // of their samples all the same.
    void matroskaSourcesConvertWhole_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("codec");
        QTest::newRow("pcm mka") << "pcm.mka" << "pcm_s16le";
        QTest::newRow("flac mka") << "flac.mka" << "flac";
        QTest::newRow("vorbis webm") << "vorbis.webm" << "libvorbis";
    }
    void matroskaSourcesConvertWhole()
    {
        QFETCH(QString, name);
        QFETCH(QString, codec);
        const QString wav = source("mk-" + name + ".wav", 5.0);
        const QString mk = tmp.filePath("src/" + name);
        int code = -1;
        testaudio::runTool("ffmpeg", {"-v", "error", "-y", "-i", wav, "-c:a", codec, mk}, 60000, &code);
        QCOMPARE(code, 0);
        const std::int64_t samples = engineSamples(mk);
        QVERIFY(samples >= 5 * 44100 - 2048); // Vorbis may trim a little at its start
        add({mk});
        w().cb_format->setCurrentIndex(1);
        convert();
        QCOMPARE(status(0), QString("finish"));
        QCOMPARE(engineSamples(out + "/" + QFileInfo(mk).completeBaseName() + ".wav"), samples);
        if (codec != "libvorbis")
            QCOMPARE(samples, std::int64_t(5 * 44100));
    }

    // Esc and the close button ask while a conversion runs; No goes on converting, Yes stops
    // (nothing of the file in work is kept) and quits. Idle, Esc closes at once.
    void escAndClosingAskWhileBusy()
    {
        const QStringList files{source("esc1.wav", 30), source("esc2.wav", 1)};
        add(files);
        setJobs(1);
        w().cb_format->setCurrentIndex(0);
        prompts->answers = {false, true};
        bool keptConverting = false;
        whenRowConverts(0, [&] {
            QTest::keyClick(w().windowHandle(), Qt::Key_Escape);
            keptConverting = w().isVisible() && shell->state.flag_converting();
            QTest::keyClick(w().windowHandle(), Qt::Key_Escape);
        });
        startConvert();
        QTRY_VERIFY_WITH_TIMEOUT(!w().isVisible(), 60000);
        QVERIFY(keptConverting);
        QCOMPARE(prompts->messages.size(), 2);
        QCOMPARE(prompts->messages[0].kind, FakePrompts::Kind::ConfirmCautious);
        QCOMPARE(prompts->texts(), QStringList(2, "A conversion is running. Stop it and quit?"));
        QCOMPARE(statuses(), QStringList({"stopped", "unconverted"}));
        QCOMPARE(outputNames(), QStringList());

        // While files are added, closing asks too.
        QVERIFY(startFresh());
        const QString many = tmp.filePath("many");
        QDir().mkpath(many);
        for (int i = 0; i < 400; ++i)
            QVERIFY(testaudio::writeMusicWav(many + QString("/f%1.wav").arg(i), 8000, 1, 0.01));
        prompts->answers = {false};
        w().ScanFolder(many, false);
        QVERIFY(shell->state.flag_adding());
        w().close();
        QCOMPARE(prompts->texts(), QStringList({"Files are being added. Stop adding and quit?"}));
        QVERIFY(w().isVisible());
        QVERIFY(app.waitAdded());
        QCOMPARE(w().list->count(), 400);

        // Idle, Esc closes at once.
        prompts->messages.clear();
        QTest::keyClick(w().windowHandle(), Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(!w().isVisible(), 10000);
        QVERIFY(prompts->messages.isEmpty());
    }
};

QTEST_MAIN(TestOutputGate)
#include "test_output_gate.moc"
