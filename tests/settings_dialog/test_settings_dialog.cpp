#include "AppState.h"
#include "ExceptionHook.h"
#include "SettingsDialog.h"
#include "SettingsFile.h"
#include "UpDown.h"
#include "ValueTables.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <memory>

using namespace sondrel;

namespace {
const char* const Absent = "<absent>";

// Every per-format key with its default, in the order OK writes them.
const IntKey AllKeys[] = {
    keys::mp3Bitrate,    keys::mp3Channel,    keys::mp3Frequency, keys::mp3Quality,
    keys::mp3EnableVbr,  keys::mp3VbrBitrate, keys::mp3VbrQuality, keys::wavMode,
    keys::wavBit,        keys::wavChannel,    keys::wavFrequency, keys::wmaFormat,
    keys::oggChannel,    keys::oggFrequency,  keys::oggBitrate,   keys::oggMaxBitrate,
    keys::oggMinBitrate, keys::oggEnableQualityDialog, keys::oggQuality, keys::flacLevel,
    keys::flacBit,       keys::flacFrequency, keys::flacChannel,  keys::opusKbps,
    keys::opusMode,      keys::opusChannel,   keys::aacBitrate,   keys::aacFrequency,
    keys::aacChannel,    keys::jobs,
};

// One control as a user sets it: its page, what the user does there ("index N" picks a list
// entry, "key K" presses a key in it, "type T" retypes the field, "click" clicks it), the key OK
// stores it under and the value stored. `needs` is a box clicked first to enable the control.
// The rows in this order are what a user does to set every key at once.
struct ControlCase {
    int page;
    const char* control;
    const char* action;
    IntKey key;
    int stored;
    const char* needs = nullptr;
};
const ControlCase Controls[] = {
    {0, "cb_mp3_bitrate", "index 16", keys::mp3Bitrate, 16},
    {0, "cb_mp3_channel", "key Up", keys::mp3Channel, 0}, // Stereo -> Mono by keyboard
    {0, "cb_mp3_frequency", "index 3", keys::mp3Frequency, 3},
    {0, "edt_mp3_quality", "type 2", keys::mp3Quality, 2},
    {0, "cb_vbr", "click", keys::mp3EnableVbr, 1},
    {0, "cb_mp3_vbr", "index 5", keys::mp3VbrBitrate, 5, "cb_vbr"},
    {0, "edt_mp3_vbr", "type 4", keys::mp3VbrQuality, 4, "cb_vbr"},
    {1, "rb_custom", "click", keys::wavMode, 2},
    {1, "cb_wav_bit", "index 0", keys::wavBit, 0, "rb_custom"},
    {1, "cb_wav_channel", "index 0", keys::wavChannel, 0, "rb_custom"},
    {1, "cb_wav_frequency", "index 1", keys::wavFrequency, 1, "rb_custom"},
    {3, "cb_wma", "index 22", keys::wmaFormat, 22},
    {2, "cb_ogg_channel", "index 0", keys::oggChannel, 0},
    {2, "cb_ogg_fre", "index 8", keys::oggFrequency, 8},
    {2, "cb_ogg_bitrate", "index 2", keys::oggBitrate, 2},
    {2, "edt_ogg_quality", "type 42", keys::oggQuality, 42},
    {2, "cb_ogg_quality", "click", keys::oggEnableQualityDialog, 0}, // the quality typed is still saved
    {2, "cb_ogg_maxbit", "index 13", keys::oggMaxBitrate, 13, "cb_ogg_quality"},
    {2, "cb_ogg_minbit", "index 4", keys::oggMinBitrate, 4, "cb_ogg_quality"},
    {4, "cb_flac_level", "index 0", keys::flacLevel, 0},
    {4, "cb_flac_bit", "index 2", keys::flacBit, 2},
    {4, "cb_flac_frequency", "index 11", keys::flacFrequency, 11},
    {4, "cb_flac_channel", "index 2", keys::flacChannel, 2},
    {5, "edt_opus_bitrate", "type 96", keys::opusKbps, 96},
    {5, "cb_opus_mode", "index 1", keys::opusMode, 1},
    {5, "cb_opus_channel", "index 1", keys::opusChannel, 1},
    {6, "cb_aac_bitrate", "index 15", keys::aacBitrate, 15},
    {6, "cb_aac_frequency", "index 9", keys::aacFrequency, 9},
    {6, "cb_aac_channel", "index 2", keys::aacChannel, 2},
    {7, "cb_jobs", "index 3", keys::jobs, 3},
    {7, "cbx_copy_same_format", "click", keys::copySameFormat, 1},
    {7, "cb_replaygain", "index 2", keys::replayGain, 2},
    {7, "cbx_normalize", "click", keys::normalize, 1},
};

// A file where every key differs from its default.
const QByteArray NonDefaults = "; kept by hand\n[basic]\nformat=3\njobs=5\n\n"
                               "[mp3]\nbitrate=16\nchannel=0\nfrequency=3\nquality=2\n"
                               "enable vbr=1\nvbr bitrate=5\nvbr quality=4\n\n"
                               "[wav]\nmode=2\nbit=0\nchannel=0\nfrequency=1\n\n"
                               "[wma]\nformat=46\n\n"
                               "[ogg]\nchannel=0\nfrequency=8\nbitrate=2\nmax bitrate=13\n"
                               "min bitrate=4\nenable quality=0\nquality=750\n\n"
                               "[flac]\ncompression level=8\nbit=2\nfrequency=13\nchannel=1\n\n"
                               "[opus]\nkbps=64\nmode=2\nchannel=2\n\n"
                               "[aac]\nbitrate=16\nfrequency=11\nchannel=1\n";
} // namespace

// The settings files live in memory where the system offers a folder there: OK syncs every
// key it writes, which on a disk costs a quarter of a second each time.
static QString tempTemplate()
{
    const QString base = QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    return base + QStringLiteral("/test_settings_dialog-XXXXXX");
}

class TestSettingsDialog : public QObject {
    Q_OBJECT
    QTemporaryDir tmp{tempTemplate()};
    QString path;
    std::unique_ptr<AppState> state;
    std::unique_ptr<Tfm_set> dlg;
    QStringList errors; // what reached the exception hook

    void put(const QByteArray& content)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(content), content.size());
    }
    QByteArray content() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString stored(const char* section, const char* key) const
    {
        return SettingsFile(path).read_string(section, key, Absent);
    }
    QString stored(const IntKey& k) const { return stored(k.section, k.key); }

    void showDialog()
    {
        dlg->show();
        dlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
    }
    // Replaces the whole text of a field by typing, as a user would.
    static void retype(QLineEdit* e, const QString& keys)
    {
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, keys);
    }
    static void clickBox(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2)); }
    static QToolButton* arrow(UpDown* ud, int which)
    {
        return ud->findChildren<QToolButton*>().at(which);
    }

    // Does what a row of Controls says to its control, on its page.
    void act(const char* control, const char* action, int page)
    {
        dlg->pc->setCurrentIndex(page);
        QWidget* widget = dlg->findChild<QWidget*>(control);
        QVERIFY2(widget, control);
        const QString verb = QString(action).section(' ', 0, 0), arg = QString(action).section(' ', 1);
        if (verb == "index") {
            auto* cb = qobject_cast<QComboBox*>(widget);
            QVERIFY2(cb, control);
            cb->setCurrentIndex(arg.toInt());
        } else if (verb == "key") {
            widget->setFocus();
            QTest::keyClick(widget, arg == "Up" ? Qt::Key_Up : Qt::Key_Down);
        } else if (verb == "type") {
            auto* e = qobject_cast<QLineEdit*>(widget);
            QVERIFY2(e, control);
            retype(e, arg);
        } else {
            auto* b = qobject_cast<QAbstractButton*>(widget);
            QVERIFY2(b && verb == "click", control);
            clickBox(b);
        }
    }
    // What the control shows, in the terms a stored value has: a list's position, a field's
    // text, a box's state (1 checked, 0 not).
    QString shown(const char* control) const
    {
        QWidget* widget = dlg->findChild<QWidget*>(control);
        if (auto* cb = qobject_cast<QComboBox*>(widget))
            return QString::number(cb->currentIndex());
        if (auto* e = qobject_cast<QLineEdit*>(widget))
            return e->text();
        if (auto* b = qobject_cast<QAbstractButton*>(widget))
            return b->isChecked() ? "1" : "0";
        return Absent;
    }

    void checkDefaultsShown()
    {
        QCOMPARE(dlg->cb_mp3_bitrate->currentText(), QString("128 Kbps"));
        QCOMPARE(dlg->cb_mp3_channel->currentText(), QString("Stereo"));
        QCOMPARE(dlg->cb_mp3_frequency->currentText(), QString("44100 Hz"));
        QCOMPARE(dlg->edt_mp3_quality->text(), QString("9"));
        QVERIFY(!dlg->cb_vbr->isChecked());
        QCOMPARE(dlg->cb_mp3_vbr->currentText(), QString("128 Kbps"));
        QCOMPARE(dlg->edt_mp3_vbr->text(), QString("9"));
        for (QWidget* w : {(QWidget*)dlg->cb_mp3_vbr, (QWidget*)dlg->edt_mp3_vbr, (QWidget*)dlg->ud_mp3_vbr})
            QVERIFY(!w->isEnabled());
        QVERIFY(dlg->rb_cdquality->isChecked());
        QCOMPARE(dlg->cb_wav_bit->currentText(), QString("16 bits"));
        QCOMPARE(dlg->cb_wav_channel->currentText(), QString("Stereo"));
        QCOMPARE(dlg->cb_wav_frequency->currentText(), QString("44100 Hz"));
        for (QWidget* w : {dlg->cb_wav_bit, dlg->cb_wav_channel, dlg->cb_wav_frequency})
            QVERIFY(!w->isEnabled());
        QCOMPARE(dlg->cb_wma->currentText(), QString("WMA9 44KHz, 128Kbps, Stereo, CBR"));
        QCOMPARE(dlg->cb_ogg_channel->currentText(), QString("Stereo"));
        QCOMPARE(dlg->cb_ogg_fre->currentText(), QString("44100 Hz"));
        for (QComboBox* cb : {dlg->cb_ogg_bitrate, dlg->cb_ogg_minbit, dlg->cb_ogg_maxbit})
            QCOMPARE(cb->currentText(), QString("128 Kbps"));
        QVERIFY(dlg->cb_ogg_bitrate->isEnabled());
        QVERIFY(!dlg->cb_ogg_minbit->isEnabled() && !dlg->cb_ogg_maxbit->isEnabled());
        QVERIFY(dlg->cb_ogg_quality->isChecked());
        QCOMPARE(dlg->edt_ogg_quality->text(), QString("300"));
        QVERIFY(dlg->edt_ogg_quality->isEnabled() && dlg->ud_ogg_quality->isEnabled());
        QCOMPARE(dlg->cb_jobs->currentIndex(), 0);
        QVERIFY(dlg->cb_jobs->currentText().startsWith("Automatic ("));
        QCOMPARE(dlg->cb_flac_level->currentText(), QString("5"));
        for (QComboBox* cb : {dlg->cb_flac_bit, dlg->cb_flac_frequency, dlg->cb_flac_channel, dlg->cb_opus_channel,
                              dlg->cb_aac_channel})
            QCOMPARE(cb->currentText(), QString("As the source"));
        QCOMPARE(dlg->cb_aac_frequency->currentText(), QString("As the source (up to 48 kHz)"));
        QCOMPARE(dlg->edt_opus_bitrate->text(), QString("128"));
        QCOMPARE(dlg->cb_opus_mode->currentText(), QString("VBR"));
        QCOMPARE(dlg->cb_aac_bitrate->currentText(), QString("192 Kbps"));
    }

private slots:
    void init()
    {
        static int n = 0;
        path = tmp.filePath(QStringLiteral("trevalon%1.ini").arg(++n));
        errors.clear();
        setExceptionHandler([this](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& ex) {
                errors << QString::fromStdString(ex.what());
            }
        });
        state = std::make_unique<AppState>();
        state->openSettings(std::make_unique<SettingsFile>(path));
        dlg = std::make_unique<Tfm_set>(*state);
    }
    void cleanup()
    {
        dlg.reset();
        state.reset();
        setExceptionHandler({});
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }

    void formLayoutNamesAndLists()
    {
        showDialog();
        QCOMPARE(dlg->objectName(), QString("fm_set"));
        QCOMPARE(dlg->windowTitle(), QString("Settings"));
        QCOMPARE(dlg->size(), QSize(391, 349));
        QCOMPARE(dlg->minimumSize(), dlg->maximumSize());
        QCOMPARE(dlg->gb_output->title(), QString("Output Settings"));
        QCOMPARE(dlg->gb_output->geometry(), QRect(12, 10, 366, 295));
        QCOMPARE(dlg->pc->size(), QSize(341, 260));
        QStringList tabs;
        for (int i = 0; i < dlg->pc->count(); ++i)
            tabs << dlg->pc->tabText(i);
        QCOMPARE(tabs, QStringList({"MP3", "WAV", "OGG", "WMA", "FLAC", "Opus", "M4A (AAC)", "General", "Naming"}));
        // Every tab shows its whole caption, none hidden behind scroll buttons.
        const QTabBar* bar = dlg->pc->findChild<QTabBar*>();
        QVERIFY(bar->geometry().right() <= dlg->pc->width());
        for (int i = 0; i < bar->count(); ++i)
            QVERIFY(bar->tabRect(i).width() > bar->fontMetrics().horizontalAdvance(bar->tabText(i)));

        const struct { QPushButton* b; const char* name; const char* text; int left; } buttons[] = {
            {dlg->btn_ok, "btn_ok", "OK", 31},
            {dlg->btn_default, "btn_default", "Default", 157},
            {dlg->btn_cancel, "btn_cancel", "Cancel", 285}};
        for (const auto& b : buttons) {
            QCOMPARE(b.b->objectName(), QString(b.name));
            QCOMPARE(b.b->text(), QString(b.text));
            QCOMPARE(b.b->geometry(), QRect(b.left, 314, 75, 25));
            QVERIFY(!b.b->isDefault() && !b.b->autoDefault());
        }

        // Every control by its name, once.
        for (const char* name :
             {"cb_mp3_frequency", "cb_mp3_channel", "cb_mp3_bitrate", "edt_mp3_quality",
              "ud_mp3_quality", "cb_vbr", "cb_mp3_vbr", "edt_mp3_vbr", "ud_mp3_vbr",
              "rb_cdquality", "rb_bestsuited", "rb_custom", "cb_wav_frequency", "cb_wav_channel",
              "cb_wav_bit", "cb_ogg_fre", "cb_ogg_channel", "cb_ogg_bitrate", "cb_ogg_quality",
              "cb_ogg_minbit", "cb_ogg_maxbit", "edt_ogg_quality", "ud_ogg_quality", "cb_wma", "pc",
              "cb_flac_frequency", "cb_flac_channel", "cb_flac_bit", "cb_flac_level", "edt_opus_bitrate",
              "ud_opus_bitrate", "cb_opus_channel", "cb_opus_mode", "cb_aac_frequency", "cb_aac_channel",
              "cb_aac_bitrate"})
            QVERIFY2(dlg->findChildren<QWidget*>(name).size() == 1, name);

        const QStringList freq{"8000 Hz", "11025 Hz", "12000 Hz", "16000 Hz", "22050 Hz",
                               "24000 Hz", "32000 Hz", "44100 Hz", "48000 Hz"};
        const QStringList rates{"8 Kbps", "16 Kbps", "24 Kbps", "32 Kbps", "40 Kbps", "48 Kbps",
                                "56 Kbps", "64 Kbps", "80 Kbps", "96 Kbps", "112 Kbps", "128 Kbps",
                                "160 Kbps", "192 Kbps", "224 Kbps", "256 Kbps", "320 Kbps"};
        QStringList profiles;
        for (const char* p : wma_profiles)
            profiles << p;
        QCOMPARE(profiles.size(), 47);
        QStringList jobs{QString("Automatic (%1)").arg(std::max(1, QThread::idealThreadCount()))};
        for (int n = 1; n <= 32; ++n)
            jobs << QString::number(n);
        const auto items = [](QComboBox* cb) {
            QStringList l;
            for (int i = 0; i < cb->count(); ++i)
                l << cb->itemText(i);
            return l;
        };
        const QString source = "As the source";
        // M4A follows the source only up to 48 kHz, and its first item says so.
        QStringList flacFreq{source}, aacFreq{source + " (up to 48 kHz)"};
        for (int hz : {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 88200, 96000})
            flacFreq << QString("%1 Hz").arg(hz), aacFreq << QString("%1 Hz").arg(hz);
        flacFreq << "176400 Hz" << "192000 Hz";
        for (QComboBox* cb : dlg->findChildren<QComboBox*>()) {
            QVERIFY2(!cb->isEditable(), qPrintable(cb->objectName()));
            const QString n = cb->objectName();
            const bool newer = n.contains("flac") || n.contains("opus") || n.contains("aac");
            const QStringList expected = n == "cb_flac_frequency" ? flacFreq
                : n == "cb_aac_frequency"                      ? aacFreq
                : newer && n.contains("channel")               ? QStringList{source, "Mono", "Stereo"}
                : n == "cb_flac_bit"                           ? QStringList{source, "16 bits", "24 bits"}
                : n == "cb_flac_level"                         ? QStringList{"0", "1", "2", "3", "4", "5", "6", "7", "8"}
                : n == "cb_opus_mode"                          ? QStringList{"VBR", "Constrained VBR", "CBR"}
                : n.contains("fre")                            ? freq
                : n.contains("channel")                        ? QStringList{"Mono", "Stereo"}
                : n == "cb_wav_bit"                            ? QStringList{"8 bits", "16 bits"}
                : n == "cb_wma"                                ? profiles
                : n == "cb_jobs"                               ? jobs
                : n == "cb_replaygain"                         ? QStringList{"None", "Track", "Track and album"}
                : n == "cb_existing"                           ? QStringList{"Ask", "Skip", "Overwrite", "Rename: name (2)",
                                                                             "Update if older than the source"}
                : n == "cb_ready_pattern"                      ? QStringList{"As the file's name", "Artist/Album/Track Title",
                                                                             "Album Artist/Year - Album/Disc-Track Title",
                                                                             "Artist - Title", "Track Title"}
                                                               : rates;
            QCOMPARE(items(cb), expected);
        }
        QCOMPARE(dlg->ud_opus_bitrate->minimum(), 6);
        QCOMPARE(dlg->ud_opus_bitrate->maximum(), 510);
        QCOMPARE(dlg->ud_opus_bitrate->buddy(), dlg->edt_opus_bitrate);
        QCOMPARE(dlg->cb_wma->width(), 288);
        QCOMPARE(dlg->edt_mp3_quality->maxLength(), 1);
        QCOMPARE(dlg->edt_mp3_vbr->maxLength(), 1);
        QCOMPARE(dlg->edt_ogg_quality->maxLength(), 5);
        QCOMPARE(dlg->ud_mp3_quality->buddy(), dlg->edt_mp3_quality);
        QCOMPARE(dlg->ud_ogg_quality->maximum(), 1000);

        QStringList texts;
        for (QLabel* l : dlg->findChildren<QLabel*>())
            texts << l->text();
        for (QAbstractButton* b : dlg->findChildren<QAbstractButton*>())
            texts << b->text();
        QMap<QString, QSize> groups;
        for (QGroupBox* g : dlg->findChildren<QGroupBox*>())
            groups.insert(g->title() + "@" + g->parentWidget()->objectName(), g->size());
        QCOMPARE(groups.value("General Options@ts_mp3"), QSize(310, 113));
        QCOMPARE(groups.value("VBR (Variable Bit Rate)@ts_mp3"), QSize(310, 96));
        QCOMPARE(groups.value("Mode@ts_wav"), QSize(307, 90));
        QCOMPARE(groups.value("General Options@ts_wav"), QSize(307, 119));
        QCOMPARE(groups.value("General Options@ts_ogg"), QSize(310, 87));
        QCOMPARE(groups.value("VBR (Variable Bit Rate)@ts_ogg"), QSize(310, 133));
        QCOMPARE(groups.value("WMA Format@ts_wma"), QSize(309, 103));
        for (const char* t :
             {"Frequency: ", "Channel: ", "Bitrate: ", "Quality: ", "VBR Bitrate: ", "VBR Quality: ",
              "Channel:", "Bit Per Sample:", "Min Bitrate: ", "Max Bitrate: ", "Enable VBR",
              "Enable Quality", "CD quality WAV format (for burning audio CD)",
              "Best suited WAV format", "Custom format",
              "8Kbps - poor quality, small file, 320Kbps - good quality, big file",
              "Quality: 0 - best quality, low speed, 9 - low quality, fast speed. ",
              "To set the parameters below, please choose \"Custom Format\" ",
              "To small created file, low frequency or bit per sample, but ",
              "quality will be lowered accordingly. ",
              "0 - best quality, low speed, 1000 - low quality, fast speed . ",
              "If quality enabled, the bitrate just affects the conversion ",
              "speed and the quality of the result file, not decide. "})
            QVERIFY2(texts.contains(t), t);
        QCOMPARE(texts.count("Quality: 0 - best quality, low speed, 9 - low quality, fast speed. "), 2);
    }

    void keyboardFocusEnterAndEscape()
    {
        showDialog();
        QCOMPARE(dlg->focusWidget(), dlg->btn_ok);
        QTest::keyClick(dlg->focusWidget(), Qt::Key_Tab);
        QCOMPARE(dlg->focusWidget(), dlg->btn_default);
        QTest::keyClick(dlg->focusWidget(), Qt::Key_Tab);
        QCOMPARE(dlg->focusWidget(), dlg->btn_cancel);
        QTest::keyClick(dlg->focusWidget(), Qt::Key_Tab);
        QVERIFY(dlg->pc->hasFocus());

        // Enter in a field and Esc anywhere do nothing; Enter on a focused button presses it.
        dlg->edt_mp3_quality->setFocus();
        QTest::keyClick(dlg->edt_mp3_quality, Qt::Key_Return);
        QTest::keyClick(dlg->edt_mp3_quality, Qt::Key_Escape);
        QTest::keyClick(dlg.get(), Qt::Key_Escape);
        QVERIFY(dlg->isVisible());
        dlg->btn_cancel->setFocus();
        QTest::keyClick(dlg->btn_cancel, Qt::Key_Return);
        QVERIFY(!dlg->isVisible());
        QVERIFY(!QFile::exists(path));
        showDialog();
        dlg->btn_ok->setFocus();
        QTest::keyClick(dlg->btn_ok, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(!dlg->isVisible());
        QCOMPARE(stored(keys::oggQuality), QString("300"));
    }

    void defaultsWithoutSettingsFile()
    {
        state->releaseSettings(); // also without any store
        showDialog();
        checkDefaultsShown();
        dlg->close();
        state->openSettings(std::make_unique<SettingsFile>(path));
        showDialog();
        QCOMPARE(dlg->pc->currentIndex(), 0);
        checkDefaultsShown();
        QVERIFY(!QFile::exists(path)); // showing reads only
        QVERIFY(errors.isEmpty());
    }

    // Each control alone: set on its page, stored by OK under its key, shown again next time.
    void eachControlStoresItsKey_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("needs");
        for (const ControlCase& c : Controls)
            QTest::newRow(c.control) << c.page << QString(c.control) << QString(c.action) << QString(c.key.section)
                                     << QString(c.key.key) << c.stored << QString(c.needs ? c.needs : "");
    }
    void eachControlStoresItsKey()
    {
        QFETCH(int, page);
        QFETCH(QString, control);
        QFETCH(QString, action);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(int, value);
        QFETCH(QString, needs);
        const QByteArray name = control.toLatin1();
        showDialog();
        dlg->pc->setCurrentIndex(page);
        if (!needs.isEmpty())
            clickBox(dlg->findChild<QAbstractButton*>(needs));
        QVERIFY(dlg->findChild<QWidget*>(control)->isEnabled());
        act(name.constData(), action.toLatin1().constData(), page);
        QTest::mouseClick(dlg->btn_ok, Qt::LeftButton);
        QVERIFY(!dlg->isVisible());
        QVERIFY(errors.isEmpty());
        QCOMPARE(stored(section.toLatin1().constData(), key.toLatin1().constData()), QString::number(value));
        showDialog();
        QCOMPARE(shown(name.constData()), name == "rb_custom" ? QString("1") : QString::number(value));
    }

    void okWritesEveryKeyInOrder()
    {
        showDialog();
        for (const ControlCase& c : Controls)
            act(c.control, c.action, c.page);
        QTest::mouseClick(dlg->btn_ok, Qt::LeftButton);
        QVERIFY(!dlg->isVisible());
        QVERIFY(errors.isEmpty());

        QList<QByteArray> lines = content().split('\n');
        lines.removeAll(QByteArray());
        QCOMPARE(lines, QByteArray("[mp3]\nbitrate=16\nchannel=0\nfrequency=3\nquality=2\n"
                                   "enable vbr=1\nvbr bitrate=5\nvbr quality=4\n"
                                   "[wav]\nmode=2\nbit=0\nchannel=0\nfrequency=1\n"
                                   "[wma]\nformat=22\n"
                                   "[ogg]\nchannel=0\nfrequency=8\nbitrate=2\nmax bitrate=13\n"
                                   "min bitrate=4\nenable quality=0\nquality=42\n"
                                   "[flac]\ncompression level=0\nbit=2\nfrequency=11\nchannel=2\n"
                                   "[opus]\nkbps=96\nmode=1\nchannel=1\n"
                                   "[aac]\nbitrate=15\nfrequency=9\nchannel=2\n"
                                   "[basic]\njobs=3\ncopy same format=1\nreplaygain=2\nnormalize=1\nname pattern=\nportable names=0\nexisting=0\nplaylist=0")
                            .split('\n'));
    }

    void defaultThenCancelOrCloseWritesNothing()
    {
        put(NonDefaults);
        showDialog();
        QCOMPARE(dlg->cb_mp3_bitrate->currentText(), QString("320 Kbps"));
        QCOMPARE(dlg->edt_ogg_quality->text(), QString("750"));
        QCOMPARE(dlg->cb_jobs->currentText(), QString("5"));
        QCOMPARE(dlg->cb_flac_frequency->currentText(), QString("192000 Hz"));
        QCOMPARE(dlg->edt_opus_bitrate->text(), QString("64"));
        QCOMPARE(dlg->cb_opus_mode->currentText(), QString("CBR"));
        QCOMPARE(dlg->cb_aac_bitrate->currentText(), QString("320 Kbps"));
        QVERIFY(dlg->rb_custom->isChecked() && dlg->cb_wav_bit->isEnabled());
        dlg->pc->setCurrentIndex(2);
        QTest::mouseClick(dlg->btn_default, Qt::LeftButton);
        QCOMPARE(dlg->pc->currentIndex(), 2);
        checkDefaultsShown();
        QTest::mouseClick(dlg->btn_cancel, Qt::LeftButton);
        QVERIFY(!dlg->isVisible());
        QCOMPARE(content(), NonDefaults);

        // The next showing starts from the file again; the close box writes nothing either.
        showDialog();
        QCOMPARE(dlg->cb_mp3_bitrate->currentText(), QString("320 Kbps"));
        QVERIFY(dlg->cb_vbr->isChecked() && !dlg->cb_ogg_quality->isChecked());
        QTest::mouseClick(dlg->btn_default, Qt::LeftButton);
        dlg->close();
        QVERIFY(!dlg->isVisible());
        QCOMPARE(content(), NonDefaults);
    }

    void defaultThenOkWritesDefaults()
    {
        put(NonDefaults);
        showDialog();
        QTest::mouseClick(dlg->btn_default, Qt::LeftButton);
        QTest::mouseClick(dlg->btn_ok, Qt::LeftButton);
        for (const IntKey& k : AllKeys)
            QCOMPARE(stored(k), QString::number(k.def));
        QCOMPARE(stored("basic", "format"), QString("3"));
    }

    // The naming keys come back from OK as they were, quotes and bars of a pattern included,
    // and a hand-edited rule out of range shows as Ask; Default then OK writes the defaults.
    void okKeepsAndDefaultResetsTheNamingKeys()
    {
        const QByteArray pattern = "{albumartist|artist|\"Various\"}/{album}/{track:02} {title}";
        put("[basic]\nname pattern=" + pattern + "\nportable names=1\nexisting=9\ncopy same format=1\n");
        showDialog();
        QCOMPARE(dlg->edt_pattern->text(), QString::fromUtf8(pattern));
        QCOMPARE(dlg->cb_existing->currentIndex(), 0);
        QTest::mouseClick(dlg->btn_ok, Qt::LeftButton);
        QVERIFY(!dlg->isVisible());
        QCOMPARE(readKey(SettingsFile(path), keys::namePattern), QString::fromUtf8(pattern));
        QCOMPARE(readKey(SettingsFile(path), keys::portableNames), 1);
        QCOMPARE(readKey(SettingsFile(path), keys::existing), 0);
        QCOMPARE(readKey(SettingsFile(path), keys::copySameFormat), 1);
        showDialog();
        QTest::mouseClick(dlg->btn_default, Qt::LeftButton);
        QTest::mouseClick(dlg->btn_ok, Qt::LeftButton);
        QCOMPARE(readKey(SettingsFile(path), keys::namePattern), QString());
        QCOMPARE(readKey(SettingsFile(path), keys::portableNames), 0);
        QCOMPARE(readKey(SettingsFile(path), keys::copySameFormat), 0);
    }

    void oggQualityTypingEmptyingAndStepping()
    {
        showDialog();
        dlg->pc->setCurrentIndex(2);
        QLineEdit* e = dlg->edt_ogg_quality;
        UpDown* ud = dlg->ud_ogg_quality;
        retype(e, "5000");
        QCOMPARE(e->text(), QString("1,000"));
        QCOMPARE(ud->position(), 1000);
        QTest::keyClick(e, Qt::Key_Up); // stops at the limit
        QCOMPARE(e->text(), QString("1,000"));
        QTest::keyClick(e, Qt::Key_Backspace); // "1,00" reads 100
        QCOMPARE(e->text(), QString("100"));

        // An emptied field is position 0 and stays empty until the focus leaves it.
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QCOMPARE(e->text(), QString());
        QCOMPARE(ud->storedPosition(), 0);
        QTest::keyClick(e, Qt::Key_Tab);
        QVERIFY(!e->hasFocus());
        QCOMPARE(e->text(), QString("0"));
        QTest::mouseClick(arrow(ud, 1), Qt::LeftButton); // down at 0 stays
        QCOMPARE(e->text(), QString("0"));
        QTest::mouseClick(arrow(ud, 0), Qt::LeftButton);
        QTest::mouseClick(arrow(ud, 0), Qt::LeftButton);
        QCOMPARE(e->text(), QString("2"));
        e->setFocus();
        e->end(false);
        QTest::keyClicks(e, "0"); // "20"
        QTest::keyClick(e, Qt::Key_Down);
        QCOMPARE(e->text(), QString("19"));

        // Emptied and saved without leaving the field: position 0.
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::mouseClick(dlg->btn_ok, Qt::LeftButton);
        QCOMPARE(stored(keys::oggQuality), QString("0"));
    }

    // A number beyond a field's range shows (and is saved as) the nearest limit; a position
    // beyond a list selects the list's default.
    void storedValueOutsideItsRange_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("saved");
        const auto row = [](const char* file, const char* control, const char* shown, const char* saved) {
            QTest::addRow("%s: %s", control, file) << QByteArray(file) << QString(control) << QString(shown)
                                                    << QString(saved);
        };
        row("[ogg]\nquality=5000\n", "edt_ogg_quality", "1,000", "1000");
        row("[ogg]\nquality=-20\n", "edt_ogg_quality", "0", "0");
        row("[mp3]\nquality=15\n", "edt_mp3_quality", "9", "9");
        row("[mp3]\nvbr quality=-3\n", "edt_mp3_vbr", "0", "0");
        row("[opus]\nkbps=9999\n", "edt_opus_bitrate", "510", "510");
        row("[mp3]\nbitrate=40\n", "cb_mp3_bitrate", "11", "11");
        row("[mp3]\nchannel=-1\n", "cb_mp3_channel", "1", "1");
        row("[mp3]\nfrequency=9\n", "cb_mp3_frequency", "7", "7");
        row("[wav]\nbit=2\n", "cb_wav_bit", "1", "1");
        row("[wma]\nformat=47\n", "cb_wma", "9", "9");
        row("[ogg]\nmin bitrate=17\n", "cb_ogg_minbit", "11", "11");
        row("[ogg]\nmax bitrate=0x7fffffff\n", "cb_ogg_maxbit", "11", "11");
        row("[flac]\nfrequency=14\n", "cb_flac_frequency", "0", "0");
        row("[flac]\ncompression level=9\n", "cb_flac_level", "5", "5");
        row("[opus]\nmode=3\n", "cb_opus_mode", "0", "0");
        row("[aac]\nbitrate=-1\n", "cb_aac_bitrate", "13", "13");
    }
    void storedValueOutsideItsRange()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, control);
        QFETCH(QString, shown);
        QFETCH(QString, saved);
        put(file);
        showDialog();
        QCOMPARE(this->shown(control.toLatin1().constData()), shown);
        QTest::mouseClick(dlg->btn_ok, Qt::LeftButton);
        const QList<QByteArray> line = file.split('\n');
        const QByteArray section = line[0].mid(1, line[0].size() - 2), key = line[1].split('=')[0];
        QCOMPARE(stored(section.constData(), key.constData()), saved);
    }

    void keyFilterOfTheNumberFields()
    {
        showDialog();
        dlg->pc->setCurrentIndex(2);
        clickBox(dlg->cb_vbr);
        for (QLineEdit* e : {dlg->edt_mp3_quality, dlg->edt_mp3_vbr, dlg->edt_ogg_quality, dlg->edt_opus_bitrate}) {
            retype(e, "a Z-+.,e");
            QCOMPARE(e->text(), QString());
            QTest::keyClicks(e, "7");
            QCOMPARE(e->text(), QString("7"));
            QTest::keyClick(e, Qt::Key_Backspace);
            QCOMPARE(e->text(), QString());
        }
        // One digit in the MP3 fields.
        retype(dlg->edt_mp3_quality, "57");
        QCOMPARE(dlg->edt_mp3_quality->text(), QString("5"));
        retype(dlg->edt_ogg_quality, "7x7");
        QCOMPARE(dlg->edt_ogg_quality->text(), QString("77"));
    }

    void pastedTextBypassesTheFilter()
    {
        showDialog();
        QLineEdit* e = dlg->edt_ogg_quality;
        const auto paste = [e](const QString& text) {
            QGuiApplication::clipboard()->setText(text);
            e->setFocus();
            e->selectAll();
            QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
        };
        paste("2,5");
        QCOMPARE(e->text(), QString("25"));
        // Text that is no number is ignored: the position stays, and no error is raised.
        paste("abc");
        QCOMPARE(e->text(), QString("25"));
        QCOMPARE(dlg->ud_ogg_quality->position(), 25);
        paste("-5");
        QCOMPARE(e->text(), QString("0"));
        QVERIFY(errors.isEmpty());

        // An MP3 field holding no number saves the position its up-down last held.
        QGuiApplication::clipboard()->setText("x");
        dlg->edt_mp3_quality->setFocus();
        dlg->edt_mp3_quality->selectAll();
        QTest::keyClick(dlg->edt_mp3_quality, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(dlg->edt_mp3_quality->text(), QString("x"));
        QTest::mouseClick(arrow(dlg->ud_mp3_quality, 1), Qt::LeftButton); // 9 -> 8
        QCOMPARE(dlg->edt_mp3_quality->text(), QString("8"));
        dlg->edt_mp3_quality->clear();
        QTest::mouseClick(dlg->btn_ok, Qt::LeftButton);
        QCOMPARE(stored(keys::mp3Quality), QString("8"));
    }

    void enablingRules()
    {
        // Loading runs the rules too.
        put("[mp3]\nenable vbr=1\n[wav]\nmode=2\n[ogg]\nenable quality=0\n");
        showDialog();
        QVERIFY(dlg->cb_mp3_vbr->isEnabled() && dlg->edt_mp3_vbr->isEnabled() && dlg->ud_mp3_vbr->isEnabled());
        QVERIFY(dlg->cb_wav_frequency->isEnabled() && dlg->cb_wav_bit->isEnabled() && dlg->cb_wav_channel->isEnabled());
        QVERIFY(!dlg->edt_ogg_quality->isEnabled() && !dlg->ud_ogg_quality->isEnabled());
        QVERIFY(dlg->cb_ogg_minbit->isEnabled() && dlg->cb_ogg_maxbit->isEnabled());

        clickBox(dlg->cb_vbr);
        QVERIFY(!dlg->cb_mp3_vbr->isEnabled() && !dlg->edt_mp3_vbr->isEnabled() && !dlg->ud_mp3_vbr->isEnabled());
        dlg->pc->setCurrentIndex(1);
        clickBox(dlg->rb_bestsuited);
        QVERIFY(!dlg->cb_wav_frequency->isEnabled() && !dlg->cb_wav_bit->isEnabled() && !dlg->cb_wav_channel->isEnabled());
        clickBox(dlg->rb_custom);
        QVERIFY(dlg->cb_wav_frequency->isEnabled() && dlg->cb_wav_bit->isEnabled() && dlg->cb_wav_channel->isEnabled());
        clickBox(dlg->rb_cdquality);
        QVERIFY(!dlg->cb_wav_frequency->isEnabled());
        dlg->pc->setCurrentIndex(2);
        clickBox(dlg->cb_ogg_quality);
        QVERIFY(dlg->edt_ogg_quality->isEnabled() && dlg->ud_ogg_quality->isEnabled());
        QVERIFY(!dlg->cb_ogg_minbit->isEnabled() && !dlg->cb_ogg_maxbit->isEnabled());
        QVERIFY(dlg->cb_ogg_bitrate->isEnabled());
        clickBox(dlg->cb_ogg_quality);
        QVERIFY(!dlg->edt_ogg_quality->isEnabled() && dlg->cb_ogg_minbit->isEnabled());
        dlg->pc->setCurrentIndex(0);
        clickBox(dlg->cb_vbr);
        QVERIFY(dlg->cb_mp3_vbr->isEnabled() && dlg->edt_mp3_vbr->isEnabled() && dlg->ud_mp3_vbr->isEnabled());
    }

    void everyShowingOpensOnTheMp3Page()
    {
        put("[basic]\nformat=3\n");
        showDialog();
        QCOMPARE(dlg->pc->currentIndex(), 0);
        dlg->pc->setCurrentIndex(3);
        QTest::mouseClick(dlg->btn_cancel, Qt::LeftButton);
        showDialog();
        QCOMPARE(dlg->pc->currentIndex(), 0);
        QCOMPARE(dlg->pc->tabText(dlg->pc->currentIndex()), QString("MP3"));
    }

    void unknownWavModeKeepsTheEarlierSelection()
    {
        put("[wav]\nmode=7\n");
        showDialog();
        for (QRadioButton* rb : {dlg->rb_cdquality, dlg->rb_bestsuited, dlg->rb_custom})
            QVERIFY(!rb->isChecked());
        QVERIFY(!dlg->cb_wav_frequency->isEnabled());
        QTest::mouseClick(dlg->btn_ok, Qt::LeftButton);
        QCOMPARE(stored(keys::wavMode), QString("7")); // no choice, nothing written
        QCOMPARE(stored(keys::wavFrequency), QString("7"));

        put("[wav]\nmode=2\n");
        showDialog();
        QVERIFY(dlg->rb_custom->isChecked());
        QTest::mouseClick(dlg->btn_cancel, Qt::LeftButton);
        put("[wav]\nmode=7\n");
        showDialog();
        QVERIFY(dlg->rb_custom->isChecked() && dlg->cb_wav_frequency->isEnabled());
    }

    void writeFailureReachesTheHook()
    {
        const QByteArray before = "[basic]\nformat=1\n";
        put(before);
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        showDialog();
        QTest::mouseClick(dlg->btn_ok, Qt::LeftButton);
        QCOMPARE(errors, QStringList{"Unable to write to " + path});
        QVERIFY(dlg->isVisible()); // the dialog closes only after its writes
        QCOMPARE(content(), before);

        // A failure in the middle: the store refuses to grow a file past its size ceiling
        // (16 MiB), so the first key still fits and the second one is refused.
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        errors.clear();
        const qsizetype ceiling = 16 * 1024 * 1024;
        QByteArray big = "[mp3]\n;" + QByteArray(ceiling - 8, 'x') + "\n";
        QCOMPARE(big.size(), ceiling);
        put(big);
        QTest::mouseClick(dlg->btn_ok, Qt::LeftButton);
        QCOMPARE(errors, QStringList{"Unable to write to " + path});
        const QByteArray after = content();
        QVERIFY(after.startsWith("[mp3]\nbitrate=11\n;xxx"));
        QVERIFY(!after.contains("channel="));
        QVERIFY(dlg->isVisible());
    }

    void thousandsGrouping()
    {
        QCOMPARE(UpDown::groupThousands(0), QString("0"));
        QCOMPARE(UpDown::groupThousands(999), QString("999"));
        QCOMPARE(UpDown::groupThousands(1000), QString("1,000"));
        QCOMPARE(UpDown::groupThousands(-32768), QString("-32,768"));
        int n = 0;
        QVERIFY(UpDown::parseGrouped(" 1,000 ", &n) && n == 1000);
        QVERIFY(!UpDown::parseGrouped("1.000", &n));
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "test_settings_dialog.moc"
