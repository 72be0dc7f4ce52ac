#pragma once
// The output formats, one descriptor each: what the format selector lists, what the settings
// dialog shows for it, how a run sets its encoder up, and how the command line and the bench
// name it all come from this one table. A format is added by one descriptor file (in
// formats/) that registers itself, next to its encoder in the engine.
#include <QFlags>
#include <QString>
#include <QStringList>
#include <vector>

class QWidget;

namespace sondrel {

class AudioFile;
class SettingsFile;
struct LameEncSettings;

namespace settingsui {
struct PageParts;
}

// What a format's files hold of the tags a conversion writes into them.
enum class TagAbility {
    Values = 0x1,   // the seven values of the track record: title, artist, album, year, ...
    Fields = 0x2,   // every other field of the source (album artist, disc, ReplayGain, ...)
    Pictures = 0x4, // the cover and the source's other pictures
};
Q_DECLARE_FLAGS(TagAbilities, TagAbility)
Q_DECLARE_OPERATORS_FOR_FLAGS(TagAbilities)

// The writer a run is set up on (every job copies its selection), and the MP3 encoder's
// settings object, which keeps what it was given.
struct EncoderTarget {
    AudioFile& writer;
    LameEncSettings& lame;
};

// A format's page of the settings dialog.
struct SettingsPageSpec {
    const char* title;   // the tab's text
    const char* name;    // the page's object name
    int tab;             // its place among the tabs, the smallest first
    // Makes the page's controls in page and lists them in parts: each setting with its key
    // (in the order OK writes them), the explanation lines, the enabling rules.
    void (*build)(QWidget* page, settingsui::PageParts& parts);
};

struct OutputFormat {
    int index;             // stored as "format" in [basic]; the selector lists formats by it
    const char* name;      // --format's name, in lower case: "mp3"
    const char* label;     // in the format selector: "MP3"
    const char* extension; // of the files written, with its dot: ".mp3"
    const char* section;   // the settings file's section of the format's keys
    SettingsPageSpec page;
    // Sets the encoder up from the settings file, every value first brought into its list or
    // range (a hand-edited file can hold anything), so no stored value makes the writer throw.
    // Returns the message for settings the encoder cannot do; empty when it is set up.
    QString (*configure)(const SettingsFile& settings, EncoderTarget& target);
    TagAbilities tags;
};

// Every registered format, by stored index.
const std::vector<const OutputFormat*>& outputFormats();
// The format stored as index; null for none.
const OutputFormat* outputFormat(int index);
// The format of a --format name, in any letter case; null for none.
const OutputFormat* outputFormatNamed(const QString& name);
// The --format names by stored index: "mp3", "wav", ...
QStringList outputFormatNames();

// Adds format (kept by its address: it must outlive every use). Returns false, and adds
// nothing, when its index, name or extension is already taken or it lacks a part. Formats
// register while the program starts, before any window or run reads the table.
bool registerOutputFormat(const OutputFormat& format);

} // namespace sondrel
