#pragma once
#include <QString>

namespace sondrel {

class AudioFile;
class SettingsFile;
struct LameEncSettings;

// How a conversion run is set up from the settings of the chosen format.
struct TargetSetup {
    QString extension; // ".mp3", ".wav", ".wma", ".ogg", ".flac", ".opus" or ".m4a"; empty when refused
    QString refusal;   // the message for settings the encoder cannot do
};

// Configures the writer once for a run of format (0 MP3, 1 WAV, 2 WMA, 3 OGG, 4 FLAC, 5 Opus,
// 6 M4A) from the
// settings file, through the value tables. Whatever the file holds, every value is first
// brought into its list or range (an index or code outside its list means that key's default,
// a number outside its range the nearest end), so no stored value can make the writer throw.
// The MP3 encoder settings object keeps what it was given.
TargetSetup configureTarget(const SettingsFile& settings, int format, AudioFile& writer,
                            LameEncSettings& lame);

} // namespace sondrel
