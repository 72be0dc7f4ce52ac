#include "TargetSetup.h"

#include "AudioFile.h"
#include "LameEncSettings.h"
#include "SettingsFile.h"
#include "ValueTables.h"

#include <algorithm>

namespace sondrel {

namespace {
const QString Mp3NotSupported = QStringLiteral(
    "This MP3 format not supported, please try another bit rate or frequency.");
const QString OggNotSupported = QStringLiteral(
    "This OGG format not supported, please try another bit rate or frequency.");
} // namespace

TargetSetup configureTarget(const SettingsFile& s, int format, AudioFile& writer, LameEncSettings& lame)
{
    switch (format) {
    case 0: {
        lame.Frequency = tableValue(frequency_values, readKey(s, keys::mp3Frequency), keys::mp3Frequency.def);
        lame.Bitrate = tableValue(bitrate_values, readKey(s, keys::mp3Bitrate), keys::mp3Bitrate.def);
        lame.Channels = readKey(s, keys::mp3Channel) + 1;
        lame.Quality = readKey(s, keys::mp3Quality);
        const int vbr = readKey(s, keys::mp3EnableVbr);
        if (vbr == 0) {
            lame.VbrDisabled = true;
        } else if (vbr == 1) {
            lame.VbrDisabled = false;
            lame.VbrBitrate = tableValue(bitrate_values, readKey(s, keys::mp3VbrBitrate), keys::mp3VbrBitrate.def);
            lame.VbrQuality = readKey(s, keys::mp3VbrQuality);
        }
        if (!writer.SetMp3Output(lame.Frequency, lame.Bitrate, lame.Channels))
            return {{}, Mp3NotSupported};
        writer.SetMp3Encoder(lame);
        return {QStringLiteral(".mp3"), {}};
    }
    case 1: {
        int mode = readKey(s, keys::wavMode);
        // A mode outside the three choices (a hand-edited file) is the default one, so the
        // writer never keeps the format of an earlier run under a ".wav" name.
        if (mode < 0 || mode > 2)
            mode = keys::wavMode.def;
        if (mode == 0)
            writer.SetWavOutput(44100, 2, 16);
        else if (mode == 1)
            writer.SetWavOutput(0, 0, 16); // each file keeps its own rate and channels
        else
            writer.SetWavOutput(tableValue(frequency_values, readKey(s, keys::wavFrequency), keys::wavFrequency.def),
                                readKey(s, keys::wavChannel) + 1,
                                tableValue(bits_per_sample_values, readKey(s, keys::wavBit), keys::wavBit.def));
        return {QStringLiteral(".wav"), {}};
    }
    case 2: {
        int profile = readKey(s, keys::wmaFormat);
        if (profile < 0 || size_t(profile) >= wma_profiles.size())
            profile = keys::wmaFormat.def;
        writer.SetWmaOutput(profile + 1);
        return {QStringLiteral(".wma"), {}};
    }
    case 3: {
        const bool quality = readKey(s, keys::oggEnableQualityConvert) != 0;
        const int rate = tableValue(frequency_values, readKey(s, keys::oggFrequency), keys::oggFrequency.def);
        const int channels = readKey(s, keys::oggChannel) + 1;
        const int nominal = tableValue(bitrate_values, readKey(s, keys::oggBitrate), keys::oggBitrate.def);
        const int maximum = tableValue(bitrate_values, readKey(s, keys::oggMaxBitrate), keys::oggMaxBitrate.def);
        const int minimum = tableValue(bitrate_values, readKey(s, keys::oggMinBitrate), keys::oggMinBitrate.def);
        if (quality) {
            const int q = std::clamp(readKey(s, keys::oggQuality), 0, 1000);
            writer.SetOggOutput(rate, channels, nominal, maximum, minimum, std::int16_t(q));
        } else {
            if (!writer.CheckOggOutput(rate, channels, nominal, maximum, minimum))
                return {{}, OggNotSupported};
            writer.SetOggOutput(rate, channels, nominal, maximum, minimum, -1);
        }
        return {QStringLiteral(".ogg"), {}};
    }
    default:
        return {{}, QStringLiteral("No output format is chosen.")};
    }
}

} // namespace sondrel
