#include "AppState.h"
#include "ExceptionHook.h"
#include "FakePrompts.h"
#include "FileListModel.h"
#include "Genres.h"
#include "TagEditor.h"

#include <QClipboard>
#include <algorithm>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace sondrel;

namespace {
TrackInfo sampleRecord()
{
    TrackInfo t;
    t.title = QStringLiteral("Night Drive");
    t.artist = QStringLiteral("Ana Ruiz");
    t.album = QStringLiteral("Coastline");
    t.genre = QStringLiteral("Jazz");
    t.track = 7;
    t.year = 1998;
    t.comment = QStringLiteral("first pressing");
    return t;
}
} // namespace

class TestTagEditor : public QObject {
    Q_OBJECT

    AppState state;
    FileListModel list;
    FakePrompts prompts;
    std::unique_ptr<Tfm_id3> dlg;
    QList<QString> hookErrors;

    // Three rows; the middle one is edited.
    void setRecord(const TrackInfo& t)
    {
        list.setTrackInfo(1, t);
        list.setText(1, rows::FileName, QStringLiteral("caption.mp3"));
        state.tag_edit_row = 1;
    }
    void openDialog()
    {
        dlg->open();
        QVERIFY(dlg->isVisible());
    }
    // Replaces a field's text as the user would: select all, delete, type (text beyond
    // Latin-1 arrives as one input, as from an input method).
    static void retype(QLineEdit* e, const QString& text)
    {
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; }))
            QTest::keyClicks(e, text);
        else
            e->insert(text);
    }

private slots:
    void initTestCase()
    {
        setExceptionHandler([this](std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& x) {
                hookErrors << QString::fromUtf8(x.what());
            } catch (...) {
                hookErrors << QStringLiteral("?");
            }
        });
    }

    void init()
    {
        list.clear();
        for (int i = 0; i < 3; ++i)
            list.append(QStringLiteral("row%1").arg(i), {}, {}, {}, rows::Unconverted);
        setRecord(sampleRecord());
        prompts.messages.clear();
        hookErrors.clear();
        dlg = std::make_unique<Tfm_id3>(state, list, prompts);
    }

    void cleanup() { QVERIFY(hookErrors.isEmpty()); }

    void layoutAsDesigned()
    {
        QCOMPARE(dlg->windowTitle(), QStringLiteral("ID3"));
        // The genre box is as wide as its longest name needs (at least 76); the wide fields
        // end where it ends, and the box grows by as much.
        const int genreWidth = dlg->cb_genre->width();
        QVERIFY(genreWidth >= 76);
        const int wide = 266 + genreWidth - 76;
        const int shift = (genreWidth - 76) / 2; // the buttons stay centred
        QCOMPARE(dlg->size(), QSize(374 + genreWidth - 76, 255));
        const struct {
            QWidget* w;
            QRect r;
        } expected[] = {
            {dlg->edt_title, {74, 13, wide, 21}},   {dlg->edt_artist, {74, 53, wide, 21}},
            {dlg->edt_album, {74, 93, wide, 21}},   {dlg->edt_year, {74, 133, 60, 21}},
            {dlg->edt_track, {179, 133, 38, 21}},  {dlg->cb_genre, {264, 133, genreWidth, 21}},
            {dlg->edt_comment, {74, 173, wide, 21}}, {dlg->btn_ok, {24 + shift, 212, 68, 25}},
            {dlg->btn_reset, {147 + shift, 212, 68, 25}},  {dlg->btn_cancel, {271 + shift, 212, 68, 25}},
        };
        for (const auto& e : expected)
            QCOMPARE(e.w->geometry(), e.r);
        QVERIFY(dlg->cb_genre->isEditable());
        QCOMPARE(dlg->btn_ok->text(), QStringLiteral("Ok"));
        QCOMPARE(dlg->btn_reset->text(), QStringLiteral("Reset"));
        QCOMPARE(dlg->btn_cancel->text(), QStringLiteral("Cancel"));

        // Every label sits left of its own field without overlapping a neighbour.
        const auto labels = dlg->findChildren<QLabel*>();
        QCOMPARE(labels.size(), 7);
        for (QLabel* l : labels) {
            QVERIFY(l->buddy());
            QVERIFY2(l->geometry().right() < l->buddy()->geometry().left(), qPrintable(l->text()));
            QVERIFY(l->geometry().left() >= 0);
            for (QWidget* w : dlg->findChildren<QWidget*>())
                if (w != l && !qobject_cast<QLabel*>(w) && w->parent() == dlg.get() && w->isVisibleTo(dlg.get()))
                    QVERIFY2(!l->geometry().intersects(w->geometry()), qPrintable(l->text()));
        }

        // Every showing starts in the title; Tab goes through the fields row by row, then the
        // buttons.
        for (int showing = 0; showing < 2; ++showing) {
            openDialog();
            QCOMPARE(dlg->focusWidget(), dlg->edt_title);
            dlg->edt_comment->setFocus();
            dlg->btn_cancel->click();
        }
        openDialog();
        const QList<QWidget*> order{dlg->edt_title,   dlg->edt_artist, dlg->edt_album,  dlg->edt_year,
                                    dlg->edt_track,   dlg->cb_genre,   dlg->edt_comment, dlg->btn_ok,
                                    dlg->btn_cancel, dlg->btn_reset,  dlg->edt_title};
        QWidget* w = dlg->edt_title;
        for (int i = 1; i < order.size(); ++i) {
            do
                w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(dlg.get()) || w == dlg.get()
                   || w->parentWidget() == dlg->cb_genre); // the box's own line edit
            QCOMPARE(w, order[i]);
        }

        if (const QByteArray dir = qgetenv("SONDREL_SHOTS"); !dir.isEmpty())
            QVERIFY(dlg->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/tag_editor.png")));
    }

    // The closed box shows the chosen genre whole, from its first letter to its last.
    void closedBoxShowsTheWholeGenre_data()
    {
        QTest::addColumn<QString>("genre");
        for (const char* name : genre_names)
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void closedBoxShowsTheWholeGenre()
    {
        QFETCH(QString, genre);
        TrackInfo t = sampleRecord();
        t.genre = genre;
        setRecord(t);
        openDialog();
        QLineEdit* shown = dlg->cb_genre->lineEdit();
        QCOMPARE(shown->text(), genre);
        // Its end in view, the start of the text must not have scrolled out on the left.
        shown->setCursorPosition(int(genre.size()));
        shown->grab(); // the scroll is worked out when the field is drawn
        const int end = shown->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
        QVERIFY2(end - shown->fontMetrics().horizontalAdvance(genre) >= 0,
                 qPrintable(QStringLiteral("starts at %1").arg(end - shown->fontMetrics().horizontalAdvance(genre))));
        QVERIFY(end <= shown->width());
        dlg->btn_cancel->click();
    }

    void genresOnceEachInOrderOnEveryOpening()
    {
        for (int i = 0; i < 5; ++i) {
            openDialog();
            QCOMPARE(dlg->cb_genre->count(), 148);
            for (int g = 0; g < 148; ++g)
                QCOMPARE(dlg->cb_genre->itemText(g), QString::fromLatin1(genre_names[size_t(g)]));
            dlg->btn_cancel->click();
            QVERIFY(!dlg->isVisible());
        }
    }

    void fieldsFromRecord()
    {
        TrackInfo t = sampleRecord();
        t.year = 0;
        t.track = 40000; // more than two digits from a file's tag: shown whole, kept on Ok
        setRecord(t);
        openDialog();
        QCOMPARE(dlg->edt_title->text(), t.title);
        QCOMPARE(dlg->edt_artist->text(), t.artist);
        QCOMPARE(dlg->edt_album->text(), t.album);
        QCOMPARE(dlg->edt_comment->text(), t.comment);
        QCOMPARE(dlg->edt_year->text(), QStringLiteral("0"));
        QCOMPARE(dlg->edt_track->text(), QStringLiteral("40000"));
        QCOMPARE(dlg->cb_genre->currentText(), QStringLiteral("Jazz"));
        dlg->btn_ok->click();
        QCOMPARE(list.trackInfo(1), t);
        // Another record, another showing: nothing of the first one is left.
        TrackInfo u;
        u.title = QStringLiteral("B-side");
        u.genre = QStringLiteral("rock"); // as some taggers write it
        setRecord(u);
        openDialog();
        QCOMPARE(dlg->edt_artist->text(), QString());
        QCOMPARE(dlg->edt_track->text(), QStringLiteral("0"));
        QCOMPARE(dlg->cb_genre->currentText(), QStringLiteral("Rock"));
    }

    // A genre that is not in the list (read from a file, or typed) is shown and kept unless
    // the user picks another one; an empty one stays empty.
    void unlistedGenreIsKeptUnlessAnotherIsPicked()
    {
        TrackInfo t = sampleRecord();
        t.genre = QStringLiteral("Synthwave");
        setRecord(t);
        // A previous showing with a genre selected must not leak into this one.
        openDialog();
        dlg->cb_genre->setCurrentIndex(5);
        dlg->btn_cancel->click();
        openDialog();
        QCOMPARE(dlg->cb_genre->currentIndex(), -1);
        QCOMPARE(dlg->cb_genre->currentText(), QStringLiteral("Synthwave"));
        QCOMPARE(dlg->cb_genre->count(), 148);
        retype(dlg->edt_title, QStringLiteral("Other title"));
        dlg->btn_ok->click();
        QCOMPARE(list.trackInfo(1).genre, QStringLiteral("Synthwave"));
        QCOMPARE(list.trackInfo(1).title, QStringLiteral("Other title"));

        openDialog();
        dlg->cb_genre->setCurrentIndex(5);
        dlg->btn_ok->click();
        QCOMPARE(list.trackInfo(1).genre, QStringLiteral("Funk"));

        // A genre of one's own, typed.
        openDialog();
        dlg->cb_genre->setFocus();
        dlg->cb_genre->lineEdit()->selectAll();
        QTest::keyClicks(dlg->cb_genre->lineEdit(), QStringLiteral("Nu-Gaze "));
        dlg->btn_ok->click();
        QCOMPARE(list.trackInfo(1).genre, QStringLiteral("Nu-Gaze"));
        QCOMPARE(dlg->cb_genre->count(), 148);

        t.genre.clear();
        setRecord(t);
        openDialog();
        QCOMPARE(dlg->cb_genre->currentText(), QString());
        dlg->btn_ok->click();
        QCOMPARE(list.trackInfo(1).genre, QString());
    }

    // The open list shows every name whole, although the box is narrower than the longest;
    // the box's tooltip shows the whole genre.
    void genreNamesAreNotCut()
    {
        openDialog();
        QComboBox* box = dlg->cb_genre;
        int widest = 0;
        for (int g = 0; g < box->count(); ++g)
            widest = std::max(widest, box->view()->fontMetrics().horizontalAdvance(box->itemText(g)));
        QVERIFY(widest > box->width() / 2); // the box alone could not show them
        box->showPopup();
        QTRY_VERIFY_WITH_TIMEOUT(box->view()->isVisible(), 5000);
        QVERIFY2(box->view()->viewport()->width() >= widest,
                 qPrintable(QStringLiteral("%1 < %2").arg(box->view()->viewport()->width()).arg(widest)));
        box->hidePopup();
        box->setCurrentIndex(47); // Instrumental Rock
        QCOMPARE(box->toolTip(), QStringLiteral("Instrumental Rock"));
    }

    void yearAndTrackTakeDigitsOnly()
    {
        openDialog();
        retype(dlg->edt_year, QStringLiteral("2a0b0-4 "));
        QCOMPARE(dlg->edt_year->text(), QStringLiteral("2004"));
        QTest::keyClick(dlg->edt_year, Qt::Key_Backspace);
        QCOMPARE(dlg->edt_year->text(), QStringLiteral("200"));
        QTest::keyClicks(dlg->edt_year, QStringLiteral("1234567")); // no length limit
        QCOMPARE(dlg->edt_year->text(), QStringLiteral("2001234567"));

        retype(dlg->edt_track, QStringLiteral("x1"));
        QCOMPARE(dlg->edt_track->text(), QStringLiteral("1"));
        QTest::keyClicks(dlg->edt_track, QStringLiteral("23")); // a third digit is refused
        QCOMPARE(dlg->edt_track->text(), QStringLiteral("12"));

        // Pasted text with anything but digits in it is refused as a whole.
        dlg->edt_year->clear();
        QGuiApplication::clipboard()->setText(QStringLiteral("19x9"));
        dlg->edt_year->paste();
        QCOMPARE(dlg->edt_year->text(), QString());
        QGuiApplication::clipboard()->setText(QStringLiteral("1999"));
        dlg->edt_year->paste();
        QCOMPARE(dlg->edt_year->text(), QStringLiteral("1999"));
        for (const QString& bad : {QStringLiteral("-5"), QStringLiteral("\u0663"), QStringLiteral("1 ")}) {
            dlg->edt_year->insert(bad);
            QCOMPARE(dlg->edt_year->text(), QStringLiteral("1999"));
        }
        dlg->edt_track->clear();
        dlg->edt_track->insert(QStringLiteral("345"));
        QCOMPARE(dlg->edt_track->text(), QString());
        dlg->edt_track->insert(QStringLiteral("34"));
        QCOMPARE(dlg->edt_track->text(), QStringLiteral("34"));
    }

    void longTrackFromRecordMayOnlyShrink()
    {
        TrackInfo t = sampleRecord();
        t.track = 123;
        t.year = -5; // an odd value from a file: shown and kept as it is
        setRecord(t);
        openDialog();
        QCOMPARE(dlg->edt_track->text(), QStringLiteral("123"));
        dlg->edt_track->setFocus();
        dlg->edt_track->end(false);
        QTest::keyClick(dlg->edt_track, Qt::Key_4);
        QCOMPARE(dlg->edt_track->text(), QStringLiteral("123"));
        QTest::keyClick(dlg->edt_track, Qt::Key_Backspace);
        QCOMPARE(dlg->edt_track->text(), QStringLiteral("12"));
        QTest::keyClick(dlg->edt_track, Qt::Key_9);
        QCOMPARE(dlg->edt_track->text(), QStringLiteral("12"));
        QCOMPARE(dlg->edt_year->text(), QStringLiteral("-5"));
        dlg->edt_year->setFocus();
        dlg->edt_year->end(false);
        QTest::keyClicks(dlg->edt_year, QStringLiteral("x0"));
        QCOMPARE(dlg->edt_year->text(), QStringLiteral("-50"));
        dlg->btn_ok->click();
        QCOMPARE(list.trackInfo(1).year, -50);
        QCOMPARE(list.trackInfo(1).track, 12);
    }

    void resetEmptiesFieldsOnly()
    {
        openDialog();
        dlg->btn_reset->click();
        for (QLineEdit* e : {dlg->edt_title, dlg->edt_artist, dlg->edt_album, dlg->edt_year,
                             dlg->edt_track, dlg->edt_comment})
            QCOMPARE(e->text(), QString());
        QCOMPARE(dlg->cb_genre->currentIndex(), -1);
        QCOMPARE(dlg->cb_genre->currentText(), QString());
        QCOMPARE(dlg->cb_genre->count(), 148);
        QVERIFY(dlg->isVisible());
        QCOMPARE(list.trackInfo(1), sampleRecord());
        // Ok after Reset: the empty numbers are stored as 0, without an error.
        dlg->btn_ok->click();
        QVERIFY(!dlg->isVisible());
        QCOMPARE(list.trackInfo(1), TrackInfo{});
        QCOMPARE(list.text(1, rows::FileName), QString());
        QVERIFY(prompts.messages.isEmpty());
    }

    void okStoresFieldsAndCaption()
    {
        openDialog();
        retype(dlg->edt_title, QStringLiteral("Blue Hour"));
        retype(dlg->edt_artist, QStringLiteral("Zoë Kraft"));
        retype(dlg->edt_album, QStringLiteral("Émigré"));
        retype(dlg->edt_year, QStringLiteral("2011"));
        retype(dlg->edt_track, QStringLiteral("03"));
        retype(dlg->edt_comment, QStringLiteral("remaster"));
        dlg->cb_genre->setCurrentIndex(147);
        dlg->btn_ok->click();
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
        const TrackInfo got = list.trackInfo(1);
        QCOMPARE(got.title, QStringLiteral("Blue Hour"));
        QCOMPARE(got.artist, QStringLiteral("Zoë Kraft"));
        QCOMPARE(got.album, QStringLiteral("Émigré"));
        QCOMPARE(got.year, 2011);
        QCOMPARE(got.track, 3);
        QCOMPARE(got.comment, QStringLiteral("remaster"));
        QCOMPARE(got.genre, QStringLiteral("SynthPop"));
        QCOMPARE(list.text(1, rows::FileName), QStringLiteral("Blue Hour"));
        // The caption is now a title, not a file name with an extension to replace.
        QVERIFY(list.captionIsTitle(1));
        // Only the edited row changed.
        QCOMPARE(list.text(0, rows::FileName), QStringLiteral("row0"));
        QCOMPARE(list.text(2, rows::FileName), QStringLiteral("row2"));
        QVERIFY(!list.captionIsTitle(0) && !list.captionIsTitle(2));
        QCOMPARE(list.trackInfo(0), TrackInfo{});
        QCOMPARE(list.trackInfo(2), TrackInfo{});
        QCOMPARE(list.count(), 3);

        // An empty title empties the caption.
        openDialog();
        dlg->edt_title->clear();
        dlg->btn_ok->click();
        QCOMPARE(list.trackInfo(1).title, QString());
        QCOMPARE(list.text(1, rows::FileName), QString());
    }

    void cancelAndCloseBoxWriteNothing()
    {
        for (const bool viaCloseBox : {false, true}) {
            openDialog();
            retype(dlg->edt_title, QStringLiteral("changed"));
            retype(dlg->edt_year, QStringLiteral("1"));
            dlg->btn_reset->click();
            dlg->cb_genre->setCurrentIndex(3);
            if (viaCloseBox)
                QVERIFY(dlg->close());
            else
                dlg->btn_cancel->click();
            QVERIFY(!dlg->isVisible());
            QCOMPARE(list.trackInfo(1), sampleRecord());
            QCOMPARE(list.text(1, rows::FileName), QStringLiteral("caption.mp3"));
            QVERIFY(!list.captionIsTitle(1));
        }
        // The next showing shows the record, not the abandoned edits.
        openDialog();
        QCOMPARE(dlg->edt_title->text(), sampleRecord().title);
        QCOMPARE(dlg->cb_genre->currentText(), QStringLiteral("Jazz"));
    }

    void yearBeyond32BitsIsRefusedWithAMessage()
    {
        openDialog();
        retype(dlg->edt_title, QStringLiteral("changed"));
        retype(dlg->edt_year, QStringLiteral("2147483648"));
        dlg->btn_ok->click();
        QCOMPARE(prompts.texts(), QStringList{Tfm_id3::YearOutOfRange});
        QCOMPARE(prompts.messages.first().kind, FakePrompts::Kind::Information);
        QVERIFY(dlg->isVisible());
        QCOMPARE(list.trackInfo(1), sampleRecord());
        QCOMPARE(list.text(1, rows::FileName), QStringLiteral("caption.mp3"));
        QCOMPARE(dlg->focusWidget(), dlg->edt_year);
        // The largest 32-bit value is fine.
        retype(dlg->edt_year, QStringLiteral("2147483647"));
        dlg->btn_ok->click();
        QVERIFY(!dlg->isVisible());
        QCOMPARE(list.trackInfo(1).year, 2147483647);
        QCOMPARE(list.trackInfo(1).title, QStringLiteral("changed"));
        QCOMPARE(prompts.messages.size(), 1);
    }

    void enterAndEscMeanNothing()
    {
        openDialog();
        retype(dlg->edt_title, QStringLiteral("typed"));
        for (QWidget* w : QList<QWidget*>{dlg->edt_title, dlg->edt_year, dlg->cb_genre}) {
            w->setFocus();
            for (const auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                QTest::keyClick(w, key);
        }
        QVERIFY(dlg->isVisible());
        QCOMPARE(list.trackInfo(1), sampleRecord());
        QCOMPARE(list.text(1, rows::FileName), QStringLiteral("caption.mp3"));
        // On a focused button, Enter presses that button.
        dlg->btn_cancel->setFocus();
        QTest::keyClick(dlg->btn_cancel, Qt::Key_Return);
        QVERIFY(!dlg->isVisible());
        QCOMPARE(list.trackInfo(1), sampleRecord());
    }

    void runsThroughThePromptsSeam()
    {
        // As the main window opens it: modally, through the prompts.
        prompts.dialogActions.push_back([this](QDialog&) {
            QCOMPARE(dlg->edt_title->text(), sampleRecord().title);
            retype(dlg->edt_title, QStringLiteral("via prompts"));
            dlg->btn_ok->click();
        });
        prompts.runModal(*dlg);
        QCOMPARE(list.text(1, rows::FileName), QStringLiteral("via prompts"));
    }
};

QTEST_MAIN(TestTagEditor)
#include "test_tag_editor.moc"
