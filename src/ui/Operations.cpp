#include "MainWindow.h"

// The work behind the commands; each lives in its own layer.

namespace sondrel {

void Tfm_main::AddFiles() {}                                   // file list: not built yet
void Tfm_main::RemoveSelected() {}                             // file list: not built yet
void Tfm_main::ClearList() {}                                  // file list: not built yet
void Tfm_main::AddPath() {}                                    // folder scan: not built yet
void Tfm_main::ScanFolder(const QString&, bool) {}             // folder scan: not built yet
void Tfm_main::ChooseOutputDir() {}                            // folder picker: not built yet
void Tfm_main::ConvertList() {}                                // conversion: not built yet
void Tfm_main::StopConverting() { m_state.setConverting(false); }
void Tfm_main::PlaySelected() {}                               // playback: not built yet
void Tfm_main::TogglePause() {}                                // playback: not built yet
void Tfm_main::StopPlaying() {}                                // playback: not built yet
void Tfm_main::ShowSettings() {}                               // settings dialog: not built yet
void Tfm_main::ShowTagEditor() {}                              // tag editor: not built yet
void Tfm_main::ShowAbout() {}                                  // about box: not built yet

} // namespace sondrel
