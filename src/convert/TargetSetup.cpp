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

// A hand-edited settings file can hold any integer. Every value of a run is brought into its
// table or range first, as the settings dialog shows it: an index or code outside its list is
// the key's default, a number outside its range the nearest end of it.
int indexOf(const SettingsFile& s, const IntKey& k, std::size_t count)
{
    const int v = readKey(s, k);
    return v >= 0 && std::size_t(v) < count ? v : k.def;
}

int numberOf(const SettingsFile& s, const IntKey& k, int lowest, int highest)
{
    return std::clamp(readKey(s, k), lowest, highest);
}

int frequencyOf(const SettingsFile& s, const IntKey& k)
{
    return tableValue(frequency_values, readKey(s, k), k.def);
}

int bitrateOf(const SettingsFile& s, const IntKey& k)
{
    return tableValue(bitrate_values, readKey(s, k), k.def);
}

// Channel index 0 (mono) or 1 (stereo): the encoders take the channel count.
int channelsOf(const SettingsFile& s, const IntKey& k)
{
    return indexOf(s, k, 2) + 1;
}
} // namespace

TargetSetup configureTarget(const SettingsFile& s, int format, AudioFile& writer, LameEncSettings& lame)
{
    switch (format) {
    case 0: {
        lame.Frequency = frequencyOf(s, keys::mp3Frequency);
        lame.Bitrate = bitrateOf(s, keys::mp3Bitrate);
        lame.Channels = channelsOf(s, keys::mp3Channel);
        lame.Quality = numberOf(s, keys::mp3Quality, 0, 9);
        // A yes/no key, read as the dialog reads it: any value but 0 is on. So the encoder
        // never keeps the VBR choice of an earlier run.
        lame.VbrDisabled = readKey(s, keys::mp3EnableVbr) == 0;
        if (!lame.VbrDisabled) {
            lame.VbrBitrate = bitrateOf(s, keys::mp3VbrBitrate);
            lame.VbrQuality = numberOf(s, keys::mp3VbrQuality, 0, 9);
        }
        if (!writer.SetMp3Output(lame.Frequency, lame.Bitrate, lame.Channels))
            return {{}, Mp3NotSupported};
        writer.SetMp3Encoder(lame);
        return {QStringLiteral(".mp3"), {}};
    }
    case 1: {
        // A mode outside the three choices is the default one, so the writer never keeps the
        // format of an earlier run under a ".wav" name.
        const int mode = indexOf(s, keys::wavMode, 3);
        if (mode == 0)
            writer.SetWavOutput(44100, 2, 16);
        else if (mode == 1)
            writer.SetWavOutput(0, 0, 16); // each file keeps its own rate and channels
        else
            writer.SetWavOutput(frequencyOf(s, keys::wavFrequency), channelsOf(s, keys::wavChannel),
                                tableValue(bits_per_sample_values, readKey(s, keys::wavBit), keys::wavBit.def));
        return {QStringLiteral(".wav"), {}};
    }
    case 2: {
        writer.SetWmaOutput(indexOf(s, keys::wmaFormat, wma_profiles.size()) + 1);
        return {QStringLiteral(".wma"), {}};
    }
    case 3: {
        const bool quality = readKey(s, keys::oggEnableQualityConvert) != 0;
        const int rate = frequencyOf(s, keys::oggFrequency);
        const int channels = channelsOf(s, keys::oggChannel);
        const int nominal = bitrateOf(s, keys::oggBitrate);
        const int maximum = bitrateOf(s, keys::oggMaxBitrate);
        const int minimum = bitrateOf(s, keys::oggMinBitrate);
        if (quality) {
            const int q = numberOf(s, keys::oggQuality, 0, 1000);
            writer.SetOggOutput(rate, channels, nominal, maximum, minimum, std::int16_t(q));
        } else {
            if (!writer.CheckOggOutput(rate, channels, nominal, maximum, minimum))
                return {{}, OggNotSupported};
            writer.SetOggOutput(rate, channels, nominal, maximum, minimum, -1);
        }
        return {QStringLiteral(".ogg"), {}};
    }
    case 4: {
        writer.SetFlacOutput(tableValue(flac_frequency_values, readKey(s, keys::flacFrequency), keys::flacFrequency.def),
                             tableValue(source_channel_values, readKey(s, keys::flacChannel), keys::flacChannel.def),
                             tableValue(flac_bits_values, readKey(s, keys::flacBit), keys::flacBit.def),
                             numberOf(s, keys::flacLevel, 0, 8));
        return {QStringLiteral(".flac"), {}};
    }
    case 5: {
        const OpusRateControl modes[] = {OpusRateControl::Vbr, OpusRateControl::ConstrainedVbr, OpusRateControl::Cbr};
        writer.SetOpusOutput(tableValue(source_channel_values, readKey(s, keys::opusChannel), keys::opusChannel.def),
                             numberOf(s, keys::opusKbps, 6, 510), modes[indexOf(s, keys::opusMode, opus_modes.size())]);
        return {QStringLiteral(".opus"), {}};
    }
    case 6: {
        writer.SetAacOutput(tableValue(aac_frequency_values, readKey(s, keys::aacFrequency), keys::aacFrequency.def),
                            tableValue(source_channel_values, readKey(s, keys::aacChannel), keys::aacChannel.def),
                            bitrateOf(s, keys::aacBitrate));
        return {QStringLiteral(".m4a"), {}};
    }
    default:
        return {{}, QStringLiteral("No output format is chosen.")};
    }
}

} // namespace sondrel
