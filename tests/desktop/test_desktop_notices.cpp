#include "ConversionFixture.h"
#include "RunNotices.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProgressBar>
#include <QRegularExpression>
#include <QWidget>

using namespace sondrel;

// What the desktop hears on the session bus: the Notify calls a notification service gets,
// and the launcher entry's Update signals. One connection does both, so a Notify sent before
// an Update arrives before it.
class DesktopRecorder : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notice {
        QString app, summary, body;
    };
    struct Update {
        QString uri;
        QVariantMap properties;
        bool cleared() const
        {
            return !properties.value("progress-visible").toBool() && !properties.value("count-visible").toBool();
        }
    };
    QList<Notice> notices;
    QList<Update> updates;

    explicit DesktopRecorder(QDBusConnection bus) : m_bus(bus) {}
    bool listen()
    {
        return m_bus.registerObject("/org/freedesktop/Notifications", this, QDBusConnection::ExportAllSlots)
            && m_bus.registerService("org.freedesktop.Notifications")
            && m_bus.connect({}, "/org/sondrel/LauncherEntry", "com.canonical.Unity.LauncherEntry", "Update", this,
                             SLOT(launcherUpdate(QString, QVariantMap)));
    }
    void clear()
    {
        notices.clear();
        updates.clear();
    }

public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int)
    {
        notices.push_back({app, summary, body});
        return uint(notices.size());
    }
    void launcherUpdate(const QString& uri, const QVariantMap& properties) { updates.push_back({uri, properties}); }

private:
    QDBusConnection m_bus;
};

// A conversion or an adding left alone is told to the desktop: its progress on the task bar
// entry while it runs, a notification with the window's summary when it ends; the window in
// front or a short run gets no notification; without a bus the run goes on as ever.
class TestDesktopNotices : public ConversionFixture {
    Q_OBJECT
    std::unique_ptr<DesktopRecorder> desktop;
    QWidget other; // another window of the desktop, made active to leave the program's alone

    static bool withoutBus() { return qEnvironmentVariableIsSet("SONDREL_TEST_NO_BUS"); }
    void leaveWindowAlone(bool alone)
    {
        QWidget& front = alone ? static_cast<QWidget&>(other) : static_cast<QWidget&>(w());
        front.show();
        front.activateWindow();
        QTRY_VERIFY_WITH_TIMEOUT(front.isActiveWindow(), 10000);
    }
    // Waits until the task bar entry was cleared after the run (everything the program sent
    // before the clearing has then arrived).
    bool waitCleared()
    {
        return QTest::qWaitFor([this] { return !desktop->updates.isEmpty() && desktop->updates.last().cleared(); },
                               30000);
    }

private slots:
    void initTestCase()
    {
        if (withoutBus())
            return;
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "desktop");
        QVERIFY2(bus.isConnected(), "no session bus: run under dbus-run-session");
        desktop = std::make_unique<DesktopRecorder>(bus);
        QVERIFY(desktop->listen());
        other.resize(100, 100);
    }
    void init()
    {
        QVERIFY(startFresh());
        if (desktop)
            desktop->clear();
    }
    void cleanup() { stop(); }

    void conversionEnd_data()
    {
        QTest::addColumn<bool>("alone");
        QTest::addColumn<qint64>("thresholdMs");
        QTest::addColumn<bool>("notified");
        QTest::newRow("left alone") << true << qint64(0) << true;
        QTest::newRow("window in front") << false << qint64(0) << false;
        QTest::newRow("shorter than the threshold") << true << qint64(3600000) << false;
    }
    void conversionEnd()
    {
        if (withoutBus())
            QSKIP("needs the session bus");
        QFETCH(bool, alone);
        QFETCH(qint64, thresholdMs);
        QFETCH(bool, notified);
        add({source("a.wav", 0.5), source("b.wav", 0.5), source("c.wav", 0.5)});
        QVERIFY(waitCleared()); // the adding's updates are all in
        desktop->clear();
        w().runNotices().setThresholdMs(thresholdMs);
        leaveWindowAlone(alone);
        setJobs(1);
        convert();
        QCOMPARE(statuses(), QStringList({"finish", "finish", "finish"}));
        QVERIFY(waitCleared());

        // While it ran: the bar from the start with every file to go, then fewer and fewer.
        const auto& updates = desktop->updates;
        QVERIFY(updates.size() >= 4);
        QCOMPARE(updates.first().uri, QString("application://sondrel.desktop"));
        QCOMPARE(updates.first().properties.value("progress-visible").toBool(), true);
        QCOMPARE(updates.first().properties.value("count").toLongLong(), 3);
        qint64 count = 3;
        double progress = 0;
        for (qsizetype i = 0; i + 1 < updates.size(); ++i) {
            const QVariantMap& p = updates[i].properties;
            QVERIFY(p.value("count-visible").toBool());
            QCOMPARE(p.value("count").metaType(), QMetaType::fromType<qint64>());
            QVERIFY(p.value("count").toLongLong() <= count);
            QVERIFY(p.value("progress").toDouble() >= progress && p.value("progress").toDouble() <= 1.0);
            count = p.value("count").toLongLong();
            progress = p.value("progress").toDouble();
        }
        QCOMPARE(count, 0);

        if (!notified) {
            QVERIFY(desktop->notices.isEmpty());
            return;
        }
        QCOMPARE(desktop->notices.size(), 1);
        QCOMPARE(desktop->notices[0].app, QString("Sondrel"));
        QCOMPARE(desktop->notices[0].summary, QString("Conversion finished"));
        // The very words the window's progress bar rests with.
        QCOMPARE(desktop->notices[0].body, w().pb->text());
        QVERIFY2(desktop->notices[0].body.startsWith("3 converted · "), qPrintable(desktop->notices[0].body));
    }

    void addingLeftAlone()
    {
        if (withoutBus())
            QSKIP("needs the session bus");
        const QStringList files{source("d.wav", 0.2), source("e.wav", 0.2)};
        w().runNotices().setThresholdMs(0);
        leaveWindowAlone(true);
        add(files);
        QVERIFY(waitCleared());
        const auto& updates = desktop->updates;
        QVERIFY(updates.size() >= 2);
        // An adding has no known end: a count of the files in so far, without a bar.
        for (qsizetype i = 0; i + 1 < updates.size(); ++i)
            QVERIFY(!updates[i].properties.value("progress-visible").toBool());
        QCOMPARE(updates[updates.size() - 2].properties.value("count").toLongLong(), 2);
        QCOMPARE(desktop->notices.size(), 1);
        QCOMPARE(desktop->notices[0].summary, QString("Files added"));
        QCOMPARE(desktop->notices[0].body, QString("2 files added"));
    }

    // No bus at the address given: nothing is said about it and the run ends as ever.
    void runsWithoutABus()
    {
        if (!withoutBus())
            QSKIP("for the run without a session bus");
        QTest::failOnWarning(QRegularExpression("dbus", QRegularExpression::CaseInsensitiveOption));
        add({source("f.wav", 0.3), source("g.wav", 0.3)});
        w().runNotices().setThresholdMs(0);
        leaveWindowAlone(true);
        convert();
        QCOMPARE(statuses(), QStringList({"finish", "finish"}));
        QVERIFY(prompts->messages.isEmpty());
        QVERIFY(!QDBusConnection::sessionBus().isConnected());
    }
};

QTEST_MAIN(TestDesktopNotices)
#include "test_desktop_notices.moc"
