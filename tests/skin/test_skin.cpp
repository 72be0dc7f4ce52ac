#include "AppShell.h"
#include "FakePrompts.h"
#include "FolderPicker.h"
#include "ListRows.h"
#include "MainWindow.h"
#include "SettingsFile.h"
#include "SettingsDialog.h"
#include "Skin.h"
#include "TagEditor.h"
#include "TestAudio.h"
#include "WindowFixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <sys/stat.h>

using namespace sondrel;

namespace {
const QStringList ElementNames{"Convert", "Stop", "AddFile", "Remove", "Clear", "Options",
                               "Browse", "ID3Tag", "Play", "Pause Play", "Stop Play"};
const QString SkinFile = QStringLiteral("sondrel.dll");

QString installedSkin() { return QCoreApplication::applicationDirPath() + "/" + SkinFile; }

// Runs the test binary in another folder (where it finds no skin file of its own) to check the
// window that the program shows without a skin.
const char* const ChildMode = "SONDREL_SKIN_TEST_CHILD";
const char* const ChildReason = "SONDREL_SKIN_TEST_REASON";
} // namespace

class TestSkin : public WindowFixture {
    Q_OBJECT

    void addRows(const QStringList& names)
    {
        for (const QString& n : names)
            w().list->append(n, "/music/" + n, "00:03:12", "4.41MB", rows::Unconverted);
    }
    QRect elementRect(const QString& name)
    {
        for (const SkinElementSpec& e : w().Skin->elements())
            if (e.name == name)
                return e.rect;
        qFatal("no element %s", qPrintable(name));
    }
    QPoint inWindow(QPoint clientPos) { return w().centralWidget()->mapTo(&w(), clientPos); }
    void clickAt(QPoint clientPos)
    {
        QTest::mouseClick(w().windowHandle(), Qt::LeftButton, {}, inWindow(clientPos));
    }
    QImage look(const QRect& r) { return w().centralWidget()->grab(r).toImage(); }

    // Puts the window in a state where the command behind `name` has an effect that no other
    // command has, clicks, and checks that this effect, and only it, happened.
    void checkClickRuns(const QString& name, const std::function<void()>& click)
    {
        addRows({"a.mp3", "b.mp3", "c.mp3"});
        w().lv->selectRow(1);
        const QDialog* shown = nullptr;
        prompts->dialogActions.push_back([&](QDialog& d) { shown = &d; });
        if (name == "Convert" || name == "Pause Play" || name == "Stop Play")
            s().setPlaying(true);
        if (name == "Stop" || name == "Play")
            s().setConverting(true);
        click();
        QStringList expectedTexts;
        const QDialog* expectedDialog = nullptr;
        if (name == "Convert") {
            expectedTexts << "Please stop playing first.";
        } else if (name == "Stop") {
            QVERIFY(!s().flag_converting());
        } else if (name == "AddFile") {
            QVERIFY(!prompts->lastFilters.isEmpty()); // the open dialog was asked for
        } else if (name == "Remove") {
            QCOMPARE(w().list->count(), 2);
            QCOMPARE(w().list->text(1, rows::FileName), QString("c.mp3"));
        } else if (name == "Clear") {
            QCOMPARE(prompts->messages.size(), 1);
            QCOMPARE(prompts->messages.first().kind, FakePrompts::Kind::Confirm);
            expectedTexts = prompts->texts();
            QCOMPARE(w().list->count(), 0);
        } else if (name == "Options") {
            expectedDialog = static_cast<const QDialog*>(w().fm_set);
        } else if (name == "Browse") {
            expectedDialog = static_cast<const QDialog*>(w().fm_dir);
            QCOMPARE(w().fm_dir->windowTitle(), QString("Output Directory"));
        } else if (name == "ID3Tag") {
            expectedDialog = static_cast<const QDialog*>(w().fm_id3);
            QCOMPARE(s().tag_edit_row, 1);
        } else if (name == "Play") {
            expectedTexts << "Please stop converting first.";
        } else if (name == "Pause Play") {
            QVERIFY(s().flag_paused());
        } else if (name == "Stop Play") {
            QVERIFY(!s().flag_playing());
        } else {
            QFAIL(qPrintable("no check for " + name));
        }
        QCOMPARE(prompts->texts(), expectedTexts);
        QCOMPARE(shown, expectedDialog);
        QCOMPARE(prompts->dialogsShown, expectedDialog ? 1 : 0);
        if (name != "Remove" && name != "Clear")
            QCOMPARE(w().list->count(), 3);
    }

    // Packs `files` (name and content) into a bundle with rcc and returns its path.
    QString pack(const QString& name, const QMap<QString, QByteArray>& files)
    {
        const QString dir = tmp.filePath("pack-" + name);
        QDir().mkpath(dir);
        QString qrc = "<RCC><qresource prefix=\"/\">";
        for (auto it = files.begin(); it != files.end(); ++it) {
            QFile f(dir + "/" + it.key());
            if (!f.open(QIODevice::WriteOnly) || f.write(it.value()) != it.value().size())
                qFatal("cannot write %s", qPrintable(f.fileName()));
            qrc += "<file>" + it.key() + "</file>";
        }
        qrc += "</qresource></RCC>";
        QFile q(dir + "/skin.qrc");
        if (!q.open(QIODevice::WriteOnly))
            qFatal("cannot write the qrc");
        q.write(qrc.toUtf8());
        q.close();
        const QString out = tmp.filePath(name + ".dll");
        QProcess rcc;
        rcc.start(SONDREL_RCC, {"--binary", "-o", out, q.fileName()});
        if (!rcc.waitForFinished(30000) || rcc.exitCode() != 0)
            qFatal("rcc failed: %s", rcc.readAllStandardError().constData());
        return out;
    }
    static QByteArray png(QColor colour, QSize size)
    {
        QImage img(size, QImage::Format_ARGB32);
        img.fill(colour);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        img.save(&buffer, "PNG");
        return bytes;
    }
    static QString errorOf(const QString& path)
    {
        Skin skin;
        try {
            skin.OpenSkinFile(path);
        } catch (const SkinError& e) {
            return QString::fromUtf8(e.what());
        }
        return {};
    }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }
    void init()
    {
        forgetSettings();
        const bool child = qEnvironmentVariableIsSet(ChildMode);
        if (child != (QString(QTest::currentTestFunction()) == "plainButtonsStandInForTheSkin"))
            QSKIP("runs only in its own configuration");
    }
    void cleanup() { stop(); }

    void skinComesFromTheExecutablesFolder()
    {
        // A broken skin file in the current folder must not matter.
        const QString elsewhere = tmp.filePath("cwd");
        QDir().mkpath(elsewhere);
        QFile junk(elsewhere + "/" + SkinFile);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not a skin");
        junk.close();
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(elsewhere));
        start();
        QDir::setCurrent(before);

        QCOMPARE(Tfm_main::skinFilePath(), installedSkin());
        QVERIFY(w().Skin->isAttached());
        QCOMPARE(w().windowTitle(), QString("Velkin"));
        QVERIFY(w().plainButtons.isEmpty());
        // The skin draws the whole client area, behind the controls, which sit at their places.
        QCOMPARE(w().Skin->geometry(), w().centralWidget()->rect());
        QCOMPARE(w().lv->geometry(), QRect(6, 73, 469, 247));
        QCOMPARE(w().pb->geometry(), QRect(20, 330, 441, 12));
        QCOMPARE(w().cb_format->geometry(), QRect(243, 357, 55, 21));
        QCOMPARE(w().edt_dir->geometry(), QRect(303, 357, 95, 21));
        for (QWidget* control : std::initializer_list<QWidget*>{w().lv, w().pb, w().cb_format, w().edt_dir}) {
            const QPoint centre = control->geometry().center();
            QWidget* top = w().centralWidget()->childAt(centre);
            QVERIFY2(top == control || control->isAncestorOf(top), qPrintable(control->objectName()));
        }
        // The steps after the skin ran.
        QVERIFY(s().settings());
        QCOMPARE(w().edt_dir->text(), QStandardPaths::writableLocation(QStandardPaths::MusicLocation));
        QVERIFY(!w().item("StopConverting1")->isEnabled());
    }

    void elementsAreTheElevenButtonsClearOfTheControls()
    {
        start();
        QStringList names;
        const QRect client = w().centralWidget()->rect();
        const QList<QRect> controls{w().lv->geometry(), w().pb->geometry(), w().cb_format->geometry(),
                                    w().edt_dir->geometry()};
        const auto specs = w().Skin->elements();
        for (const SkinElementSpec& e : specs) {
            names << e.name;
            QVERIFY2(client.contains(e.rect), qPrintable(e.name));
            for (const QRect& c : controls)
                QVERIFY2(!c.intersects(e.rect), qPrintable(e.name));
            for (const SkinElementSpec& other : specs)
                QVERIFY2(&other == &e || !other.rect.intersects(e.rect), qPrintable(e.name + " " + other.name));
        }
        names.sort();
        QStringList expected = ElementNames;
        expected.sort();
        QCOMPARE(names, expected);
        // The command band is above the list; Browse is beside the folder field.
        for (const SkinElementSpec& e : specs) {
            if (e.name == "Browse") {
                QCOMPARE(e.rect.top(), w().edt_dir->geometry().top());
                QVERIFY(e.rect.left() - w().edt_dir->geometry().right() <= 8);
            } else {
                QVERIFY2(e.rect.bottom() < w().lv->geometry().top(), qPrintable(e.name));
            }
        }
        // The plain buttons of a window without skin take the same places.
        const auto builtIn = Skin::builtInLayout();
        QCOMPARE(builtIn.size(), specs.size());
        for (std::size_t i = 0; i < specs.size(); ++i) {
            QCOMPARE(builtIn[i].name, specs[i].name);
            QCOMPARE(builtIn[i].rect, specs[i].rect);
        }
    }

    void clickOnEachElementRunsItsCommand_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString& n : ElementNames)
            QTest::newRow(qPrintable(n)) << n;
    }
    void clickOnEachElementRunsItsCommand()
    {
        QFETCH(QString, name);
        start();
        checkClickRuns(name, [&] { clickAt(elementRect(name).center()); });
    }

    void skinClickGuards()
    {
        start();
        const auto click = [&](const char* name) { w().SkinClick(SkinObject(QString::fromUtf8(name))); };
        // Empty list: nothing happens and nothing is said.
        for (const char* n : {"Convert", "Clear", "ID3Tag", "Remove"})
            click(n);
        QVERIFY(prompts->messages.isEmpty());
        QCOMPARE(prompts->dialogsShown, 0);
        QVERIFY(!s().flag_converting());

        addRows({"a.mp3", "b.mp3"});
        click("ID3Tag");
        QCOMPARE(prompts->texts(), QStringList({"Please select the file you want to edit."}));
        click("Remove"); // no row selected
        QCOMPARE(w().list->count(), 2);
        prompts->messages.clear();
        w().lv->selectRow(0);

        // Names are compared whole and with their letter case.
        s().setPlaying(true);
        for (const char* n : {"Pause", "pause play", "Pause Play ", "PausePlay", "stop play", "", "Exit", "About"})
            click(n);
        QVERIFY(!s().flag_paused());
        QVERIFY(s().flag_playing());
        QVERIFY(prompts->messages.isEmpty());
        QCOMPARE(prompts->dialogsShown, 0);
        click("Pause Play");
        QVERIFY(s().flag_paused());

        // While playing: Convert says why not; the list stays as it is; Options still works.
        click("Convert");
        QCOMPARE(prompts->texts(), QStringList({"Please stop playing first."}));
        for (const char* n : {"AddFile", "Remove", "Clear"})
            click(n);
        QCOMPARE(w().list->count(), 2);
        QVERIFY(prompts->lastFilters.isEmpty());
        click("Options");
        QCOMPARE(prompts->dialogsShown, 1);
        s().setPaused(false);
        s().setPlaying(false);
        prompts->messages.clear();

        // While adding: Options, Browse and the tag editor work; Play and the rest do nothing.
        s().setAdding(true);
        QList<const QDialog*> shown;
        for (int i = 0; i < 3; ++i)
            prompts->dialogActions.push_back([&](QDialog& d) { shown << &d; });
        for (const char* n : {"Options", "Browse", "ID3Tag", "Play", "Convert", "AddFile", "Remove", "Clear"})
            click(n);
        QCOMPARE(shown, (QList<const QDialog*>{w().fm_set, w().fm_dir, w().fm_id3}));
        QVERIFY(!s().flag_playing());
        QVERIFY(!s().flag_converting());
        QVERIFY(prompts->messages.isEmpty());
        QVERIFY(prompts->lastFilters.isEmpty());
        QCOMPARE(w().list->count(), 2);
        s().setAdding(false);

        // While converting: Play says why not; Options, Browse and the tag editor do nothing.
        s().setConverting(true);
        const int dialogs = prompts->dialogsShown;
        for (const char* n : {"Play", "Options", "Browse", "ID3Tag", "Convert", "AddFile"})
            click(n);
        QCOMPARE(prompts->texts(), QStringList({"Please stop converting first."}));
        QCOMPARE(prompts->dialogsShown, dialogs);
        QVERIFY(!s().flag_playing());
        click("Stop");
        QVERIFY(!s().flag_converting());
    }

    void browseAndConvertDoTheRealWork()
    {
        const QString out = tmp.filePath("out");
        QDir().mkpath(out);
        SettingsFile(SettingsFile::defaultPath()).write_int("basic", "format", 1); // WAV
        start();
        // Browse: pick the folder in the picker and press OK.
        prompts->dialogActions.push_back([&](QDialog& d) {
            auto& picker = static_cast<Tfm_dir&>(d);
            QVERIFY(picker.selectFolder(out));
            picker.btn_ok->click();
        });
        clickAt(elementRect("Browse").center());
        QCOMPARE(w().edt_dir->text(), out);
        QCOMPARE(SettingsFile(SettingsFile::defaultPath()).read_string("basic", "output directory", ""), out);

        const QString source = tmp.filePath("tone.wav");
        QVERIFY(testaudio::writeMusicWav(source, 22050, 1, 0.5));
        prompts->fileChoices.push_back({{source}, tmp.path()});
        clickAt(elementRect("AddFile").center());
        QVERIFY(app.waitAdded());
        QCOMPARE(w().list->count(), 1);
        clickAt(elementRect("Convert").center());
        QTRY_COMPARE_WITH_TIMEOUT(w().list->text(0, rows::Status), rows::Finish, 20000);
        QVERIFY(!s().flag_converting());
        QVERIFY(QDir(out).entryList({"tone*.wav"}, QDir::Files).size() == 1);
        QVERIFY(prompts->messages.isEmpty());
    }

    void pausePlayResumesWhenPaused()
    {
        if (QMediaDevices::audioOutputs().isEmpty())
            QSKIP("no sound server: scripts/test.sh starts a PulseAudio null sink");
        start();
        const QString f = tmp.filePath("long.wav");
        QVERIFY(testaudio::writeMusicWav(f, 22050, 2, 3.0));
        prompts->fileChoices.push_back({{f}, tmp.path()});
        w().SkinClick(SkinObject("AddFile"));
        QVERIFY(app.waitAdded());
        w().lv->selectRow(0);
        w().SkinClick(SkinObject("Play"));
        QVERIFY(s().flag_playing());
        w().SkinClick(SkinObject("Pause Play"));
        QVERIFY(s().flag_paused());
        w().SkinClick(SkinObject("Pause Play"));
        QVERIFY(!s().flag_paused());
        w().SkinClick(SkinObject("Pause Play"));
        w().SkinClick(SkinObject("Play")); // resumes too
        QVERIFY(!s().flag_paused());
        QVERIFY(s().flag_playing());
        w().SkinClick(SkinObject("Stop Play"));
        QVERIFY(!s().flag_playing());
        QVERIFY(prompts->messages.isEmpty());
    }

    void hoverAndPressShowOnTheElement()
    {
        start();
        s().setPlaying(true);
        const QRect r = elementRect("Stop Play");
        const QImage normal = look(r);
        QTest::mouseMove(w().windowHandle(), inWindow(r.center()));
        const QImage hover = look(r);
        QVERIFY(hover != normal);
        QTest::mousePress(w().windowHandle(), Qt::LeftButton, {}, inWindow(r.center()));
        const QImage pressed = look(r);
        QVERIFY(pressed != hover);
        QVERIFY(pressed != normal);
        // The neighbours do not change.
        const QRect next = elementRect("Pause Play");
        const QImage neighbour = look(next);
        // Dragged off the element and let go: no click, and the element is back to normal.
        QTest::mouseMove(w().windowHandle(), inWindow(QPoint(2, 200)));
        QCOMPARE(look(r), normal);
        QTest::mouseRelease(w().windowHandle(), Qt::LeftButton, {}, inWindow(QPoint(2, 200)));
        QVERIFY(s().flag_playing());
        QCOMPARE(look(next), neighbour);
        // Pressed beside it and let go on it: no click either.
        QTest::mousePress(w().windowHandle(), Qt::LeftButton, {}, inWindow(QPoint(2, 200)));
        QTest::mouseMove(w().windowHandle(), inWindow(r.center()));
        QTest::mouseRelease(w().windowHandle(), Qt::LeftButton, {}, inWindow(r.center()));
        QVERIFY(s().flag_playing());
        // A right click is no click.
        QTest::mouseClick(w().windowHandle(), Qt::RightButton, {}, inWindow(r.center()));
        QVERIFY(s().flag_playing());
    }

    // The keyboard's focus mark on a drawn button stands out clearly: a ring around the
    // element of pixels far brighter or darker than the bar beneath.
    void focusMarkIsClearlyVisible_data()
    {
        QTest::addColumn<QString>("element");
        for (const QString& name : ElementNames)
            QTest::newRow(qPrintable(name)) << name;
    }
    void focusMarkIsClearlyVisible()
    {
        QFETCH(QString, element);
        start();
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        QAbstractButton* key = nullptr;
        for (QAbstractButton* k : w().Skin->keys())
            if (k->objectName() == "key_" + QString(element).remove(' '))
                key = k;
        QVERIFY2(key, qPrintable(element));
        const QRect r = elementRect(element);
        w().lv->setFocus();
        const QImage plain = look(r);
        key->setFocus(Qt::TabFocusReason);
        QVERIFY(key->hasFocus());
        const QImage marked = look(r);
        int strong = 0;
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x)
                if (std::abs(qGray(plain.pixel(x, y)) - qGray(marked.pixel(x, y))) >= 80)
                    ++strong;
        // Such pixels most of the way round (a dotted line of a colour near the bar's gives
        // far fewer).
        const int perimeter = 2 * (r.width() + r.height()) * plain.width() / r.width();
        QVERIFY2(strong >= perimeter * 3 / 4, qPrintable(QStringLiteral("%1 of %2").arg(strong).arg(perimeter)));
    }

    void lookOfTheSkinnedWindow()
    {
        start();
        addRows({"01 - Harbour Lights.mp3", "02 - Northern Line.ogg", "03 - Slow River.wma",
                 "04 - Glass Orchard.wav"});
        w().list->setText(0, rows::Status, rows::Finish);
        w().lv->selectRow(1);
        w().pb->setValue(40);
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        const QImage shot = w().grab().toImage();
        const QString path = qEnvironmentVariable("SONDREL_SKIN_SCREENSHOT");
        if (!path.isEmpty())
            QVERIFY(shot.save(path));
        // The background art is there: the band above the list is not the plain button face.
        const QColor band = look(QRect(1, 1, 1, 1)).pixelColor(0, 0);
        QVERIFY2(band.blue() > band.red() + 40, qPrintable(band.name()));
    }

    void skinFilesAreChecked()
    {
        // The real skin loads.
        Skin skin;
        skin.OpenSkinFile(installedSkin());
        QCOMPARE(int(skin.elements().size()), 11);
        QVERIFY_THROWS_EXCEPTION(SkinError, skin.AttachWindow(nullptr));
        QVERIFY_THROWS_EXCEPTION(SkinError, Skin().AttachWindow(&skin)); // nothing loaded

        QVERIFY(errorOf(tmp.filePath("none.dll")).contains("does not exist"));
        QVERIFY(errorOf(tmp.path()).contains("cannot be read"));
        const auto write = [&](const QString& name, const QByteArray& bytes) {
            QFile f(tmp.filePath(name));
            if (!f.open(QIODevice::WriteOnly))
                qFatal("cannot write");
            f.write(bytes);
            return f.fileName();
        };
        QVERIFY(errorOf(write("empty.dll", {})).contains("not a resource bundle"));
        QVERIFY(errorOf(write("text.dll", "MZ this is not a skin at all")).contains("not a resource bundle"));

        // Cut or damaged copies of the real file are refused, never read past their end.
        QFile real(installedSkin());
        QVERIFY(real.open(QIODevice::ReadOnly));
        const QByteArray bytes = real.readAll();
        for (qsizetype cut = 0; cut < bytes.size(); cut += std::max<qsizetype>(1, bytes.size() / 97))
            QVERIFY2(!errorOf(write("cut.dll", bytes.left(cut))).isEmpty(), qPrintable(QString::number(cut)));
        for (qsizetype at = 4; at < bytes.size(); at += bytes.size() / 53) {
            QByteArray damaged = bytes;
            damaged[at] = char(damaged[at] ^ 0x5a);
            errorOf(write("damaged.dll", damaged)); // loads or is refused; either way no crash
        }

        // Descriptions that do not hold together.
        const QByteArray img = png(Qt::red, {10, 10});
        const auto skinWith = [&](const QByteArray& elements) {
            return QByteArray(R"({"client": [100, 50], "background": "bg.png", "elements": [)") + elements + "]}";
        };
        const QByteArray ok = R"({"name": "Play", "rect": [0, 0, 10, 10], "normal": "b.png", "hover": "#80ff0000", "pressed": "#00f"})";
        QVERIFY(errorOf(pack("nodesc", {{"bg.png", img}})).contains("no skin.json"));
        QVERIFY(errorOf(pack("badjson", {{"skin.json", "{"}, {"bg.png", img}})).contains("not valid JSON"));
        QVERIFY(errorOf(pack("twice", {{"skin.json", skinWith(ok + "," + ok)}, {"bg.png", img}, {"b.png", img}}))
                    .contains("two elements are named \"Play\""));
        QVERIFY(errorOf(pack("outside", {{"skin.json", skinWith(R"({"name": "X", "rect": [95, 0, 10, 10]})")}, {"bg.png", img}}))
                    .contains("no rectangle inside"));
        QVERIFY(errorOf(pack("noimage", {{"skin.json", skinWith(ok)}, {"bg.png", img}})).contains("\"b.png\""));
        QVERIFY(errorOf(pack("bad2x", {{"skin.json", skinWith(ok)}, {"bg.png", img}, {"b.png", img}, {"b@2x.png", img}}))
                    .contains("\"b@2x.png\" of the normal look of \"Play\" is broken"));
        QVERIFY(errorOf(pack("nocolour", {{"skin.json", skinWith(QByteArray(ok).replace("#00f", "#xyz"))}, {"bg.png", img}, {"b.png", img}}))
                    .contains("not a colour"));
        // Looks given as colours are drawn as fills.
        const QString coloured = pack("colours", {{"skin.json", skinWith(ok)}, {"bg.png", png(Qt::white, {100, 50})}, {"b.png", img}});
        QCOMPARE(errorOf(coloured), QString());
        QWidget window;
        window.resize(100, 50);
        Skin painted(&window);
        painted.OpenSkinFile(coloured);
        painted.AttachWindow(&window);
        QCOMPARE(painted.geometry(), window.rect());
        QCOMPARE(window.grab(QRect(50, 40, 1, 1)).toImage().pixelColor(0, 0), QColor(Qt::white));
        QCOMPARE(window.grab(QRect(5, 5, 1, 1)).toImage().pixelColor(0, 0), QColor(Qt::red));
        // A failed load keeps the skin in use.
        QVERIFY_THROWS_EXCEPTION(SkinError, painted.OpenSkinFile(tmp.filePath("none.dll")));
        QCOMPARE(int(painted.elements().size()), 1);
    }

    // The program without its skin file: the warning on the standard error stream.
    void programWarnsWithoutItsSkin()
    {
        QTemporaryDir dir;
        const QString program = dir.filePath("sondrel");
        QVERIFY(QFile::copy(SONDREL_PROGRAM, program));
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QFileInfo(installedSkin()).absolutePath()); // a skin here is not used
        p.start(program, {});
        QVERIFY(p.waitForStarted(10000));
        QByteArray err;
        QElapsedTimer t;
        t.start();
        while (!err.contains("skin cannot be applied") && t.elapsed() < 20000 && p.state() == QProcess::Running) {
            p.waitForReadyRead(500);
            err += p.readAllStandardError();
        }
        const bool running = p.state() == QProcess::Running;
        p.kill();
        p.waitForFinished(10000);
        QVERIFY2(running, err.constData());
        QVERIFY2(err.contains("skin cannot be applied") && err.contains(QFile::encodeName(dir.filePath(SkinFile))),
                 err.constData());
    }

    void missingOrBrokenSkinLeavesPlainButtons_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "missing" << "does not exist";
        QTest::newRow("folder") << "folder" << "cannot be read";
        QTest::newRow("garbage") << "garbage" << "not a resource bundle";
        QTest::newRow("cut") << "cut" << "not a resource bundle";
        // Neither may hang the start nor fill the memory.
        QTest::newRow("pipe") << "pipe" << "it is not a regular file";
        QTest::newRow("link to /dev/zero") << "zero" << "it is not a regular file";
        QTest::newRow("oversized") << "oversized" << "it is larger than 16 MiB";
    }
    void missingOrBrokenSkinLeavesPlainButtons()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString self = dir.filePath("test_skin");
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), self));
        QVERIFY(QFile::setPermissions(self, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString skin = dir.filePath(SkinFile);
        if (kind == "folder") {
            QVERIFY(QDir().mkpath(skin));
        } else if (kind == "pipe") {
            QCOMPARE(::mkfifo(QFile::encodeName(skin).constData(), 0600), 0);
        } else if (kind == "zero") {
            QVERIFY(QFile::link("/dev/zero", skin));
        } else if (kind == "oversized") {
            QFile f(skin);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(16 * 1024 * 1024 + 1));
        } else if (kind != "missing") {
            QFile real(installedSkin());
            QVERIFY(real.open(QIODevice::ReadOnly));
            QFile f(skin);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(kind == "cut" ? real.readAll().left(real.size() / 2) : QByteArray(4096, 'x'));
        }
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(ChildMode, "1");
        env.insert(ChildReason, reason);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        // The working folder holds a good skin; the program must not take it from there.
        p.setWorkingDirectory(QFileInfo(installedSkin()).absolutePath());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(self, {"plainButtonsStandInForTheSkin"});
        QVERIFY(p.waitForFinished(120000));
        const QByteArray log = p.readAll();
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, log.constData());
        QVERIFY2(log.contains("PASS   : TestSkin::plainButtonsStandInForTheSkin"), log.constData());
    }

    // Runs in the copy made above, beside a missing or broken skin file.
    void plainButtonsStandInForTheSkin()
    {
        const QRegularExpression warning(
            "skin cannot be applied.*" + QRegularExpression::escape(qEnvironmentVariable(ChildReason)));
        QTest::ignoreMessage(QtWarningMsg, warning);
        start();
        QVERIFY(!w().Skin->isAttached());
        QVERIFY(!w().Skin->isVisible());
        QCOMPARE(w().windowTitle(), QString("Sondrel"));
        // Every later first-show step ran.
        QVERIFY(s().settings());
        QCOMPARE(w().edt_dir->text(), QStandardPaths::writableLocation(QStandardPaths::MusicLocation));
        QCOMPARE(w().cb_format->currentText(), QString("MP3"));
        QVERIFY(!w().item("StopConverting1")->isEnabled());
        QVERIFY(w().item("Convert1")->isEnabled());
        QCOMPARE(w().lv->geometry(), QRect(6, 73, 469, 247));
        QCOMPARE(w().edt_dir->geometry(), QRect(303, 357, 95, 21));
        // Eleven plain buttons with the elements' names and places.
        QStringList names;
        const auto layout = Skin::builtInLayout();
        QCOMPARE(w().plainButtons.size(), qsizetype(layout.size()));
        for (std::size_t i = 0; i < layout.size(); ++i) {
            QPushButton* b = w().plainButtons.at(qsizetype(i));
            names << b->objectName();
            QCOMPARE(b->objectName(), layout[i].name);
            QCOMPARE(b->geometry(), layout[i].rect);
            QVERIFY(b->isVisible());
        }
        names.sort();
        QStringList expected = ElementNames;
        expected.sort();
        QCOMPARE(names, expected);
        const QString shot = qEnvironmentVariable("SONDREL_PLAIN_SCREENSHOT");
        if (!shot.isEmpty() && qEnvironmentVariable(ChildReason) == "does not exist")
            QVERIFY(w().grab().save(shot));

        // Browse, the only way to the output folder, is there and works.
        const QString out = tmp.filePath("chosen");
        QDir().mkpath(out);
        prompts->dialogActions.push_back([&](QDialog& d) {
            auto& picker = static_cast<Tfm_dir&>(d);
            QVERIFY(picker.selectFolder(out));
            picker.btn_ok->click();
        });
        auto* browse = w().findChild<QPushButton*>("Browse");
        QVERIFY(browse);
        QCOMPARE(w().centralWidget()->childAt(browse->geometry().center()), browse);
        clickAt(browse->geometry().center());
        QCOMPARE(w().edt_dir->text(), out);

        // Every button reaches its command through the same routing as the skin.
        for (const QString& name : ElementNames) {
            QTest::ignoreMessage(QtWarningMsg, warning);
            start();
            auto* b = w().findChild<QPushButton*>(name);
            QVERIFY(b);
            checkClickRuns(name, [&] { clickAt(b->geometry().center()); });
            if (QTest::currentTestFailed())
                QFAIL(qPrintable("plain button " + name));
        }
    }
};

QTEST_MAIN(TestSkin)
#include "test_skin.moc"
