#pragma once
#include "AppState.h"

#include <array>
#include <initializer_list>

class QWidget;

namespace sondrel {

// Which menu items and controls are enabled in each UI state, as one table. A row names
// objects of the main window (actions or widgets, by object name) and gives their enabled
// state in the columns idle, adding, converting, playing, paused, analyzing.
struct UiStateRow {
    std::initializer_list<const char*> objects;
    std::array<bool, 6> enabled;
};

extern const std::initializer_list<UiStateRow> ui_state_table;

// Sets every object named in the table to its column for state.
void applyUiState(QWidget* mainWindow, UiState state);

} // namespace sondrel
