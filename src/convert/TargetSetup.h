#pragma once
#include "ValueTables.h"

#include <QString>
#include <cstddef>
#include <span>

namespace sondrel {

class AudioFile;
class SettingsFile;
struct LameEncSettings;

// How a conversion run is set up from the settings of the chosen format.
struct TargetSetup {
    QString extension; // the format's, ".mp3" ...; empty when refused
    QString refusal;   // the message for settings the encoder cannot do
};

// Configures the writer once for a run of the output format stored as format (0 MP3, 1 WAV,
// 2 WMA, 3 OGG, 4 FLAC, 5 Opus, 6 M4A, and any format added since) from the settings file, as
// the format's descriptor sets its encoder up. A stored format that names none is refused.
// The MP3 encoder settings object keeps what it was given.
TargetSetup configureTarget(const SettingsFile& settings, int format, AudioFile& writer,
                            LameEncSettings& lame);

// A setting as a run takes it. A hand-edited settings file can hold any integer: every value
// is brought into its table or range first, as the settings dialog shows it. An index or code
// outside its list is the key's default, a number outside its range the nearest end of it.
namespace stored {
// An index into a list of count entries.
int indexOf(const SettingsFile& s, const IntKey& k, std::size_t count);
int numberOf(const SettingsFile& s, const IntKey& k, int lowest, int highest);
// The entry of table at the stored index.
int valueOf(const SettingsFile& s, const IntKey& k, std::span<const int> table);
// Through frequency_values and bitrate_values.
int frequencyOf(const SettingsFile& s, const IntKey& k);
int bitrateOf(const SettingsFile& s, const IntKey& k);
// Channel index 0 (mono) or 1 (stereo) as the encoders take it: the channel count.
int channelsOf(const SettingsFile& s, const IntKey& k);
} // namespace stored

} // namespace sondrel
