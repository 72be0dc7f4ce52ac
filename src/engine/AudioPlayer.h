#pragma once
#include "SampleArray.h"

#include <QObject>
#include <memory>

namespace sondrel {

// Sound output through Qt Multimedia. Arrays loaded with LoadArray are played in order;
// the events are signals delivered on the GUI thread.
class AudioPlayer : public QObject {
    Q_OBJECT
public:
    explicit AudioPlayer(QObject* parent = nullptr);
    ~AudioPlayer() override;

    // (FormatParamB, FormatParamA) of the source: channel count, sample rate.
    void SetArrayFormat(int channels, int sampleRate);
    // Queues a copy of the samples. An empty array marks the end: OnEndPlay follows once
    // everything before it has been heard.
    void LoadArray(const SampleArray& samples);
    // Starts output, or continues it after Stop. Throws NoAudioDeviceError without a device.
    void Play();
    // Halts output and keeps what is queued, so a later Play continues where it stopped.
    // Raises no OnEndPlay; no OnEndArrayPlay or OnRequestOnLoadArray follows until Play.
    void Stop();

signals:
    void OnEndArrayPlay();
    void OnTimer(int currentSamples, int levelLeft, int levelRight);
    void OnRequestOnLoadArray();
    void OnEndPlay();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace sondrel
