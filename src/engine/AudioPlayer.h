#pragma once
#include "SampleArray.h"

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace sondrel {

// Sound output through Qt Multimedia. Arrays loaded with LoadArray are played in order;
// the events are signals delivered on the GUI thread.
//
// Everything runs on the thread that owns the player: a timer there writes queued samples
// into the sound server's buffer (about 0.1 s) and raises the events. OnEndArrayPlay
// follows when the last sample of an array has gone to the device; OnRequestOnLoadArray
// when less than about 0.15 s is queued behind the device's buffer (one request at a
// time: the next one waits for a LoadArray).
class AudioPlayer : public QObject {
    Q_OBJECT
public:
    explicit AudioPlayer(QObject* parent = nullptr);
    ~AudioPlayer() override;

    // The channel count and sample rate of the source.
    // Starts a new stream: whatever is still queued or buffered from before is dropped and
    // output halts until the next Play. Throws EngineError for impossible values.
    void SetArrayFormat(int channels, int sampleRate);
    // Queues a copy of the samples. An empty array marks the end: OnEndPlay follows once
    // everything before it has been heard. (Several empty arrays in a row count as one.)
    void LoadArray(const SampleArray& samples);
    // Starts output, or continues it after Stop. Throws NoAudioDeviceError without a device.
    void Play();
    // Halts output and keeps what is queued, so a later Play continues where it stopped.
    // Raises no OnEndPlay; no OnEndArrayPlay or OnRequestOnLoadArray follows until Play.
    void Stop();

    // --- for tests and diagnostics ---
    // Called with every run of loaded samples as it is written to the device, in order
    // (interleaved floats as loaded, before any conversion for the device).
    using OutputTap = std::function<void(const float* samples, std::size_t count)>;
    void SetOutputTap(OutputTap tap);
    // Samples per channel of loaded audio written to the device since SetArrayFormat.
    std::int64_t FramesWritten() const;
    // True between Play and Stop / OnEndPlay.
    bool IsPlaying() const;

signals:
    void OnEndArrayPlay();
    // About ten times a second while playing: samples per channel heard since
    // SetArrayFormat, and the peak levels (0..32767) of the left and right channel
    // written since the last event (mono: both the same).
    void OnTimer(int currentSamples, int levelLeft, int levelRight);
    void OnRequestOnLoadArray();
    // Output has ended: the end marker was reached and everything before it was heard.
    // Also raised when the sound server goes away while playing, so the caller returns to
    // idle instead of waiting for ever.
    void OnEndPlay();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace sondrel
