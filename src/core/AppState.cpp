#include "AppState.h"

namespace sondrel {

void AppState::clearFlags()
{
    const bool changed = m_converting || m_adding || m_playing || m_paused;
    m_converting = m_adding = m_playing = m_paused = false;
    if (changed)
        emit flagsChanged();
}

UiState AppState::uiState() const
{
    // Converting and adding exclude each other and playback (every command refuses to start
    // while another runs); the order below only matters for a state that cannot occur.
    if (m_converting)
        return UiState::Converting;
    if (m_adding)
        return UiState::Adding;
    if (m_playing)
        return m_paused ? UiState::Paused : UiState::Playing;
    return UiState::Idle;
}

void AppState::setTrackInfo(int index, const TrackInfo& info)
{
    if (index < 0)
        return;
    if (size_t(index) >= TrackInfos.size())
        TrackInfos.resize(size_t(index) + 1);
    TrackInfos[size_t(index)] = info;
}

TrackInfo AppState::trackInfo(int index) const
{
    if (index < 0 || size_t(index) >= TrackInfos.size())
        return {};
    return TrackInfos[size_t(index)];
}

} // namespace sondrel
