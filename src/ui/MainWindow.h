#pragma once
#include "ListRows.h"
#include "AppState.h"
#include "AudioFile.h"
#include "AudioInformation.h"
#include "AudioPlayer.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "LameEncSettings.h"

#include <QMainWindow>
#include <array>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;

namespace sondrel {

class Converter;
class LoudnessAnalyzer;
class OutputPlanner;
class FileListOps;
class Launcher;
class Playback;
class RunNotices;
class SettingsFile;
class Skin;
class SkinObject;
class Tfm_about;
class Tfm_dir;
class Tfm_id3;
class Tfm_set;

inline constexpr const char* WebSiteAddress = "https://sondrel.example.org/";
inline constexpr const char* SupportMailAddress = "support@sondrel.example.org";
// The title of the help file, which help viewers show in their title.
inline constexpr const char* HelpWindowTitle = "Sondrel Help";
class Prompts;

// The main window: the file list, the progress bar, the output format and folder, the main
// menu and the list's popup menu. It routes every command through its guard to the
// operation that does the work, and keeps its menus in step with the busy flags.
class Tfm_main : public QMainWindow {
    Q_OBJECT
public:
    Tfm_main(AppState& state, Prompts& prompts, Launcher& launcher, QWidget* parent = nullptr);
    ~Tfm_main() override;

    // The designed (and smallest) size of the client area, the list's width in it, and the
    // columns' widths until the window is shown.
    static constexpr int ClientWidth = 481;
    static constexpr int ClientHeight = 388;
    static constexpr int DesignedListWidth = 469;
    static constexpr std::array<int, rows::ColumnCount> ColumnWidths{100, 155, 60, 60, 75, 150, 130};
    // The list's width in a client area this wide.
    static int listWidthFor(int clientWidth);
    // The columns' widths where none are stored, for a list this wide: Time, Size, Status and
    // Loudness fit what they show ("Converting 100%", "unconverted"), File Name, Full Path and
    // Output share the rest.
    std::array<int, rows::ColumnCount> defaultColumnWidths(int listWidth) const;
    // Makes the Loudness column as wide as its values, when it is narrower.
    void widenLoudnessColumn();

    // Controls.
    sondrel::Skin* Skin = nullptr;
    // The file list, and the view that shows it and holds the selection.
    FileListModel* list = nullptr;
    FileListView* lv = nullptr;
    QProgressBar* pb = nullptr;
    QComboBox* cb_format = nullptr;
    QLineEdit* edt_dir = nullptr;
    // Rows added with a folder go below a folder of its name in the output folder.
    QCheckBox* cbx_keep = nullptr;
    QMenu* PopupMenu1 = nullptr;
    // The audio components.
    AudioFile AudioFileRead;
    AudioFile AudioFileWrite;
    LameEncSettings AudioFile2LameEnc;
    AudioInformation AudioInfo;
    AudioPlayer Player;

    // The dialogs, created by the program body after this window, in this order.
    Tfm_set* fm_set = nullptr;
    Tfm_about* fm_about = nullptr;
    Tfm_dir* fm_dir = nullptr;
    Tfm_id3* fm_id3 = nullptr;
    void attachDialogs(Tfm_set* set, Tfm_about* about, Tfm_dir* dir, Tfm_id3* id3);

    // A main-menu or popup item by its object name (null when there is none).
    QAction* item(const char* objectName) const;

    // Handlers.
    void FormCreate();
    void FormShow();
    void FormClose();
    // Closes the window without the question a running conversion, adding or analysis asks first (for
    // a stop signal, or after a system error).
    void closeWithoutAsking();
    void Exit1Click();
    void AddFile1Click();
    void AddPath1Click();
    void Remove1Click();
    void Clear1Click();
    void Convert1Click();
    void StopConverting1Click();
    void AnalyzeLoudness1Click();
    void Play1Click();
    void PausePlaying1Click();
    void Stopplaying1Click();
    void Settings1Click();
    void ID31Click();
    void Content1Click();
    void Website1Click();
    void About1Click();
    void lvDblClick();
    void lvColumnClick(int column);
    // Files and folders dropped on the list: added as Add File(s) and Add Path add them, a
    // folder with the sub-folders choice of the folder picker.
    void lvDragDrop(const QStringList& paths);
    // The files and folders named on the command line, added when the window opens: folders
    // with their sub-folders, as the command line's conversion takes them. Relative paths are
    // taken against the current folder.
    void AddFromCommandLine(const QStringList& paths);
    // The guard of every way of adding: not while converting, playing or adding.
    bool addingAllowed() const;
    void cb_formatChange();
    // The stored index of the format the selector shows; -1 for none.
    int chosenFormat() const;
    void cbx_keepClick();
    void SkinClick(const SkinObject& element);

    // Operations.
    void AddFiles();
    void RemoveSelected();
    void ClearList();
    void AddPath();
    void ScanFolder(const QString& folder, bool includeSub);
    void AddPaths(const QStringList& paths, bool includeSub);
    void ChooseOutputDir();
    void ConvertList();
    void StopConverting();
    void StopAdding();
    // Measures every row's loudness into the Loudness column; Stop ends it.
    void AnalyzeLoudness();
    void StopAnalyzing();
    void PlaySelected();
    void TogglePause();
    void StopPlaying();
    void ShowSettings();
    void ShowTagEditor();
    void ShowAbout();
    void OpenHelp();
    void OpenWebsite();
    // While a file plays, the progress bar shows its elapsed and total time ("0:12 / 3:45");
    // when it ends, the bar shows again what it showed before.
    void ShowPlayPosition(qint64 elapsedMs, qint64 totalMs);
    void EndPlayPosition();

    // Where the help file lives: the executable's folder + "help/sondrel.chm".
    static QString helpFilePath();
    // Where the skin file lives: the executable's folder + "sondrel.dll".
    static QString skinFilePath();

    // The plain buttons that stand in for the skin's elements when no skin could be applied
    // (empty when the skin is shown).
    QList<QPushButton*> plainButtons;

    AppState& state() { return m_state; }
    Prompts& prompts() { return m_prompts; }
    // The desktop notification and task bar progress of conversions and addings.
    RunNotices& runNotices() { return *m_runNotices; }

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void buildControls();
    QWidget* buildClientArea(); // the client area, with the skin's site
    void addListKeys();         // Enter, Space, double-click and the context menu on the list
    void buildProgressBar(QWidget* client);
    void buildOutputControls(QWidget* client); // format, output folder, Keep folders
    void buildMenus();
    void placeControls();
    void applySkin();
    void showPlainButtons();
    void onFlagsChanged();
    void setKeyboardOrder();
    // The stored column widths, checked (see ListColumns.cpp), for a window this wide.
    void restoreColumns(const SettingsFile& settings, int clientWidth);
    void setColumnWidths(const std::array<int, rows::ColumnCount>& widths, int listWidth);
    // File Name and Full Path share what the list grew or shrank by.
    void shareListGrowth(int listWidth);
    int listViewportWidth(int listWidth) const;

    AppState& m_state;
    Prompts& m_prompts;
    Launcher& m_launcher;
    std::unique_ptr<FileListOps> m_fileList;
    std::unique_ptr<Converter> m_converter;
    std::unique_ptr<LoudnessAnalyzer> m_analyzer;
    OutputPlanner* m_planner = nullptr; // the Output column
public:
    OutputPlanner* planner() const { return m_planner; }
private:
    std::unique_ptr<Playback> m_playback;
    std::unique_ptr<RunNotices> m_runNotices;
    bool m_shown = false;
    bool m_loadingFormat = false;
    // The list width the column widths belong to, and File Name's and Full Path's widths
    // before they are kept to the smallest a column may be.
    int m_columnsListWidth = DesignedListWidth;
    int m_nameWidth = ColumnWidths[0];
    int m_pathWidth = ColumnWidths[1];
    int m_outputWidth = ColumnWidths[5];
    bool m_placingColumns = false;
    bool m_askingToClose = false;    // the question before closing is up
    bool m_closeWithoutAsking = false;
    // The progress bar as it was before playing started.
    struct BarState {
        QString format;
        int value = 0;
        bool textVisible = false;
    };
    std::optional<BarState> m_barBeforePlay;
};

} // namespace sondrel
