#include "WindowFixture.h"

#include "FileListModel.h"
#include "FileListView.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

WindowFixture::WindowFixture()
{
    QStandardPaths::setTestModeEnabled(true);
}

void WindowFixture::forgetSettings()
{
    QFile::setPermissions(settingsPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QFile::remove(settingsPath());
}

bool WindowFixture::startWindow()
{
    // A settings file a test made unwritable (read-only, a folder, too large) is left as it is.
    const QFileInfo file(settingsPath());
    if (!file.exists() || (file.isFile() && file.permissions().testFlag(QFileDevice::WriteOwner))) {
        try {
            sondrel::SettingsFile s(settingsPath());
            if (s.read_int(QStringLiteral("window"), QStringLiteral("width"), -1) <= 0) {
                s.write_int(QStringLiteral("window"), QStringLiteral("width"), 1);
                s.write_int(QStringLiteral("window"), QStringLiteral("height"), 1);
            }
        } catch (...) {
        }
    }
    return startFirstTime();
}

bool WindowFixture::startFirstTime()
{
    const bool shown = app.start();
    prompts = app.prompts.get();
    launcher = app.launcher.get();
    shell = app.shell.get();
    return shown;
}

void WindowFixture::stop()
{
    app.stop();
    shell = nullptr;
}

void WindowFixture::add(const QStringList& files, const QString& folder)
{
    prompts->fileChoices.push_back({files, folder.isEmpty() ? QFileInfo(files.value(0)).absolutePath() : folder});
    w().item("AddFile1")->trigger();
    QVERIFY(waitAdded());
}

bool WindowFixture::waitConverted(int timeoutMs)
{
    return QTest::qWaitFor([this] { return !s().flag_converting(); }, timeoutMs);
}

int WindowFixture::rowCount() const
{
    return app.shell->mainWindow().list->count();
}

QString WindowFixture::cell(int row, int column) const
{
    const sondrel::FileListModel& model = *app.shell->mainWindow().list;
    return model.valid(row) ? model.text(row, sondrel::rows::Column(column)) : QString();
}
