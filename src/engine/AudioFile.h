#pragma once
#include "AudioEncoder.h"
#include "LameEncSettings.h"
#include "SampleArray.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>

namespace sondrel {

// One audio file, opened either for decoding (OpenRead) or for encoding (OpenWrite); one
// instance holds at most one open file. The decoded stream is described by its SampleRate and
// ChannelCount. Every failure throws EngineError.
class AudioFile {
public:
    AudioFile();
    ~AudioFile();
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    // Kept for the start-up order of the program; it switches nothing on.
    bool StartOption() const { return m_startOption; }
    void SetStartOption(bool on) { m_startOption = on; }

    // --- reading ---
    // A flag another thread may set to stop this file's work: once it is set, OpenRead and
    // ReadSamples throw CancelledError. Null (the default) for none; the flag must outlive
    // every use of this instance.
    void SetCancelFlag(const std::atomic<bool>* flag) { m_cancel = flag; }
    // Opens path for decoding, chosen by content, on its best audio stream. The two numbers
    // are always (0, 1) and select nothing. Throws EngineError for anything that is not
    // decodable audio; the instance is then closed.
    void OpenRead(const QString& path, int reserved1 = 0, int reserved2 = 1);
    // Opens path for reading as OpenRead does, for a reader that needs no length (playing):
    // nothing is counted beyond what reading itself needs, so a file whose length only a
    // full decode tells (Matroska/WebM) opens as fast as any other. What ReadSamples delivers
    // is the same; SampleCount is 0 unless the headers told it (CountMethodName "not
    // counted").
    void OpenReadUncounted(const QString& path);
    // Takes over the file other has open for reading (what this instance had open is closed
    // first); other is closed afterwards. A file opened on a worker thread is handed to the
    // thread that plays it this way. The cancel flag it was opened with stays in force and
    // must outlive it.
    void TakeReader(AudioFile& other);
    // Narrows what the open reader delivers to the sample frames [startFrame, endFrame) of
    // its decoded stream (endFrame -1: to the stream's end): one track of an album kept as
    // one image. Called after OpenRead or OpenReadUncounted and before the first ReadSamples.
    // The first frame delivered is exactly frame startFrame of a read from the beginning;
    // the stream's real end still ends a range that runs past it (a range beyond it delivers
    // nothing). SampleCount and DurationMs then tell the range's length (for endFrame -1 the
    // count less startFrame), FramesRead counts from startFrame. Throws EngineError for a
    // range that is none (start < 0, end before start) or once reading has begun, and
    // CancelledError once the cancel flag is set.
    void SetReadRange(std::int64_t startFrame, std::int64_t endFrame);
    // Up to count interleaved samples (whole sample frames) from the current position; empty
    // at the end. A count smaller than one sample frame throws EngineError.
    SampleArray ReadSamples(int count);
    // Playback preparation; always (0, 3). Returns 0. The reader needs nothing more.
    int PreparePlayback(int reserved1 = 0, int reserved2 = 3);

    // Samples per channel counted at opening: what ReadSamples delivers in all for every
    // undamaged file, and the length to show and measure progress against. Reading itself
    // goes to the real end of the stream, which FramesRead tells once it is reached.
    std::int64_t SampleCount() const;
    // SampleCount in milliseconds.
    std::int64_t DurationMs() const;
    int SampleRate() const;
    int ChannelCount() const;
    // Older names of SampleRate and ChannelCount, still used by the playback control.
    int FormatParamA() const { return SampleRate(); }
    int FormatParamB() const { return ChannelCount(); }
    // Sample frames (samples per channel) ReadSamples has delivered so far; once it returns
    // empty, the stream's real length.
    std::int64_t FramesRead() const;
    // Once ReadSamples has returned empty: FramesRead - SampleCount, how far the real end
    // was from the count made at opening (damaged data ends early: < 0; data past what the
    // headers say: > 0). 0 before the end, and for every undamaged file.
    std::int64_t LengthCorrection() const;
    // Whether the open source was written to (size or modification time) since it was opened:
    // what was read may then mix old and new data, or end early.
    bool SourceChanged() const;
    // Bits per sample the source stores losslessly (16 for CD audio, 24 for studio files); 0
    // for lossy sources, whose decoders have no such figure.
    int SourceBits() const;
    // How SampleCount was found: "wav header", "mp3 header", "packet scan", "full decode", ...
    // or "not counted".
    const char* CountMethodName() const;

    // --- writing ---
    // Output selection; stays in force for every later OpenWrite.
    // rate 0 or channels 0: follow the input given to SetInputFormat.
    void SetWavOutput(int rate, int channels, int bitsPerSample);
    void SetMp3Encoder(const LameEncSettings& settings);
    void SetOggOutput(int rate, int channels, int kbps, int maxKbps, int minKbps, std::int16_t quality);
    void SetWmaOutput(int profile); // 1..47
    // bitsPerSample 16 or 24, 0: as the source holds them; level 0 (fastest) .. 8 (smallest).
    void SetFlacOutput(int rate, int channels, int bitsPerSample, int level);
    // Opus always decodes at 48 kHz; the input is resampled where the encoder needs it.
    void SetOpusOutput(int channels, int kbps, OpusRateControl control);
    // AAC-LC in an M4A file. With rate 0 and highestFollowedRate > 0, a source above that
    // rate is resampled down to it.
    void SetAacOutput(int rate, int channels, int kbps, int highestFollowedRate = 0);
    // Whether MPEG layer III allows this rate with this bit rate, and channels are 1 or 2.
    bool SetMp3Output(int rate, int kbps, int channels);
    // libvorbisenc's own answer for this managed bit-rate combination.
    bool CheckOggOutput(int rate, int channels, int kbps, int maxKbps, int minKbps);

    // Takes over the output selection of another instance (each conversion job writes with
    // its own instance, set up like the one configured for the run).
    void CopyOutputFrom(const AudioFile& other);
    // The codec the selected output writes, when a source already in it may be copied
    // instead of encoded (StreamCopy); empty for outputs that are always encoded.
    QString CopiedCodec() const;

    // Creates path in the selected output format. The number is always 0.
    void OpenWrite(const QString& path, int reserved = 0);
    // The decoded stream that WriteSamples will receive: (ChannelCount, SampleRate), and
    // the source's SourceBits for a writer that follows them.
    void SetInputFormat(int channels, int sampleRate, int sourceBits = 0);
    // NaN and infinite samples are written as silence, samples beyond full scale clipped:
    // encoders get only what they can take.
    void WriteSamples(const SampleArray& samples);
    // How long the file written is: while it is open, so far; after Close, the file just
    // completed (all zeros after Discard or a failed write). A decoder of the file gives
    // framesEncoded to framesEncoded + slack sample frames at outputRate.
    sondrel::WrittenLength WrittenLength() const;

    // --- both ---
    // Finishes and closes the open file (a written file is complete and playable afterwards).
    // Harmless when nothing is open. After a failed write it only closes (the file is not
    // completed) and never throws.
    void Close();
    // Closes without completing anything: for a file given up after a failure. Never throws.
    void Discard() noexcept;
    bool IsOpen() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    bool m_startOption = false;
    const std::atomic<bool>* m_cancel = nullptr;
};

} // namespace sondrel
