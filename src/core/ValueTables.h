#pragma once
#include <QString>
#include <array>
#include <span>

namespace sondrel {

// Stored list positions become sample rates, bit rates and sample widths through these
// tables; the settings dialog's lists show the same values in the same order.
inline constexpr std::array<int, 9> frequency_values{8000, 11025, 12000, 16000, 22050,
                                                     24000, 32000, 44100, 48000};
inline constexpr std::array<int, 17> bitrate_values{8, 16, 24, 32, 40, 48, 56, 64, 80,
                                                    96, 112, 128, 160, 192, 224, 256, 320};
inline constexpr std::array<int, 2> bits_per_sample_values{8, 16};

// The lists of the FLAC, Opus and AAC pages, where the first choice (0) follows the source.
inline constexpr std::array<int, 14> flac_frequency_values{0,     8000,  11025, 12000, 16000,  22050,  24000,
                                                           32000, 44100, 48000, 88200, 96000, 176400, 192000};
inline constexpr std::array<int, 12> aac_frequency_values{0,     8000,  11025, 12000, 16000, 22050,
                                                          24000, 32000, 44100, 48000, 88200, 96000};
inline constexpr std::array<int, 3> source_channel_values{0, 1, 2};
inline constexpr std::array<int, 3> flac_bits_values{0, 16, 24};
// Opus rate control, by stored position: variable, constrained variable, constant.
inline constexpr std::array<const char*, 3> opus_modes{"VBR", "Constrained VBR", "CBR"};

// The WMA output profiles; the encoder receives position + 1.
extern const std::array<const char*, 47> wma_profiles;

// The entry at index, or the entry at defaultIndex when a (hand-edited) stored index lies
// outside the table: a look-up never reads outside it.
int tableValue(std::span<const int> table, int index, int defaultIndex);

// One integer (or yes/no, or index) setting with the default its readers use.
struct IntKey {
    const char* section;
    const char* key;
    int def;
};

// One text setting.
struct TextKey {
    const char* section;
    const char* key;
};

namespace keys {
// basic
inline constexpr TextKey outputDirectory{"basic", "output directory"};
inline constexpr IntKey format{"basic", "format", 0};
inline constexpr TextKey filePath{"basic", "file path"};
inline constexpr IntKey enableSubDir{"basic", "enable sub dir", 1};
// Files converted at once: 0 one per processor core, else that many.
inline constexpr IntKey jobs{"basic", "jobs", 0};
// Rows added with a folder are written below a folder of its name in the output folder.
inline constexpr IntKey keepFolders{"basic", "keep folders", 0};
// Outputs named by a pattern of tag fields (NamePattern); empty: named after their rows.
inline constexpr TextKey namePattern{"basic", "name pattern"};
// Names made from a pattern follow the rules of Windows file systems too.
inline constexpr IntKey portableNames{"basic", "portable names", 0};
// What a run does with an output that exists: 0 ask, 1 skip, 2 overwrite, 3 rename, 4 update.
inline constexpr IntKey existing{"basic", "existing", 0};
// 1: a run leaves a playlist of its outputs in the output folder.
inline constexpr IntKey playlist{"basic", "playlist", 0};
// A source already in the output format's codec is copied into its output, not re-encoded.
inline constexpr IntKey copySameFormat{"basic", "copy same format", 0};
// ReplayGain tags measured from the converted audio: 0 none, 1 track, 2 track and album.
inline constexpr IntKey replayGain{"basic", "replaygain", 0};
// 1: the audio itself is brought to -18 LUFS (per album with album tags).
inline constexpr IntKey normalize{"basic", "normalize", 0};
// mp3
inline constexpr IntKey mp3Bitrate{"mp3", "bitrate", 11};
inline constexpr IntKey mp3Channel{"mp3", "channel", 1};
inline constexpr IntKey mp3Frequency{"mp3", "frequency", 7};
inline constexpr IntKey mp3Quality{"mp3", "quality", 9};
inline constexpr IntKey mp3EnableVbr{"mp3", "enable vbr", 0};
inline constexpr IntKey mp3VbrBitrate{"mp3", "vbr bitrate", 11};
inline constexpr IntKey mp3VbrQuality{"mp3", "vbr quality", 9};
// wav
inline constexpr IntKey wavMode{"wav", "mode", 0};
inline constexpr IntKey wavBit{"wav", "bit", 1};
inline constexpr IntKey wavChannel{"wav", "channel", 1};
inline constexpr IntKey wavFrequency{"wav", "frequency", 7};
// wma
inline constexpr IntKey wmaFormat{"wma", "format", 9};
// ogg
inline constexpr IntKey oggChannel{"ogg", "channel", 1};
inline constexpr IntKey oggFrequency{"ogg", "frequency", 7};
inline constexpr IntKey oggBitrate{"ogg", "bitrate", 11};
inline constexpr IntKey oggMaxBitrate{"ogg", "max bitrate", 11};
inline constexpr IntKey oggMinBitrate{"ogg", "min bitrate", 11};
// The dialog shows quality-driven encoding as on while the key is absent; a conversion
// runs with it off. Once the dialog has written the key both follow it.
inline constexpr IntKey oggEnableQualityDialog{"ogg", "enable quality", 1};
inline constexpr IntKey oggEnableQualityConvert{"ogg", "enable quality", 0};
inline constexpr IntKey oggQuality{"ogg", "quality", 300};
// flac: positions in flac_frequency_values, source_channel_values, flac_bits_values
inline constexpr IntKey flacLevel{"flac", "compression level", 5};
inline constexpr IntKey flacBit{"flac", "bit", 0};
inline constexpr IntKey flacFrequency{"flac", "frequency", 0};
inline constexpr IntKey flacChannel{"flac", "channel", 0};
// opus: the bit rate in kbps (6 to 510); the mode a position in opus_modes
inline constexpr IntKey opusKbps{"opus", "kbps", 128};
inline constexpr IntKey opusMode{"opus", "mode", 0};
inline constexpr IntKey opusChannel{"opus", "channel", 0};
// aac: positions in bitrate_values (192 kbps), aac_frequency_values, source_channel_values
inline constexpr IntKey aacBitrate{"aac", "bitrate", 13};
inline constexpr IntKey aacFrequency{"aac", "frequency", 0};
inline constexpr IntKey aacChannel{"aac", "channel", 0};
} // namespace keys

// The output folder used when none is stored: the user's music folder.
QString defaultOutputDirectory();

} // namespace sondrel

#include "SettingsFile.h"

namespace sondrel {
inline int readKey(const SettingsFile& s, const IntKey& k)
{
    return s.read_int(QString::fromLatin1(k.section), QString::fromLatin1(k.key), k.def);
}
inline QString readKey(const SettingsFile& s, const TextKey& k)
{
    return s.read_string(QString::fromLatin1(k.section), QString::fromLatin1(k.key), QString());
}
inline void writeKey(SettingsFile& s, const IntKey& k, int value)
{
    s.write_int(QString::fromLatin1(k.section), QString::fromLatin1(k.key), value);
}
} // namespace sondrel
