#pragma once
#include "Dialogs.h"
#include "SettingsWidgets.h"

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace sondrel {

class AppState;
class SettingsFile;
class UpDown;

// The settings dialog: the encoder parameters of the output formats, one page each as the
// format's descriptor builds it, and a page for how the conversion runs. Each page lists its
// settings in one binding table (control and key), from which every showing loads them, OK
// saves them and Default resets them.
// It keeps nothing of its own: every showing loads the controls from the settings file, OK
// writes them all back and closes, Default puts the default values into the controls only,
// Cancel and the close box write nothing.
class Tfm_set : public ModalDialog {
    Q_OBJECT
public:
    explicit Tfm_set(AppState& state, QWidget* parent = nullptr);

    static constexpr int ClientWidth = 391;
    static constexpr int ClientHeight = 349;

    // Controls. Those of the pages are found by their names once the pages are built; the
    // page of a format added later is reached through findChild.
    QGroupBox* gb_output = nullptr;
    QTabWidget* pc = nullptr;
    QPushButton* btn_ok = nullptr;
    QPushButton* btn_default = nullptr;
    QPushButton* btn_cancel = nullptr;
    // MP3 page.
    QComboBox* cb_mp3_frequency = nullptr;
    QComboBox* cb_mp3_channel = nullptr;
    QComboBox* cb_mp3_bitrate = nullptr;
    QLineEdit* edt_mp3_quality = nullptr;
    UpDown* ud_mp3_quality = nullptr;
    QCheckBox* cb_vbr = nullptr;
    QComboBox* cb_mp3_vbr = nullptr;
    QLineEdit* edt_mp3_vbr = nullptr;
    UpDown* ud_mp3_vbr = nullptr;
    // WAV page.
    QRadioButton* rb_cdquality = nullptr;
    QRadioButton* rb_bestsuited = nullptr;
    QRadioButton* rb_custom = nullptr;
    QComboBox* cb_wav_frequency = nullptr;
    QComboBox* cb_wav_channel = nullptr;
    QComboBox* cb_wav_bit = nullptr;
    // OGG page.
    QComboBox* cb_ogg_fre = nullptr;
    QComboBox* cb_ogg_channel = nullptr;
    QComboBox* cb_ogg_bitrate = nullptr;
    QCheckBox* cb_ogg_quality = nullptr;
    QComboBox* cb_ogg_minbit = nullptr;
    QComboBox* cb_ogg_maxbit = nullptr;
    QLineEdit* edt_ogg_quality = nullptr;
    UpDown* ud_ogg_quality = nullptr;
    // WMA page.
    QComboBox* cb_wma = nullptr;
    // FLAC page.
    QComboBox* cb_flac_frequency = nullptr;
    QComboBox* cb_flac_channel = nullptr;
    QComboBox* cb_flac_bit = nullptr;
    QComboBox* cb_flac_level = nullptr;
    // Opus page.
    QLineEdit* edt_opus_bitrate = nullptr;
    UpDown* ud_opus_bitrate = nullptr;
    QComboBox* cb_opus_channel = nullptr;
    QComboBox* cb_opus_mode = nullptr;
    // AAC page.
    QComboBox* cb_aac_frequency = nullptr;
    QComboBox* cb_aac_channel = nullptr;
    QComboBox* cb_aac_bitrate = nullptr;
    // General page: how many files are converted at once (0: one per processor core).
    QComboBox* cb_jobs = nullptr;
    // Naming page.
    QLineEdit* edt_pattern = nullptr;
    QComboBox* cb_ready_pattern = nullptr;
    QCheckBox* cbx_portable = nullptr;
    QLabel* lbl_example = nullptr;
    QComboBox* cb_existing = nullptr;
    QCheckBox* cbx_playlist = nullptr;
    QCheckBox* cbx_copy_same_format = nullptr;

    // Where the Naming page gets the selected row's name from.
    void setExampleName(settingsui::ExampleName example) { m_exampleName = std::move(example); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* addPage(const char* name, const QString& title);
    // The pages of the output formats, then the General page: their tabs in the formats'
    // order of tabs, their settings in the order of the formats' stored indexes.
    void buildPages();
    // Takes a page's settings, explanation lines and enabling rules.
    void take(settingsui::PageParts&& parts);
    void findControls();
    // Which controls are enabled follows the check boxes and radio buttons.
    void applyEnablingRules();
    void fitNotes();

    // Handlers.
    void FormShow();
    void btn_okClick();
    void btn_defaultClick();
    void btn_cancelClick();

    SettingsFile& store() const;

    AppState& m_state;
    bool m_shownBefore = false;
    QList<QLabel*> m_notes;       // the explanation lines, one line each
    std::vector<settingsui::Binding> m_bindings;
    settingsui::ExampleName m_exampleName;
    std::vector<std::function<void()>> m_rules;
};

} // namespace sondrel
