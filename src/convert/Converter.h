#pragma once
#include <QString>

class QProgressBar;
class QTreeWidget;
class QWidget;

namespace sondrel {

class AppState;
class AudioFile;
class AudioInformation;
class Prompts;
struct LameEncSettings;

// The batch conversion: every row of the list, top to bottom, into the output folder in
// the chosen format, with the row's tags written into the new file. It runs inside the
// command and pumps window messages so that Stop Converting (or closing the window) can end
// it after the chunk in progress.
class Converter {
public:
    Converter(QWidget* window, QTreeWidget* lv, QProgressBar* pb, AppState& state, Prompts& prompts,
              AudioFile& reader, AudioFile& writer, LameEncSettings& lame, AudioInformation& tags);

    // format: 0 MP3, 1 WAV, 2 WMA, 3 OGG; anything else is no format.
    void ConvertList(int format);
    void StopConverting();

private:
    void convertRow(int row, const QString& outputFolder, const QString& extension);
    void writeTags(int row, const QString& target);

    QWidget* m_window;
    QTreeWidget* m_lv;
    QProgressBar* m_pb;
    AppState& m_state;
    Prompts& m_prompts;
    AudioFile& m_reader;
    AudioFile& m_writer;
    LameEncSettings& m_lame;
    AudioInformation& m_tags;
};

} // namespace sondrel
