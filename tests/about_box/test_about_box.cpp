#include "AboutBox.h"
#include "ExceptionHook.h"
#include "FakePrompts.h"
#include "MainWindow.h"

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTest>

using namespace sondrel;

class TestAboutBox : public QObject {
    Q_OBJECT

private slots:
    void textsAndPlaces()
    {
        FakeLauncher launcher;
        FakePrompts prompts;
        Tfm_about dlg(launcher, prompts);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("About"));
        // The formats take several lines: the buttons sit below them, the box grows as much.
        const int buttonsTop = dlg.Button1->y();
        QVERIFY(buttonsTop >= 170);
        QCOMPARE(dlg.size(), QSize(314, 208 + buttonsTop - 170));
        QCOMPARE(dlg.Image1->geometry(), QRect(0, 0, 314, 90));
        QCOMPARE(dlg.Label2->text(), QStringLiteral("Version:    1.00"));
        QCOMPARE(dlg.Label2->pos(), QPoint(212, 64));
        QCOMPARE(dlg.Label2->palette().color(QPalette::WindowText), QColor(57, 98, 177));
        QCOMPARE(dlg.Label1->pos(), QPoint(9, 99));
        const struct {
            QPushButton* b;
            const char* text;
            int left;
        } buttons[] = {{dlg.Button1, "Web Site", 19},
                       {dlg.btn_contact, "Contact us ", 120},
                       {dlg.btn_close, "Close", 221}};
        for (const auto& e : buttons) {
            QCOMPARE(e.b->text(), QString::fromLatin1(e.text));
            QCOMPARE(e.b->geometry(), QRect(e.left, buttonsTop, 75, 25));
        }
        // Both labels fit in the box, the version inside the banner.
        QVERIFY(dlg.Label1->geometry().right() < 314);
        QVERIFY(dlg.Label2->geometry().right() < 314);
        QVERIFY(dlg.Label2->geometry().bottom() < 90);
        QVERIFY(dlg.Label1->geometry().bottom() < buttonsTop);
        const QRect need = dlg.Label1->fontMetrics().boundingRect(QRect(0, 0, dlg.Label1->width(), 1000),
                                                                  Qt::TextWordWrap, dlg.Label1->text());
        QVERIFY(need.height() <= dlg.Label1->height());

        // The banner is a picture, not a blank: many colours, light where the version sits.
        const QImage banner = dlg.Image1->pixmap().toImage();
        QCOMPARE(banner.size() / banner.devicePixelRatio(), QSize(314, 90));
        QSet<QRgb> colours;
        for (int y = 0; y < banner.height(); y += 3)
            for (int x = 0; x < banner.width(); x += 3)
                colours.insert(banner.pixel(x, y));
        QVERIFY(colours.size() > 50);
        QVERIFY(qGray(banner.pixel(250, 70)) > 190);

        // Tab order: Contact us, Close, Web Site.
        dlg.open();
        QCOMPARE(dlg.focusWidget(), dlg.btn_contact);
        const auto nextTab = [&](QWidget* w) {
            do
                w = w->nextInFocusChain();
            while (w == &dlg || !(w->focusPolicy() & Qt::TabFocus));
            return w;
        };
        QCOMPARE(nextTab(dlg.btn_contact), dlg.btn_close);
        QCOMPARE(nextTab(dlg.btn_close), dlg.Button1);
        QCOMPARE(nextTab(dlg.Button1), dlg.btn_contact);

        if (const QByteArray dir = qgetenv("SONDREL_SHOTS"); !dir.isEmpty())
            QVERIFY(dlg.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/about_box.png")));
    }

    void buttonsLaunchAndClose()
    {
        FakeLauncher launcher;
        FakePrompts prompts;
        Tfm_about dlg(launcher, prompts);
        int hookCalls = 0;
        setExceptionHandler([&](std::exception_ptr) { ++hookCalls; });

        prompts.dialogActions.push_back([&](QDialog&) {
            dlg.Button1->click();
            dlg.btn_contact->click();
            QVERIFY(dlg.isVisible());
            dlg.btn_close->click();
            QVERIFY(!dlg.isVisible());
        });
        prompts.runModal(dlg);
        QCOMPARE(launcher.urls,
                 (QList<QUrl>{QUrl(QString::fromLatin1(WebSiteAddress)),
                              QUrl(QStringLiteral("mailto:") + QString::fromLatin1(SupportMailAddress))}));
        QCOMPARE(launcher.urls.last().scheme(), QStringLiteral("mailto"));
        QVERIFY(launcher.processes.isEmpty());

        // Reopened: the same texts; Esc does nothing, the close box closes.
        dlg.open();
        QCOMPARE(dlg.Label2->text(), QStringLiteral("Version:    1.00"));
        QCOMPARE(dlg.btn_contact->text(), QStringLiteral("Contact us "));
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(dlg.isVisible());
        QCOMPARE(launcher.urls.size(), 2);
        // Enter on the focused "Web Site" button presses it.
        dlg.Button1->setFocus();
        QTest::keyClick(dlg.Button1, Qt::Key_Return);
        QCOMPARE(launcher.urls.size(), 3);
        QVERIFY(dlg.close());
        QVERIFY(!dlg.isVisible());
        QCOMPARE(hookCalls, 0);
        QVERIFY(prompts.messages.isEmpty());
        setExceptionHandler({});
    }

    // Every format read or written is named, by the name users know it by.
    void namesEveryFormat_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : {"MP3", "WAV", "WMA", "OGG", "FLAC", "Opus", "M4A", "AAC", "Ogg FLAC", "ALAC", "AIFF",
                                 "WavPack", "Monkey's Audio", "Matroska", "WebM", "MP2", "AC-3"})
            QTest::newRow(name) << QString::fromUtf8(name);
    }
    void namesEveryFormat()
    {
        QFETCH(QString, name);
        FakeLauncher launcher;
        FakePrompts prompts;
        Tfm_about dlg(launcher, prompts);
        QVERIFY2(dlg.Label1->text().contains(name), qPrintable(dlg.Label1->text()));
    }

    // Without a program for an address, the user is shown the address to copy (with one,
    // nothing is said: buttonsLaunchAndClose).
    void addressShownWhenNothingOpensIt()
    {
        FakeLauncher launcher;
        launcher.opens = false;
        FakePrompts prompts;
        Tfm_about dlg(launcher, prompts);
        dlg.Button1->click();
        dlg.btn_contact->click();
        QCOMPARE(launcher.urls.size(), 2);
        QCOMPARE(prompts.texts(),
                 QStringList({"No web browser could be started. The address is:\n" + QString::fromLatin1(WebSiteAddress),
                              "No mail program could be started. The address is:\n"
                                  + QString::fromLatin1(SupportMailAddress)}));
    }
};

QTEST_MAIN(TestAboutBox)
#include "test_about_box.moc"
