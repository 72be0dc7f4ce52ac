#include "MainWindow.h"

#include "AboutBox.h"
#include "Converter.h"
#include "Dialogs.h"
#include "FileListOps.h"
#include "FolderPicker.h"
#include "LoudnessAnalyzer.h"
#include "PlayTime.h"
#include "Playback.h"
#include "Prompts.h"
#include "OutputPlanner.h"
#include "SettingsDialog.h"
#include "TagEditor.h"

#include <QComboBox>
#include <QProgressBar>
#include <algorithm>

// The work behind the commands lives in the file list, conversion and playback layers;
// the main window hands each command to its owner.

namespace sondrel {

void Tfm_main::attachDialogs(Tfm_set* set, Tfm_about* about, Tfm_dir* dir, Tfm_id3* id3)
{
    fm_set = set;
    fm_set->setExampleName([this](const QString& pattern, bool portable, QString* error) {
        return m_converter->exampleName(chosenFormat(), lv->selectedRow(), pattern, portable, error);
    });
    fm_about = about;
    fm_dir = dir;
    fm_id3 = id3;
}

void Tfm_main::AddFiles() { m_fileList->AddFiles(); }
void Tfm_main::RemoveSelected() { m_fileList->RemoveRow(lv->selectedRow()); }
void Tfm_main::ClearList() { m_fileList->ClearList(); }
void Tfm_main::AddPath() { m_fileList->AddPath(*fm_dir); }
void Tfm_main::ScanFolder(const QString& folder, bool includeSub) { m_fileList->ScanFolder(folder, includeSub); }
void Tfm_main::AddPaths(const QStringList& paths, bool includeSub) { m_fileList->AddPaths(paths, includeSub); }
void Tfm_main::ChooseOutputDir() { m_fileList->ChooseOutputDir(*fm_dir, edt_dir); }
void Tfm_main::ConvertList() { m_converter->ConvertList(chosenFormat()); }
void Tfm_main::StopConverting() { m_converter->StopConverting(); }
void Tfm_main::StopAdding() { m_fileList->StopAdding(); }
void Tfm_main::AnalyzeLoudness()
{
    widenLoudnessColumn();
    m_analyzer->AnalyzeList();
}
void Tfm_main::StopAnalyzing() { m_analyzer->StopAnalyzing(); }
void Tfm_main::PlaySelected() { m_playback->PlayRow(lv->selectedRow()); }
void Tfm_main::TogglePause() { m_playback->TogglePause(); }
void Tfm_main::StopPlaying() { m_playback->StopPlaying(); }

void Tfm_main::ShowSettings()
{
    centreOver(fm_set, this);
    m_prompts.runModal(*fm_set);
    m_planner->schedule(); // the folder, format settings or naming may have changed
}

void Tfm_main::ShowTagEditor()
{
    centreOver(fm_id3, this);
    m_prompts.runModal(*fm_id3);
}

void Tfm_main::ShowAbout()
{
    centreOver(fm_about, this);
    m_prompts.runModal(*fm_about);
}

void Tfm_main::ShowPlayPosition(qint64 elapsedMs, qint64 totalMs)
{
    if (!m_barBeforePlay)
        m_barBeforePlay = BarState{pb->format(), pb->value(), pb->isTextVisible()};
    pb->setValue(totalMs > 0 ? int(std::clamp<qint64>(elapsedMs * 100 / totalMs, 0, 100)) : 0);
    pb->setFormat(playPositionText(elapsedMs, totalMs));
    pb->setTextVisible(true);
}

void Tfm_main::EndPlayPosition()
{
    if (!m_barBeforePlay)
        return;
    pb->setValue(m_barBeforePlay->value);
    pb->setFormat(m_barBeforePlay->format);
    pb->setTextVisible(m_barBeforePlay->textVisible);
    m_barBeforePlay.reset();
}

} // namespace sondrel
