#include "AudioFile.h"

#include "AudioDecoder.h"
#include "AudioEncoder.h"
#include "EngineError.h"
#include "FfmpegEncoder.h"
#include "FfmpegSupport.h"
#include "LameEncoder.h"
#include "StreamLimits.h"
#include "MpegAudio.h"
#include "SampleSafety.h"
#include "StreamCopy.h"
#include "VorbisEncoder.h"
#include "WmaProfiles.h"

namespace sondrel {

namespace {

FfmpegTarget wavTarget(const WavOutput& wav)
{
    FfmpegTarget t;
    t.muxer = "wav";
    t.rate = wav.rate;
    t.channels = wav.channels;
    switch (wav.bits) {
    case 8: t.codec = AV_CODEC_ID_PCM_U8; t.sampleFormat = AV_SAMPLE_FMT_U8; break;
    case 24: t.codec = AV_CODEC_ID_PCM_S24LE; t.sampleFormat = AV_SAMPLE_FMT_S32; break;
    case 32: t.codec = AV_CODEC_ID_PCM_S32LE; t.sampleFormat = AV_SAMPLE_FMT_S32; break;
    default: t.codec = AV_CODEC_ID_PCM_S16LE; t.sampleFormat = AV_SAMPLE_FMT_S16; break;
    }
    return t;
}

FfmpegTarget wmaTarget(const WmaOutput& wma)
{
    const WmaProfile* p = wmaProfile(wma.profile);
    FfmpegTarget t;
    t.muxer = "asf";
    t.codec = AV_CODEC_ID_WMAV2;
    t.sampleFormat = AV_SAMPLE_FMT_FLTP;
    t.rate = p->sampleRate;
    t.channels = p->channels;
    t.bitRate = std::int64_t(p->kbps) * 1000;
    return t;
}

FfmpegTarget flacTarget(const FlacOutput& flac)
{
    FfmpegTarget t;
    t.muxer = "flac";
    t.codec = AV_CODEC_ID_FLAC;
    t.rate = flac.rate;
    t.channels = flac.channels;
    t.sampleFormat = flac.bits > 16 ? AV_SAMPLE_FMT_S32 : AV_SAMPLE_FMT_S16;
    t.rawBits = flac.bits > 16 ? 24 : 0;
    t.followSourceBits = flac.bits > 0 ? 0 : 16;
    t.compressionLevel = flac.level;
    return t;
}

FfmpegTarget opusTarget(const OpusOutput& opus)
{
    FfmpegTarget t;
    t.muxer = "opus";
    t.codec = AV_CODEC_ID_OPUS;
    t.encoder = "libopus";
    t.channels = opus.channels;
    t.sampleFormat = AV_SAMPLE_FMT_FLT;
    t.bitRate = std::int64_t(opus.kbps) * 1000;
    t.rateControl = opus.control == OpusRateControl::Cbr              ? "off"
                    : opus.control == OpusRateControl::ConstrainedVbr ? "constrained"
                                                                      : "on";
    return t;
}

FfmpegTarget aacTarget(const AacOutput& aac)
{
    FfmpegTarget t;
    t.muxer = "ipod"; // MP4 with the M4A brand
    t.codec = AV_CODEC_ID_AAC;
    t.encoder = "aac";
    t.rate = aac.rate;
    t.highestFollowedRate = aac.highestFollowedRate;
    t.channels = aac.channels;
    t.sampleFormat = AV_SAMPLE_FMT_FLTP;
    t.bitRate = std::int64_t(aac.kbps) * 1000;
    return t;
}

} // namespace

std::unique_ptr<AudioEncoder> createEncoder(const OutputSelection& selection, const QString& path)
{
    if (const auto* wav = std::get_if<WavOutput>(&selection))
        return std::make_unique<FfmpegEncoder>(path, wavTarget(*wav));
    if (const auto* wma = std::get_if<WmaOutput>(&selection))
        return std::make_unique<FfmpegEncoder>(path, wmaTarget(*wma));
    if (const auto* flac = std::get_if<FlacOutput>(&selection))
        return std::make_unique<FfmpegEncoder>(path, flacTarget(*flac));
    if (const auto* opus = std::get_if<OpusOutput>(&selection))
        return std::make_unique<FfmpegEncoder>(path, opusTarget(*opus));
    if (const auto* aac = std::get_if<AacOutput>(&selection))
        return std::make_unique<FfmpegEncoder>(path, aacTarget(*aac));
    if (const auto* mp3 = std::get_if<Mp3Output>(&selection))
        return std::make_unique<LameEncoder>(path, mp3->settings);
    if (const auto* ogg = std::get_if<OggOutput>(&selection))
        return std::make_unique<VorbisEncoder>(path, *ogg);
    throw EngineError("\"" + path.toStdString() + "\" cannot be created: no output format was selected");
}

struct AudioFile::Impl {
    OutputSelection output;
    std::unique_ptr<AudioDecoder> reader;
    std::unique_ptr<AudioEncoder> writer;
    bool writerStarted = false;
    bool writerFailed = false;              // a write threw: the file cannot be completed
    int inputChannels = 0, inputRate = 0;   // from SetInputFormat
    int inputBits = 0;
    SampleArray safe;                       // the samples of WriteSamples, made safe
    sondrel::WrittenLength written;         // of the last file closed

    // Runs an operation of the writer; should it fail, the file is marked as not completable.
    template <class F>
    void writerCall(F&& f)
    {
        try {
            f();
        } catch (...) {
            writerFailed = true;
            throw;
        }
    }

    void requireClosed(const char* operation) const
    {
        if (reader || writer)
            throw EngineError(std::string(operation) + ": a file is still open; close it first");
    }
    AudioDecoder& requireReader(const char* operation) const
    {
        if (!reader)
            throw EngineError(std::string(operation) + ": no file is open for reading");
        return *reader;
    }
};

AudioFile::AudioFile() : d(std::make_unique<Impl>())
{
    ff::quietLogs();
}

AudioFile::~AudioFile()
{
    try {
        Close();
    } catch (...) {
        // A destructor cannot report; Close() reports when called by the program.
    }
}

void AudioFile::OpenRead(const QString& path, int, int)
{
    d->requireClosed("OpenRead");
    d->reader = std::make_unique<AudioDecoder>(path, m_cancel);
}

void AudioFile::OpenReadUncounted(const QString& path)
{
    d->requireClosed("OpenRead");
    d->reader = std::make_unique<AudioDecoder>(path, m_cancel, AudioDecoder::Counting::ForReading);
}

void AudioFile::TakeReader(AudioFile& other)
{
    if (this == &other)
        return;
    other.d->requireReader("TakeReader");
    Close();
    d->reader = std::move(other.d->reader);
}

void AudioFile::SetReadRange(std::int64_t startFrame, std::int64_t endFrame)
{
    d->requireReader("SetReadRange").setRange(startFrame, endFrame);
}

SampleArray AudioFile::ReadSamples(int count)
{
    return d->requireReader("ReadSamples").read(count);
}

int AudioFile::PreparePlayback(int, int)
{
    return 0;
}

std::int64_t AudioFile::SampleCount() const { return d->reader ? d->reader->sampleCount() : 0; }

std::int64_t AudioFile::DurationMs() const
{
    if (!d->reader || d->reader->sampleRate() <= 0)
        return 0;
    const std::int64_t rate = d->reader->sampleRate();
    return (d->reader->sampleCount() * 1000 + rate / 2) / rate;
}

int AudioFile::SampleRate() const { return d->reader ? d->reader->sampleRate() : 0; }
int AudioFile::ChannelCount() const { return d->reader ? d->reader->channels() : 0; }

bool AudioFile::SourceChanged() const { return d->reader && d->reader->sourceChanged(); }

std::int64_t AudioFile::FramesRead() const { return d->reader ? d->reader->framesRead() : 0; }

std::int64_t AudioFile::LengthCorrection() const { return d->reader ? d->reader->lengthCorrection() : 0; }

WrittenLength AudioFile::WrittenLength() const
{
    return d->writer ? d->writer->writtenLength() : d->written;
}

int AudioFile::SourceBits() const { return d->reader ? d->reader->sourceBits() : 0; }

const char* AudioFile::CountMethodName() const { return d->reader ? methodName(d->reader->countMethod()) : ""; }

void AudioFile::SetWavOutput(int rate, int channels, int bitsPerSample)
{
    if (rate < 0 || channels < 0 || channels > 8)
        throw EngineError("SetWavOutput: invalid format " + std::to_string(rate) + " Hz, " + std::to_string(channels)
                          + " channels");
    if (bitsPerSample != 8 && bitsPerSample != 16 && bitsPerSample != 24 && bitsPerSample != 32)
        throw EngineError("SetWavOutput: " + std::to_string(bitsPerSample) + " bits per sample are not supported");
    d->output = WavOutput{rate, channels, bitsPerSample};
}

void AudioFile::SetMp3Encoder(const LameEncSettings& settings)
{
    d->output = Mp3Output{settings};
}

void AudioFile::SetOggOutput(int rate, int channels, int kbps, int maxKbps, int minKbps, std::int16_t quality)
{
    if (rate < 0 || channels < 0 || channels > 8)
        throw EngineError("SetOggOutput: invalid format " + std::to_string(rate) + " Hz, " + std::to_string(channels)
                          + " channels");
    d->output = OggOutput{rate, channels, kbps, maxKbps, minKbps, quality < 0 ? -1 : int(quality)};
}

void AudioFile::SetFlacOutput(int rate, int channels, int bitsPerSample, int level)
{
    if (rate < 0 || channels < 0 || channels > 8)
        throw EngineError("SetFlacOutput: invalid format " + std::to_string(rate) + " Hz, " + std::to_string(channels)
                          + " channels");
    if (bitsPerSample != 0 && bitsPerSample != 16 && bitsPerSample != 24)
        throw EngineError("SetFlacOutput: " + std::to_string(bitsPerSample) + " bits per sample are not supported");
    if (level < 0 || level > 8)
        throw EngineError("SetFlacOutput: there is no compression level " + std::to_string(level) + " (0 to 8)");
    d->output = FlacOutput{rate, channels, bitsPerSample, level};
}

void AudioFile::SetOpusOutput(int channels, int kbps, OpusRateControl control)
{
    if (channels < 0 || channels > 8)
        throw EngineError("SetOpusOutput: invalid channel count " + std::to_string(channels));
    if (kbps < 6 || kbps > 510)
        throw EngineError("SetOpusOutput: " + std::to_string(kbps) + " kbps is outside 6 to 510");
    d->output = OpusOutput{channels, kbps, control};
}

void AudioFile::SetAacOutput(int rate, int channels, int kbps, int highestFollowedRate)
{
    if (rate < 0 || channels < 0 || channels > 8 || highestFollowedRate < 0)
        throw EngineError("SetAacOutput: invalid format " + std::to_string(rate) + " Hz, " + std::to_string(channels)
                          + " channels");
    if (kbps < 8 || kbps > 512)
        throw EngineError("SetAacOutput: " + std::to_string(kbps) + " kbps is outside 8 to 512");
    d->output = AacOutput{rate, channels, kbps, highestFollowedRate};
}

void AudioFile::SetWmaOutput(int profile)
{
    if (!wmaProfile(profile))
        throw EngineError("SetWmaOutput: there is no WMA profile " + std::to_string(profile) + " (1 to "
                          + std::to_string(kWmaProfileCount) + ")");
    d->output = WmaOutput{profile};
}

bool AudioFile::SetMp3Output(int rate, int kbps, int channels)
{
    return mpeg::layer3Allows(rate, kbps, channels);
}

bool AudioFile::CheckOggOutput(int rate, int channels, int kbps, int maxKbps, int minKbps)
{
    return vorbisManagedSupported(rate, channels, kbps, maxKbps, minKbps);
}

void AudioFile::CopyOutputFrom(const AudioFile& other)
{
    d->output = other.d->output;
}

QString AudioFile::CopiedCodec() const
{
    return copiedCodecOf(d->output);
}

void AudioFile::OpenWrite(const QString& path, int)
{
    d->requireClosed("OpenWrite");
    d->writer = createEncoder(d->output, path);
    d->written = {};
    d->writerStarted = false;
    d->writerFailed = false;
    if (d->inputChannels > 0) {
        // SetInputFormat came first: the encoder can start at once.
        d->writer->setSourceBits(d->inputBits);
        d->writerCall([&] { d->writer->start(d->inputChannels, d->inputRate); });
        d->writerStarted = true;
    }
}

void AudioFile::SetInputFormat(int channels, int sampleRate, int sourceBits)
{
    if (channels < 1 || channels > limits::MaxChannels || sampleRate < limits::MinSampleRate
        || sampleRate > limits::MaxSampleRate)
        throw EngineError("SetInputFormat: invalid input " + std::to_string(channels) + " channels at "
                          + std::to_string(sampleRate) + " Hz");
    if (d->writer && d->writerStarted) {
        if (channels != d->inputChannels || sampleRate != d->inputRate)
            throw EngineError("SetInputFormat: the input format cannot change while writing");
        return;
    }
    d->inputChannels = channels;
    d->inputRate = sampleRate;
    d->inputBits = sourceBits;
    if (d->writer) {
        d->writer->setSourceBits(sourceBits);
        d->writerCall([&] { d->writer->start(channels, sampleRate); });
        d->writerStarted = true;
    }
}

void AudioFile::WriteSamples(const SampleArray& samples)
{
    if (!d->writer)
        throw EngineError("WriteSamples: no file is open for writing");
    if (!d->writerStarted)
        throw EngineError("WriteSamples: SetInputFormat must come first");
    if (samples.size() % std::size_t(d->inputChannels) != 0)
        throw EngineError("WriteSamples: the array does not hold whole sample frames");
    if (d->writerFailed)
        throw EngineError("WriteSamples: an earlier write failed");
    d->safe.resize(samples.size());
    makeSamplesSafe(samples.data(), d->safe.data(), samples.size());
    const std::size_t maxFrames = 1 << 20;
    d->writerCall([&] {
        std::size_t done = 0;
        while (done < d->safe.size()) {
            const std::size_t frames = std::min(maxFrames, (d->safe.size() - done) / std::size_t(d->inputChannels));
            d->writer->write(d->safe.data() + done, int(frames));
            done += frames * std::size_t(d->inputChannels);
        }
    });
}

void AudioFile::Close()
{
    d->reader.reset();
    if (d->writer && d->writerFailed) {
        Discard();
        return;
    }
    if (d->writer) {
        std::unique_ptr<AudioEncoder> writer = std::move(d->writer);
        const bool started = d->writerStarted;
        const int inputRate = started ? d->inputRate : 0;
        d->writerStarted = false;
        d->inputChannels = d->inputRate = 0;
        if (!started) {
            // Nothing was written: still leave a complete, empty file.
            const auto [rate, channels] = writer->defaultInput();
            writer->start(channels, rate);
        }
        writer->finish();
        d->written = writer->writtenLength();
        d->written.inputRate = inputRate;
    }
    d->inputChannels = d->inputRate = 0;
}

void AudioFile::Discard() noexcept
{
    // The encoders' destructors close their files without writing anything more.
    d->reader.reset();
    d->writer.reset();
    d->written = {};
    d->writerStarted = false;
    d->writerFailed = false;
    d->inputChannels = d->inputRate = 0;
}

bool AudioFile::IsOpen() const
{
    return d->reader || d->writer;
}

} // namespace sondrel
