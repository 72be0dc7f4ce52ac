#include "AudioPlayer.h"

#include "EngineError.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <deque>

namespace sondrel {

namespace {
// Requested size of the sound server's buffer. PulseAudio grants somewhat less (about
// 95 ms for this request) and starts output once it is full; it is also what carries the
// sound through a busy moment of the GUI thread.
constexpr int kDeviceBufferMs = 150;
// Loaded audio kept waiting behind the device buffer before more is requested.
constexpr int kQueueLowWaterMs = 150;
// How often queued samples are moved to the device.
constexpr int kTickMs = 10;
// The server's play position is an estimate (its last report plus the time since); it
// can run a few milliseconds ahead of the sound. OnEndPlay waits this much longer so that
// a caller stopping at once cuts nothing off.
constexpr int kEndMarginMs = 30;
// How often OnTimer is raised.
constexpr int kLevelEventMs = 100;
} // namespace

struct AudioPlayer::Impl {
    explicit Impl(AudioPlayer* owner) : q(owner) {}

    AudioPlayer* q;

    int channels = 0;
    int rate = 0;

    struct Entry {
        SampleArray samples;
        std::size_t pos = 0; // elements already written to the device
        bool end = false;    // the end marker
    };
    std::deque<Entry> queue;
    std::int64_t queuedFrames = 0; // loaded frames not yet written
    int endMarkers = 0;

    enum class State { Idle, Playing, Paused };
    State state = State::Idle;
    // Changes whenever Stop, SetArrayFormat or the end of a stream interrupts a pump, so
    // that a pump raising an event notices a handler that called back into the player.
    std::uint64_t generation = 0;

    std::unique_ptr<QAudioSink> sink;
    QAudioFormat sinkFormat;
    QByteArray sinkDevice;
    QIODevice* out = nullptr; // owned by sink
    bool floatOutput = true;
    int frameBytes = 0;

    // Positions in the current device stream, in bytes, counted from its start.
    qint64 streamBytes = 0;  // everything written: audio, then silence after the end
    qint64 endAtBytes = -1;  // where the audio ended, once the end marker is reached
    QByteArray partial;      // bytes of a frame the device did not take yet
    std::vector<char> convertBuffer;

    int owedEndArray = 0;         // OnEndArrayPlay events not raised yet
    bool requestOutstanding = false;

    std::int64_t framesWritten = 0;    // since SetArrayFormat
    std::int64_t framesBeforeStream = 0; // written in earlier device streams
    float peak[2] = {0, 0};
    QElapsedTimer levelClock;

    OutputTap tap;

    QTimer tick;
    QTimer kick; // an immediate pump after Play and LoadArray

    std::int64_t lowWaterFrames() const { return std::int64_t(rate) * kQueueLowWaterMs / 1000; }

    void clearQueue()
    {
        queue.clear();
        queuedFrames = 0;
        endMarkers = 0;
        owedEndArray = 0;
        requestOutstanding = false;
    }

    void stopTimers()
    {
        tick.stop();
        kick.stop();
    }

    // Ends the device stream; what it still holds is dropped.
    void closeStream()
    {
        if (sink && sink->state() != QAudio::StoppedState)
            sink->stop();
        out = nullptr;
        partial.clear();
        framesBeforeStream = framesWritten;
        streamBytes = 0;
        endAtBytes = -1;
    }

    void startStream();
    void pump();
    // Moves queued samples to the device as far as it has room; silence after the end.
    void writeQueued();
    // The stream is over: closes it and tells the owner.
    void endPlaying();
    bool flushPartial();
    qint64 writeAudio(const float* src, std::size_t frames);
    bool audioHeard() const;
    void raiseTimer();
};

void AudioPlayer::Impl::startStream()
{
    const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (outputs.isEmpty() || device.isNull())
        throw NoAudioDeviceError(
            "No sound output is available: no PulseAudio or PipeWire server could be reached, "
            "or it has no output device.");

    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Float);
    floatOutput = device.isFormatSupported(format);
    if (!floatOutput)
        format.setSampleFormat(QAudioFormat::Int16);

    // A new sink when the format changed or the user chose another default output.
    if (!sink || sinkFormat != format || sinkDevice != device.id()) {
        if (sink) {
            sink->stop();
            sink.release()->deleteLater();
        }
        sink = std::make_unique<QAudioSink>(device, format);
        sinkFormat = format;
        sinkDevice = device.id();
        sink->setBufferSize(format.bytesForDuration(qint64(kDeviceBufferMs) * 1000));
    }
    frameBytes = format.bytesPerFrame();

    out = sink->start();
    if (!out || sink->error() != QAudio::NoError || sink->state() == QAudio::StoppedState) {
        const int error = int(sink->error());
        out = nullptr;
        sink->stop();
        throw NoAudioDeviceError(QStringLiteral("The sound output \"%1\" could not be started "
                                                "(%2 Hz, %3 channels, Qt audio error %4).")
                                     .arg(device.description())
                                     .arg(rate)
                                     .arg(channels)
                                     .arg(error)
                                     .toStdString());
    }
    streamBytes = 0;
    endAtBytes = -1;
    partial.clear();
}

bool AudioPlayer::Impl::flushPartial()
{
    while (!partial.isEmpty()) {
        const qint64 w = out->write(partial.constData(), partial.size());
        if (w <= 0)
            return false;
        partial.remove(0, w);
        streamBytes += w;
    }
    return true;
}

// Converts and writes up to frames frames; returns the frames the device took (a frame it
// took only in part counts as taken, its rest waits in partial).
qint64 AudioPlayer::Impl::writeAudio(const float* src, std::size_t frames)
{
    const std::size_t count = frames * std::size_t(channels);
    const char* bytes = nullptr;
    qint64 size = 0;
    if (floatOutput) {
        bytes = reinterpret_cast<const char*>(src);
        size = qint64(count * sizeof(float));
    } else {
        convertBuffer.resize(count * sizeof(std::int16_t));
        auto* dst = reinterpret_cast<std::int16_t*>(convertBuffer.data());
        for (std::size_t i = 0; i < count; ++i) {
            const float v = std::clamp(src[i], -1.0f, 1.0f);
            dst[i] = std::int16_t(std::lrint(v * 32767.0f));
        }
        bytes = convertBuffer.data();
        size = qint64(convertBuffer.size());
    }
    const qint64 w = out->write(bytes, size);
    if (w <= 0)
        return 0;
    streamBytes += w;
    const qint64 taken = (w + frameBytes - 1) / frameBytes;
    if (w % frameBytes)
        partial = QByteArray(bytes + w, int(taken * frameBytes - w));

    for (qint64 f = 0; f < taken; ++f) {
        const float* frame = src + f * channels;
        peak[0] = std::max(peak[0], std::fabs(frame[0]));
        if (channels > 1)
            peak[1] = std::max(peak[1], std::fabs(frame[1]));
    }
    if (tap)
        tap(src, std::size_t(taken * channels));
    return taken;
}

// Whether the device has played everything up to the end of the audio: the server has
// taken it from its buffer, and by its clock (which accounts for the sink's own latency,
// plus a margin) it has been heard.
bool AudioPlayer::Impl::audioHeard() const
{
    if (endAtBytes < 0 || !partial.isEmpty())
        return false;
    const qint64 buffered = std::max<qint64>(0, sink->bufferSize() - sink->bytesFree());
    const qint64 taken = streamBytes - buffered;
    if (taken < endAtBytes)
        return false;
    const qint64 endUs = endAtBytes / frameBytes * 1000000 / rate;
    return sink->processedUSecs() >= endUs + qint64(kEndMarginMs) * 1000;
}

void AudioPlayer::Impl::raiseTimer()
{
    if (levelClock.isValid() && levelClock.elapsed() < kLevelEventMs)
        return;
    levelClock.start();
    qint64 heard = 0;
    if (sink && frameBytes > 0) {
        heard = sink->processedUSecs() * rate / 1000000;
        const qint64 written = framesWritten - framesBeforeStream;
        heard = std::min(heard, written);
    }
    const int current = int(std::min<std::int64_t>(framesBeforeStream + heard, INT32_MAX));
    const int left = int(std::lround(std::min(peak[0], 1.0f) * 32767));
    const int right = channels > 1 ? int(std::lround(std::min(peak[1], 1.0f) * 32767)) : left;
    peak[0] = peak[1] = 0;
    emit q->OnTimer(current, left, right);
}

void AudioPlayer::Impl::pump()
{
    if (state != State::Playing || !out)
        return;
    const std::uint64_t gen = generation;
    auto interrupted = [&] { return gen != generation || state != State::Playing; };

    // The sound server went away (or the stream failed): output has ended.
    if (sink->state() == QAudio::StoppedState && sink->error() != QAudio::NoError) {
        clearQueue();
        endPlaying();
        return;
    }

    if (flushPartial())
        writeQueued();

    while (owedEndArray > 0) {
        --owedEndArray;
        emit q->OnEndArrayPlay();
        if (interrupted())
            return;
    }

    raiseTimer();
    if (interrupted())
        return;

    if (endAtBytes >= 0) {
        if (audioHeard()) {
            queue.pop_front(); // the end marker
            --endMarkers;
            endPlaying();
        }
        return;
    }

    while (endMarkers == 0 && !requestOutstanding && queuedFrames < lowWaterFrames()) {
        requestOutstanding = true;
        emit q->OnRequestOnLoadArray();
        if (interrupted())
            return;
    }
}

void AudioPlayer::Impl::writeQueued()
{
    qint64 free = sink->bytesFree();
    free -= free % frameBytes;
    while (free >= frameBytes && !queue.empty()) {
        Entry& e = queue.front();
        if (e.end) {
            if (endAtBytes < 0)
                endAtBytes = streamBytes;
            break;
        }
        const std::size_t left = (e.samples.size() - e.pos) / std::size_t(channels);
        const std::size_t frames = std::min<std::size_t>(std::size_t(free / frameBytes), left);
        const qint64 taken = writeAudio(e.samples.data() + e.pos, frames);
        if (taken == 0)
            break;
        e.pos += std::size_t(taken) * std::size_t(channels);
        queuedFrames -= taken;
        framesWritten += taken;
        free -= taken * frameBytes;
        if (e.pos >= e.samples.size()) {
            queue.pop_front();
            ++owedEndArray;
        }
        if (!partial.isEmpty())
            break;
    }
    // After the end, silence keeps the stream running until the last sound has been
    // heard; it also makes the server start a stream shorter than its buffer.
    if (endAtBytes >= 0 && partial.isEmpty() && free >= frameBytes) {
        const QByteArray silence(int(free), '\0');
        const qint64 w = out->write(silence.constData(), silence.size());
        if (w > 0)
            streamBytes += w;
    }
}

void AudioPlayer::Impl::endPlaying()
{
    closeStream();
    stopTimers();
    state = State::Idle;
    ++generation;
    emit q->OnEndPlay();
}

AudioPlayer::AudioPlayer(QObject* parent) : QObject(parent), d(std::make_unique<Impl>(this))
{
    d->tick.setInterval(kTickMs);
    d->tick.setTimerType(Qt::PreciseTimer);
    connect(&d->tick, &QTimer::timeout, this, [this] { d->pump(); });
    d->kick.setSingleShot(true);
    d->kick.setInterval(0);
    connect(&d->kick, &QTimer::timeout, this, [this] { d->pump(); });
}

AudioPlayer::~AudioPlayer()
{
    d->stopTimers();
    d->state = Impl::State::Idle;
    if (d->sink)
        d->sink->stop();
}

void AudioPlayer::SetArrayFormat(int channels, int sampleRate)
{
    if (channels < 1 || channels > 32 || sampleRate < 1000 || sampleRate > 768000)
        throw EngineError(QStringLiteral("Cannot play %1 channels at %2 Hz.")
                              .arg(channels)
                              .arg(sampleRate)
                              .toStdString());
    d->stopTimers();
    d->state = Impl::State::Idle;
    ++d->generation;
    d->clearQueue();
    d->closeStream();
    d->channels = channels;
    d->rate = sampleRate;
    d->framesWritten = 0;
    d->framesBeforeStream = 0;
    d->peak[0] = d->peak[1] = 0;
}

void AudioPlayer::LoadArray(const SampleArray& samples)
{
    d->requestOutstanding = false;
    if (samples.empty()) {
        if (!d->queue.empty() && d->queue.back().end)
            return;
        d->queue.push_back(Impl::Entry{{}, 0, true});
        ++d->endMarkers;
    } else {
        if (d->channels == 0)
            throw EngineError("AudioPlayer: LoadArray before SetArrayFormat.");
        Impl::Entry e;
        e.samples = samples;
        // An incomplete last frame is completed with silence, so channels never shift.
        const std::size_t rest = e.samples.size() % std::size_t(d->channels);
        if (rest)
            e.samples.resize(e.samples.size() + std::size_t(d->channels) - rest, 0.0f);
        d->queuedFrames += std::int64_t(e.samples.size() / std::size_t(d->channels));
        d->queue.push_back(std::move(e));
    }
    if (d->state == Impl::State::Playing)
        d->kick.start();
}

void AudioPlayer::Play()
{
    if (d->channels == 0)
        throw EngineError("AudioPlayer: Play before SetArrayFormat.");
    if (d->state == Impl::State::Playing)
        return;
    if (d->state == Impl::State::Paused && d->out && d->sink->state() == QAudio::SuspendedState) {
        d->sink->resume();
    } else {
        d->closeStream();
        d->startStream();
    }
    d->state = Impl::State::Playing;
    ++d->generation;
    d->levelClock.invalidate();
    d->tick.start();
    d->kick.start();
}

void AudioPlayer::Stop()
{
    if (d->state != Impl::State::Playing)
        return;
    d->stopTimers();
    d->state = Impl::State::Paused;
    ++d->generation;
    // Corking keeps what the server holds, so Play continues with the very next sample.
    if (d->out && d->sink->state() != QAudio::StoppedState)
        d->sink->suspend();
}

void AudioPlayer::SetOutputTap(OutputTap tap) { d->tap = std::move(tap); }

std::int64_t AudioPlayer::FramesWritten() const { return d->framesWritten; }

bool AudioPlayer::IsPlaying() const { return d->state == Impl::State::Playing; }

} // namespace sondrel
