#include "MainWindow.h"
#include "OutputPlanner.h"

#include "FileListView.h"
#include "Launcher.h"
#include "ListRows.h"
#include "Prompts.h"
#include "Skin.h"
#include "ValueTables.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QUrl>

// The guard of every command, checked whenever the handler is invoked (whether or not its
// menu item is enabled), and the operation it starts.

namespace sondrel {

namespace {
const QString StopPlayingFirst = QStringLiteral("Please stop playing first.");
const QString StopConvertingFirst = QStringLiteral("Please stop converting first.");
const QString SelectFileToEdit = QStringLiteral("Please select the file you want to edit.");
} // namespace

void Tfm_main::Exit1Click() { close(); }

bool Tfm_main::addingAllowed() const
{
    return !m_state.flag_converting() && !m_state.flag_playing() && !m_state.flag_adding() && !m_state.flag_analyzing();
}

void Tfm_main::AddFile1Click()
{
    if (!addingAllowed())
        return;
    AddFiles();
}

void Tfm_main::AddPath1Click()
{
    if (!addingAllowed())
        return;
    AddPath();
}

void Tfm_main::lvDragDrop(const QStringList& paths)
{
    if (!addingAllowed() || paths.isEmpty())
        return;
    const SettingsFile* s = m_state.settings();
    AddPaths(paths, s ? readKey(*s, keys::enableSubDir) != 0 : keys::enableSubDir.def != 0);
}

void Tfm_main::AddFromCommandLine(const QStringList& paths)
{
    if (!addingAllowed() || paths.isEmpty())
        return;
    QStringList absolute;
    for (const QString& path : paths)
        absolute << QDir::cleanPath(QDir::current().absoluteFilePath(path));
    AddPaths(absolute, true);
}

void Tfm_main::Remove1Click()
{
    if (!addingAllowed())
        return;
    if (lv->selectedRow() < 0)
        return;
    RemoveSelected();
}

void Tfm_main::Clear1Click()
{
    if (!addingAllowed())
        return;
    if (list->count() < 1)
        return;
    ClearList();
}

void Tfm_main::Convert1Click()
{
    if (m_state.flag_playing()) {
        m_prompts.information(this, StopPlayingFirst);
        return;
    }
    if (m_state.flag_converting() || m_state.flag_adding() || m_state.flag_analyzing() || list->count() < 1)
        return;
    ConvertList();
}

void Tfm_main::AnalyzeLoudness1Click()
{
    if (m_state.flag_playing()) {
        m_prompts.information(this, StopPlayingFirst);
        return;
    }
    if (m_state.flag_converting() || m_state.flag_adding() || m_state.flag_analyzing() || list->count() < 1)
        return;
    AnalyzeLoudness();
}

// Stop ends whichever of converting, adding and analyzing runs.
void Tfm_main::StopConverting1Click()
{
    if (m_state.flag_adding())
        StopAdding();
    else if (m_state.flag_analyzing())
        StopAnalyzing();
    else
        StopConverting();
}

void Tfm_main::Play1Click()
{
    if (m_state.flag_converting()) {
        m_prompts.information(this, StopConvertingFirst);
        return;
    }
    if (m_state.flag_adding() || m_state.flag_analyzing())
        return;
    PlaySelected();
}

void Tfm_main::PausePlaying1Click() { TogglePause(); }

void Tfm_main::Stopplaying1Click() { StopPlaying(); }

void Tfm_main::Settings1Click() { ShowSettings(); }

void Tfm_main::ID31Click()
{
    // Not while an analysis reads the files the editor would write to.
    if (list->count() < 1 || m_state.flag_converting() || m_state.flag_analyzing())
        return;
    if (lv->selectedRow() < 0) {
        m_prompts.information(this, SelectFileToEdit);
        return;
    }
    m_state.tag_edit_row = lv->selectedRow();
    ShowTagEditor();
}

void Tfm_main::Content1Click() { OpenHelp(); }

void Tfm_main::Website1Click() { OpenWebsite(); }

void Tfm_main::About1Click() { ShowAbout(); }

void Tfm_main::lvDblClick()
{
    if (lv->selectedRow() < 0)
        return;
    if (m_state.flag_converting()) {
        m_prompts.information(this, StopConvertingFirst);
        return;
    }
    if (m_state.flag_adding() || m_state.flag_analyzing())
        return;
    // A double-click always starts the clicked row from its beginning, also when paused.
    if (m_state.flag_playing())
        StopPlaying();
    PlaySelected();
}

void Tfm_main::lvColumnClick(int column)
{
    // The order of the rows is the order of conversion, and a conversion, an adding or an
    // analysis works with row numbers: they keep the order they started with.
    if (m_state.flag_converting() || m_state.flag_adding() || m_state.flag_analyzing()) {
        lv->showSortState();
        return;
    }
    lv->sortByColumnClick(column);
}

void Tfm_main::cb_formatChange()
{
    if (SettingsFile* s = m_state.settings())
        writeKey(*s, keys::format, chosenFormat());
    m_planner->schedule();
}

int Tfm_main::chosenFormat() const
{
    return cb_format->currentIndex() < 0 ? -1 : cb_format->currentData().toInt();
}

void Tfm_main::cbx_keepClick()
{
    if (SettingsFile* s = m_state.settings())
        writeKey(*s, keys::keepFolders, cbx_keep->isChecked() ? 1 : 0);
    m_planner->schedule();
}

void Tfm_main::SkinClick(const SkinObject& element)
{
    // The skin's buttons: the element's name, compared whole and case-sensitively; the first
    // equal name runs its command behind the same guard as its menu twin. Other names do
    // nothing.
    const QString name = element.GetName();
    if (name == QLatin1String("Convert")) {
        Convert1Click();
    } else if (name == QLatin1String("Stop")) {
        StopConverting1Click();
    } else if (name == QLatin1String("AddFile")) {
        AddFile1Click();
    } else if (name == QLatin1String("Remove")) {
        Remove1Click();
    } else if (name == QLatin1String("Clear")) {
        Clear1Click();
    } else if (name == QLatin1String("Options")) {
        if (!m_state.flag_converting())
            ShowSettings();
    } else if (name == QLatin1String("Browse")) {
        // The only way to change the output folder.
        if (!m_state.flag_converting())
            ChooseOutputDir();
    } else if (name == QLatin1String("ID3Tag")) {
        ID31Click();
    } else if (name == QLatin1String("Play")) {
        Play1Click();
    } else if (name == QLatin1String("Pause Play")) {
        PausePlaying1Click();
    } else if (name == QLatin1String("Stop Play")) {
        Stopplaying1Click();
    }
}

void Tfm_main::OpenHelp()
{
    // A help viewer already showing the help comes to the front instead of a second one.
    if (m_launcher.raiseWindow(QString::fromLatin1(HelpWindowTitle)))
        return;
    m_launcher.openUrl(QUrl::fromLocalFile(helpFilePath()));
}

void Tfm_main::OpenWebsite()
{
    openAddress(m_launcher, m_prompts, this, QUrl(QString::fromLatin1(WebSiteAddress)));
}

} // namespace sondrel
