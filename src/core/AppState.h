#pragma once
#include "SettingsFile.h"

#include <QObject>
#include <memory>

namespace sondrel {

// Which activity the window is in; derived from the busy flags.
enum class UiState { Idle, Adding, Converting, Playing, Paused, Analyzing };

// The process-wide state every command consults: the five busy flags and the one open
// settings store. GUI thread only; the flags are how a command learns that another one is
// running (a conversion, an adding or a loudness analysis that works on worker threads, a
// playback). The tag
// records live with their rows in the list's model.
class AppState : public QObject {
    Q_OBJECT
public:
    bool flag_converting() const { return m_converting; }
    bool flag_adding() const { return m_adding; }
    bool flag_playing() const { return m_playing; }
    bool flag_paused() const { return m_paused; }
    bool flag_analyzing() const { return m_analyzing; }
    void setConverting(bool on) { set(m_converting, on); }
    void setAdding(bool on) { set(m_adding, on); }
    void setPlaying(bool on) { set(m_playing, on); }
    void setPaused(bool on) { set(m_paused, on); }
    void setAnalyzing(bool on) { set(m_analyzing, on); }
    void clearFlags();
    UiState uiState() const;

    // The settings store lives from the main window's first show to its close; null outside.
    SettingsFile* settings() const { return m_settings.get(); }
    void openSettings(std::unique_ptr<SettingsFile> store) { m_settings = std::move(store); }
    void releaseSettings() { m_settings.reset(); }

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
    bool m_analyzing = false;
    std::unique_ptr<SettingsFile> m_settings;
};

// Holds one busy flag set from its construction to its destruction, so that whichever way
// the work ends (finished, stopped, refused, an exception) the flag is cleared.
class BusyFlag {
public:
    using Setter = void (AppState::*)(bool);
    BusyFlag(AppState& state, Setter set) : m_state(state), m_set(set) { (m_state.*m_set)(true); }
    ~BusyFlag() { (m_state.*m_set)(false); }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

private:
    AppState& m_state;
    Setter m_set;
};

} // namespace sondrel
