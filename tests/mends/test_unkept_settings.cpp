#include "AppShell.h"
#include "FakePrompts.h"
#include "FolderPicker.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "SettingsDialog.h"
#include "SettingsFile.h"
#include "Skin.h"
#include "TestAudio.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace sondrel;

// What the settings store cannot keep: a settings file that cannot be written costs the
// session's settings at most (never the program or its list), and an output folder the
// store would read back cut is refused when it is chosen.
class TestUnkeptSettings : public WindowFixture {
    Q_OBJECT
    FakePrompts& prompts() { return *app.prompts; }
    QString path() const { return settingsPath(); }
    QByteArray content() const
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString refusal(const QString& reason) const
    {
        return "The settings file " + path() + " cannot be written: " + reason
            + ". Your settings are kept until the program closes, but not saved.";
    }
    QString wav(const QString& name)
    {
        const QString p = tmp.filePath(name);
        if (!QFile::exists(p) && !testaudio::writeMusicWav(p, 22050, 2, 0.3))
            qFatal("cannot write %s", qPrintable(p));
        return p;
    }
    void add(const QString& file) { WindowFixture::add({file}, tmp.path()); }
    // The output folder chosen with Browse in the folder picker.
    void browseTo(const QString& folder)
    {
        prompts().dialogActions.push_back([folder](QDialog& d) {
            auto& picker = static_cast<Tfm_dir&>(d);
            QVERIFY(picker.selectFolder(folder));
            picker.btn_ok->click();
        });
        w().SkinClick(SkinObject("Browse"));
    }
    // A folder under the temporary one whose path has exactly `length` characters.
    QString folderOfLength(int length)
    {
        QString p = QDir(tmp.path()).absolutePath();
        while (p.size() < length) {
            const int room = length - int(p.size()) - 1;
            // No part may end up shorter than one character, nor any longer than a name can be.
            const int part = room > 400 ? 200 : room > 200 ? room / 2 : room;
            p += '/' + QString(part, QLatin1Char('d'));
        }
        return QDir().mkpath(p) ? p : QString();
    }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }
    void init()
    {
        forgetSettings();
        QDir(path()).removeRecursively();
    }
    void cleanup() { stop(); }

    // A read-only settings file: one message at the first write (the first Add), then the
    // session runs on the values it would have saved, the file stays as it was, and once it
    // can be written again the next write saves everything kept meanwhile.
    void readOnlyFileKeepsTheSessionGoing()
    {
        const QString out = tmp.filePath("out-ro");
        QVERIFY(QDir().mkpath(out));
        SettingsFile(path()).write_string("basic", "output directory", out);
        QVERIFY(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        const QByteArray before = content();
        start();

        add(wav("ro.wav"));
        QCOMPARE(prompts().texts(), QStringList{refusal("it is read-only")});
        QCOMPARE(w().list->count(), 1);
        QVERIFY(w().isVisible());

        w().cb_format->setCurrentIndex(1);
        prompts().dialogActions.push_back([](QDialog& d) {
            auto& dlg = static_cast<Tfm_set&>(d);
            dlg.rb_custom->setChecked(true);
            dlg.cb_wav_frequency->setCurrentIndex(0); // 8000 Hz
            dlg.cb_wav_channel->setCurrentIndex(0);   // mono
            dlg.btn_ok->click();
        });
        w().item("Settings1")->trigger();
        w().item("Convert1")->trigger();
        QVERIFY(waitConverted(60000));
        QCOMPARE(prompts().messages.size(), 1);
        QCOMPARE(w().list->text(0, rows::Status), QString("finish"));
        const testaudio::ProbeResult p = testaudio::ffprobe(out + "/ro.wav");
        QVERIFY2(p.ok, qPrintable(p.error));
        QCOMPARE(p.sampleRate, 8000);
        QCOMPARE(p.channels, 1);
        QCOMPARE(content(), before);

        QVERIFY(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        w().cb_format->setCurrentIndex(2);
        SettingsFile saved(path());
        QCOMPARE(saved.read_int("basic", "format", -1), 2);
        QCOMPARE(saved.read_int("wav", "mode", -1), 2);
        QCOMPARE(saved.read_int("wav", "frequency", -1), 0);
        QCOMPARE(saved.read_int("wav", "channel", -1), 0);
        QCOMPARE(saved.read_string("basic", "file path", {}), tmp.path());
        QCOMPARE(saved.read_string("basic", "output directory", {}), out);
        QCOMPARE(prompts().messages.size(), 1);
    }

    void otherUnwritableFilesAreReportedOnce_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a folder") << true << "it is a folder";
        QTest::newRow("over the size limit") << false << "it is larger than 16 MiB";
    }
    void otherUnwritableFilesAreReportedOnce()
    {
        QFETCH(bool, folder);
        QFETCH(QString, reason);
        if (folder) {
            QVERIFY(QDir().mkpath(path()));
        } else {
            QFile f(path());
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.write(";" + QByteArray(16 * 1024 * 1024, 'x') + "\n") > 16 * 1024 * 1024);
        }
        start();
        add(wav("a.wav"));
        add(wav("b.wav"));
        QCOMPARE(prompts().texts(), QStringList{refusal(reason)});
        QCOMPARE(w().list->count(), 2);
        QVERIFY(w().isVisible());
    }

    // Temporary files a killed save left beside the settings file go at start; a file of
    // the same pattern that is still fresh may be another instance's save in progress.
    void strayTemporariesAreRemovedAtStart()
    {
        SettingsFile(path()).write_int("basic", "format", 3);
        const QString stray = path() + ".aB3dE9", fresh = path() + ".Q1w2E3";
        const QStringList kept{path() + ".bak", path() + ".aB3dE", path() + ".aB3dE9x", fresh};
        for (const QString& p : kept + QStringList{stray}) {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[basic]\n");
            f.flush();
            if (p != fresh)
                QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        }
        start();
        QVERIFY(!QFile::exists(stray));
        for (const QString& p : kept) {
            QVERIFY2(QFile::exists(p), qPrintable(p));
            QFile::remove(p);
        }
        QCOMPARE(w().cb_format->currentIndex(), 3);
    }

    // An output folder whose path the store would read back cut is refused with a message;
    // one at the limit is kept as it is.
    void tooLongOutputFolderIsRefused()
    {
        start();
        const QString shown = w().edt_dir->text();
        const QString tooLong = folderOfLength(SettingsFile::MaxTextLength + 1);
        QCOMPARE(tooLong.size(), SettingsFile::MaxTextLength + 1);
        browseTo(tooLong);
        QCOMPARE(prompts().texts(),
                 QStringList{"The path of this folder is too long to be kept as the output folder (2048 "
                             "characters; at most 2047). Please choose a folder with a shorter path."});
        QCOMPARE(w().edt_dir->text(), shown);
        QVERIFY(!content().contains("output directory"));

        const QString atLimit = folderOfLength(SettingsFile::MaxTextLength);
        QCOMPARE(atLimit.size(), SettingsFile::MaxTextLength);
        browseTo(atLimit);
        QCOMPARE(prompts().messages.size(), 1);
        QCOMPARE(w().edt_dir->text(), atLimit);
        QCOMPARE(SettingsFile(path()).read_string("basic", "output directory", {}), atLimit);
    }
};

QTEST_MAIN(TestUnkeptSettings)
#include "test_unkept_settings.moc"
