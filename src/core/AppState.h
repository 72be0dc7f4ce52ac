#pragma once
#include "SettingsFile.h"
#include "TrackInfo.h"

#include <QObject>
#include <memory>
#include <vector>

namespace sondrel {

// Which activity the window is in; derived from the busy flags.
enum class UiState { Idle, Adding, Converting, Playing, Paused };

// The process-wide state every command consults: the four busy flags, the one open
// settings store and the tag records that run parallel to the list rows. GUI thread only;
// the flags are how a command learns that another one is running in a nested message pump.
class AppState : public QObject {
    Q_OBJECT
public:
    bool flag_converting() const { return m_converting; }
    bool flag_adding() const { return m_adding; }
    bool flag_playing() const { return m_playing; }
    bool flag_paused() const { return m_paused; }
    void setConverting(bool on) { set(m_converting, on); }
    void setAdding(bool on) { set(m_adding, on); }
    void setPlaying(bool on) { set(m_playing, on); }
    void setPaused(bool on) { set(m_paused, on); }
    void clearFlags();
    UiState uiState() const;

    // The settings store lives from the main window's first show to its close; null outside.
    SettingsFile* settings() const { return m_settings.get(); }
    void openSettings(std::unique_ptr<SettingsFile> store) { m_settings = std::move(store); }
    void releaseSettings() { m_settings.reset(); }

    // TrackInfos: record i belongs to list row i. It grows and shrinks with the rows, so a
    // record is never written outside it.
    std::vector<TrackInfo> TrackInfos;
    // Stores the record of a row just appended (or replaced) at index.
    void setTrackInfo(int index, const TrackInfo& info);
    // The record of a row, or an empty one when the row has none.
    TrackInfo trackInfo(int index) const;

    int play_row = -1;
    int tag_edit_row = -1;

signals:
    // Emitted after any busy flag changed; the main window re-applies its state table.
    void flagsChanged();

private:
    void set(bool& flag, bool on)
    {
        if (flag == on)
            return;
        flag = on;
        emit flagsChanged();
    }
    bool m_converting = false;
    bool m_adding = false;
    bool m_playing = false;
    bool m_paused = false;
    std::unique_ptr<SettingsFile> m_settings;
};

} // namespace sondrel
