#include "AppState.h"

namespace sondrel {

void AppState::clearFlags()
{
    const bool changed = m_converting || m_adding || m_playing || m_paused || m_analyzing;
    m_converting = m_adding = m_playing = m_paused = m_analyzing = false;
    if (changed)
        emit flagsChanged();
}

UiState AppState::uiState() const
{
    // Converting, adding and analyzing exclude each other and playback (every command refuses to start
    // while another runs); the order below only matters for a state that cannot occur.
    if (m_converting)
        return UiState::Converting;
    if (m_adding)
        return UiState::Adding;
    if (m_analyzing)
        return UiState::Analyzing;
    if (m_playing)
        return m_paused ? UiState::Paused : UiState::Playing;
    return UiState::Idle;
}

} // namespace sondrel
