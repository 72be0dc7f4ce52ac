#include "UiStateTable.h"

#include <QAction>
#include <QWidget>

namespace sondrel {

//                                                idle   adding converting playing paused analyzing
const std::initializer_list<UiStateRow> ui_state_table{
    {{"AddFile1", "AddFile2", "AddPath1", "AddPath2", "Remove1", "Remove2", "Clear1", "Clear2"},
                                                 {true,  false, false, false, false, false}},
    {{"Convert1", "Convert2"},                   {true,  false, false, false, false, false}},
    {{"AnalyzeLoudness1", "AnalyzeLoudness2"},   {true,  false, false, false, false, false}},
    {{"StopConverting1", "StopConverting2"},     {false, true,  true,  false, false, true}},
    {{"Play1", "Play2"},                         {true,  false, false, true,  true,  false}},
    {{"PausePlaying1", "Pause1"},                {false, false, false, true,  false, false}},
    {{"Stopplaying1", "StopPlay1"},              {false, false, false, true,  true,  false}},
    {{"Settings1", "cb_format", "cbx_keep"},     {true,  true,  false, true,  true,  true}},
    {{"ID31"},                                   {true,  true,  false, true,  true,  false}},
    {{"File1", "Exit1", "Action1", "Help1", "Content1", "Website1", "About1", "lv"},
                                                 {true,  true,  true,  true,  true,  true}},
};

void applyUiState(QWidget* mainWindow, UiState state)
{
    const auto column = static_cast<size_t>(state);
    for (const UiStateRow& row : ui_state_table) {
        for (const char* name : row.objects) {
            const QString objectName = QString::fromLatin1(name);
            const bool on = row.enabled[column];
            if (auto* action = mainWindow->findChild<QAction*>(objectName))
                action->setEnabled(on);
            else if (auto* widget = mainWindow->findChild<QWidget*>(objectName))
                widget->setEnabled(on);
        }
    }
}

} // namespace sondrel
