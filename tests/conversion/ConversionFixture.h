#pragma once
// What the conversion tests share beyond the window: an output folder of each test's own,
// source files made on the spot, and a Convert command that waits for the run to end.
#include "AppShell.h"
#include "AudioFile.h"
#include "FakePrompts.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "SettingsFile.h"
#include "TagEditor.h"
#include "TestAudio.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class ConversionFixture : public WindowFixture {
protected:
    QString out;

    // A fresh program, settings file and output folder.
    bool startFresh()
    {
        forgetSettings();
        out = tmp.filePath(QStringLiteral("out%1").arg(QDateTime::currentMSecsSinceEpoch()));
        QDir().mkpath(out);
        if (!startWindow())
            return false;
        useOutput(out);
        return true;
    }
    QString source(const QString& name, double seconds, int rate = 44100, int channels = 2)
    {
        const QString p = tmp.filePath("src/" + name);
        QDir().mkpath(QFileInfo(p).absolutePath());
        if (!QFile::exists(p) && !testaudio::writeMusicWav(p, rate, channels, seconds))
            qFatal("cannot write %s", qPrintable(p));
        return p;
    }
    void add(const QStringList& files)
    {
        const int before = w().list->count();
        prompts->fileChoices.push_back({files, QFileInfo(files.value(0)).absolutePath()});
        w().item("AddFile1")->trigger();
        QVERIFY(app.waitAdded());
        QCOMPARE(w().list->count(), before + int(files.size()));
    }
    // Types title into the tag editor of row and presses Ok.
    void editTitle(int row, const QString& title)
    {
        w().lv->selectRow(row);
        prompts->dialogActions.push_back([title](QDialog& d) {
            auto& editor = static_cast<sondrel::Tfm_id3&>(d);
            editor.edt_title->setText(title);
            editor.btn_ok->click();
        });
        w().item("ID31")->trigger();
    }
    void useOutput(const QString& dir) { settings().write_string("basic", "output directory", dir); }
    void setJobs(int jobs) { settings().write_int("basic", "jobs", jobs); }
    // Starts the run and waits until it has ended.
    void convert()
    {
        startConvert();
        waitIdle();
    }
    void startConvert() { w().item("Convert1")->trigger(); }
    void waitIdle() { QVERIFY(waitConverted()); }
    QString status(int row) { return w().list->text(row, sondrel::rows::Status); }
    QStringList statuses()
    {
        QStringList s;
        for (int i = 0; i < w().list->count(); ++i)
            s << status(i);
        return s;
    }
    static QByteArray bytes(const QString& p)
    {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void writeBytes(const QString& p, const QByteArray& data)
    {
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(data);
    }
    static std::int64_t engineSamples(const QString& p)
    {
        sondrel::AudioFile f;
        f.OpenRead(p);
        std::int64_t n = 0;
        for (;;) {
            const sondrel::SampleArray s = f.ReadSamples(f.SampleRate() * f.ChannelCount());
            if (s.empty())
                break;
            n += std::int64_t(s.size()) / f.ChannelCount();
        }
        return n;
    }
    // The length ffprobe gives an M4A's audio track (what its edit list states), -1 if none.
    static std::int64_t probedTrackLength(const QString& p)
    {
        bool ok = false;
        const std::int64_t n = testaudio::runTool("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                                              "stream=duration_ts", "-of", "csv=p=0", p})
                                   .trimmed()
                                   .toLongLong(&ok);
        return ok ? n : -1;
    }
    // The length an M4A's iTunSMPB tag states (its fourth field, hexadecimal), -1 if none.
    static std::int64_t smpbLength(const QString& p)
    {
        const QStringList f = testaudio::ffprobe(p).tags.value("itunsmpb").toString().split(' ', Qt::SkipEmptyParts);
        return f.size() >= 4 ? f[3].toLongLong(nullptr, 16) : -1;
    }
    // Files in the output folder, hidden ones included, sorted.
    QStringList outputNames() const
    {
        QStringList names = QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::System);
        names.sort();
        return names;
    }
};
