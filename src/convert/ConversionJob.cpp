#include "ConversionJob.h"

#include "EngineError.h"
#include "FileTags.h"
#include "LoudnessMeter.h"
#include "OutputFiles.h"
#include "OutputGate.h"
#include "PcmHash.h"
#include "ReplayGainTags.h"
#include "StreamCopy.h"
#include "TrackTags.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <optional>

namespace sondrel {

// An output written and measured, waiting to be tagged and proved.
struct HeldOutput {
    std::optional<TempOutput> temp;
    WrittenLength length;
    QByteArray sourcePcm; // for an output that is to hold the source's very samples
    QStringList notes;    // for the row's tooltip, so far
    bool copied = false;
    // What writing it found, for the result of the job that proves it.
    std::shared_ptr<const LoudnessMeter> loudness;
    SourceMeasure measured;
    bool lengthCorrected = false;
    std::int64_t framesRead = 0;
    int sampleRate = 0;
};

namespace {

QString text(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

// Errors name the file the engine was given; the user knows the target, not our temporary.
QString named(QString message, const TempOutput* temp, const QString& target)
{
    if (temp)
        message.replace(temp->path(), target);
    return message;
}

// Every tag and picture of the source, with the picture beside it for a source without one,
// and its seven values, as a row added from it would hold them. Tags that cannot be read are
// a note, never a failed file (and none are written).
FileTags sourceTags(const QString& source)
{
    FileTags tags;
    try {
        tags = readFileTags(source);
    } catch (const std::exception& e) {
        tags.carried.notes << QStringLiteral("the source's tags could not be read: ") + text(e);
    }
    if (tags.carried.pictures.empty()) {
        if (auto picture = folderPicture(source, &tags.carried.notes))
            tags.carried.pictures.push_back(std::move(*picture));
    }
    return tags;
}

// Thrown inside a job that sees its stop flag: the file is given up.
struct StopSeen {};

void throwIfStopped(const JobProgress& progress)
{
    if (progress.stop.load(std::memory_order_relaxed))
        throw StopSeen{};
}

// What happens to the samples on their way from the reader.
struct SamplePath {
    AudioFile* writer = nullptr;  // none: they are only measured
    PcmHash* hash = nullptr;      // the source's samples hashed
    LoudnessMeter* meter = nullptr; // the samples as written measured
    float scale = 1.0f;           // every sample multiplied by it before it is written
};

// Every sample of reader, to the end of the source's stream, along path. Returns the sample
// frames read.
std::int64_t copyAudio(AudioFile& reader, const SamplePath& path, JobProgress& progress)
{
    const int chunk = jobChunkElements(reader.SampleRate(), reader.ChannelCount());
    const int channels = std::max(1, reader.ChannelCount());
    std::int64_t done = 0;
    for (;;) {
        throwIfStopped(progress);
        SampleArray samples = reader.ReadSamples(chunk);
        if (samples.empty())
            return done;
        if (path.hash)
            path.hash->add(samples);
        if (path.scale != 1.0f) {
            for (float& v : samples)
                v *= path.scale;
        }
        if (path.meter)
            path.meter->add(samples);
        if (path.writer)
            path.writer->WriteSamples(samples);
        done += std::int64_t(samples.size()) / channels;
        progress.framesDone.store(done, std::memory_order_relaxed);
    }
}

float linearGain(double db)
{
    return float(std::pow(10.0, db / 20.0));
}

std::unique_ptr<LoudnessMeter> meterFor(const JobOrder& order, const AudioFile& reader)
{
    if (!order.loudness.measure)
        return nullptr;
    return std::make_unique<LoudnessMeter>(reader.ChannelCount(), reader.SampleRate());
}

// The ReplayGain values of an output: its own, measured as written, and its album's.
std::optional<ReplayGainValues> gainsOf(const LoudnessMeter* track, const std::optional<AlbumGain>& album)
{
    if (!track)
        return std::nullopt;
    ReplayGainValues values;
    values.trackGain = gainToReference(track->measure().lufs);
    values.trackPeak = track->measure().peak;
    if (album) {
        values.album = true;
        values.albumGain = album->gain;
        values.albumPeak = album->peak;
    }
    return values;
}

// The source's own tags and pictures with the row's seven values over them, and the loudness
// values measured, in one pass over the output. Returns the values as written.
AudioInformation tagOutput(const JobOrder& order, const QString& path, const std::optional<ReplayGainValues>& gains,
                           JobResult& result)
{
    FileTags source = sourceTags(order.source);
    AudioInformation values = order.tags ? tagsOf<AudioInformation>(*order.tags) : source.values;
    if (order.range) {
        source.carried.fields = trackFields(source.carried.fields, order.range->fields);
        if (!order.tags) {
            // The image's title and number are not the track's.
            values.infoTitle.clear();
            values.infoTrack = std::int16_t(order.range->number);
        }
    }
    const bool opus = order.writer && order.writer->CopiedCodec() == QLatin1String("opus");
    CarriedTags loudness;
    if (gains)
        setLoudnessFields(loudness.fields, *gains, opus);
    if (gains || order.loudness.dropCarried)
        setLoudnessFields(source.carried.fields, gains.value_or(ReplayGainValues{}), opus);
    if (gains && !gains->trackGain)
        result.notes << QStringLiteral("no loudness tags: the audio is silent");
    result.notes << source.carried.notes;
    TagsWritten written;
    try {
        written = writeFileTags(path, source.carried, values);
    } catch (const WriteFailure&) {
        throw; // a full disk or a failed write is the file's failure
    } catch (const EngineError& e) {
        if (source.carried.empty())
            throw;
        // Tags the output's format cannot take are a note; the seven values go in alone.
        QString why = text(e);
        why.replace(path, order.target);
        result.notes << QStringLiteral("the source's other tags were not carried over: ") + why;
        written = writeFileTags(path, loudness, values);
    }
    result.notes << written.notes;
    return written.values;
}

// A failure that has a message of its own: the source is no audio, the output cannot be made.
struct JobFailure {
    QString message;
    QString reason;
};

// Opens path for reading, narrowed to range where there is one: its length and what it reads
// are then the track's. A range that holds nothing of the file is an EngineError.
void openRange(AudioFile& reader, const QString& path, const std::optional<TrackRange>& range)
{
    reader.OpenRead(path, 0, 1);
    if (!range)
        return;
    reader.SetReadRange(range->start, range->end);
    if (reader.SampleCount() <= 0)
        throw EngineError("the track lies beyond the end of its file");
}

void openSource(AudioFile& reader, const JobOrder& order, JobProgress& progress, JobResult& result)
{
    try {
        openRange(reader, order.source, order.range);
    } catch (const CancelledError&) {
        throw;
    } catch (const EngineError& e) {
        throw JobFailure{order.source + QStringLiteral(" is an invalid audio file!"), text(e)};
    }
    progress.framesTotal.store(reader.SampleCount(), std::memory_order_relaxed);
    const QFileInfo info(order.source);
    result.measured = {reader.DurationMs(), info.size(), info.lastModified().toMSecsSinceEpoch()};
}

void openOutput(AudioFile* writer, const JobOrder& order, std::optional<TempOutput>& temp)
{
    try {
        temp.emplace(order.dir);
        if (writer)
            writer->OpenWrite(temp->path(), 0);
    } catch (const std::exception& e) {
        const QString reason = named(text(e), temp ? &*temp : nullptr, order.target);
        throw JobFailure{QStringLiteral("Write Error! ") + order.target + QStringLiteral(": ") + reason, reason};
    }
}

// Whether the output is to hold the source's very samples: a lossless source of at most 24
// bits (which the decoded floats hold exactly) written losslessly at its own rate, channels
// and bits.
bool keepsEverySample(const AudioFile& reader, const WrittenLength& output)
{
    const int bits = reader.SourceBits();
    return bits > 0 && bits <= 24 && output.outputBits == bits && output.outputRate == reader.SampleRate()
        && output.outputChannels == reader.ChannelCount();
}

// The whole source into the writer, measured on the way where the order asks; both are closed
// afterwards, and result knows what the source's stream really held. Returns the PcmHash of the
// source for an output that is to keep every sample, else nothing.
QByteArray convertAudio(const JobOrder& order, AudioFile& reader, AudioFile& writer, JobProgress& progress,
                        JobResult& result)
{
    writer.SetInputFormat(reader.ChannelCount(), reader.SampleRate(), reader.SourceBits());
    std::optional<PcmHash> hash;
    const bool scaled = order.loudness.scaleDb != 0;
    if (!scaled && keepsEverySample(reader, writer.WrittenLength()))
        hash.emplace();
    std::unique_ptr<LoudnessMeter> meter = meterFor(order, reader);
    const SamplePath path{&writer, hash ? &*hash : nullptr, meter.get(),
                          scaled ? linearGain(order.loudness.scaleDb) : 1.0f};
    const std::int64_t frames = copyAudio(reader, path, progress);
    result.framesRead = frames;
    result.sampleRate = reader.SampleRate();
    // Written to while it was read: what was read may mix old and new data, or end early.
    if (reader.SourceChanged())
        throw EngineError("the file changed while it was being converted");
    // What the stream really held, wherever its measurement said it ends: the output holds
    // all of it, and the row can show the real length.
    const std::int64_t rate = std::max(1, reader.SampleRate());
    result.measured.durationMs = (frames * 1000 + rate / 2) / rate;
    result.lengthCorrected = frames != reader.SampleCount();
    reader.Close();
    writer.Close();
    throwIfStopped(progress);
    if (meter) {
        meter->finish();
        result.loudness = std::move(meter);
    }
    return hash ? hash->result() : QByteArray();
}

// Tags the held output and has the gate prove it and give it its name.
void proveOutput(const JobOrder& order, HeldOutput& held, const std::optional<AlbumGain>& album, JobProgress& progress,
                 JobResult& result)
{
    result.loudness = held.loudness;
    OutputProof proof;
    proof.length = held.length;
    proof.sourcePcm = held.sourcePcm;
    result.notes = held.notes;
    proof.tags = tagOutput(order, held.temp->path(), gainsOf(held.loudness.get(), album), result);
    throwIfStopped(progress);
    QElapsedTimer gate;
    gate.start();
    result.syncSeconds = passOutputGate(*held.temp, order.target, proof, &progress.stop);
    result.gateSeconds = double(gate.nsecsElapsed()) / 1e9;
    if (!held.sourcePcm.isEmpty())
        result.notes << QStringLiteral("verified bit for bit");
    if (order.loudness.scaleDb != 0)
        result.notes << QStringLiteral("normalized by ") + gainText(order.loudness.scaleDb);
    if (const std::optional<ReplayGainValues> gains = gainsOf(held.loudness.get(), album); gains && gains->trackGain) {
        QString note = QStringLiteral("ReplayGain: track ") + gainText(*gains->trackGain) + QStringLiteral(", peak ")
            + peakText(gains->trackPeak);
        if (gains->album && gains->albumGain)
            note += QStringLiteral("; album ") + gainText(*gains->albumGain);
        result.notes << note;
    }
    result.copied = held.copied;
}

// The source's audio packets copied into the temporary file; the copy is as long as the source
// decodes, which the reader counted when it opened it. Where the order asks, the source is then
// decoded to measure its loudness.
void copyPackets(const JobOrder& order, AudioFile& reader, HeldOutput& held, JobProgress& progress, JobResult& result)
{
    const std::int64_t frames = reader.SampleCount();
    held.length = copyStream(order.source, held.temp->path(), order.copyCodec, frames, reader.SampleRate(), &progress.stop);
    if (reader.SourceChanged())
        throw EngineError("the file changed while it was being converted");
    if (std::unique_ptr<LoudnessMeter> meter = meterFor(order, reader)) {
        copyAudio(reader, SamplePath{nullptr, nullptr, meter.get(), 1.0f}, progress);
        meter->finish();
        result.loudness = std::move(meter);
    }
    progress.framesDone.store(frames, std::memory_order_relaxed);
    result.framesRead = frames;
    result.sampleRate = reader.SampleRate();
    throwIfStopped(progress);
    held.copied = true;
}

// A copy given up for this reason: the file is encoded instead.
struct CopyRefused {
    QString why;
};

QString failedCopy(const std::exception& e, const JobOrder& order, HeldOutput& held)
{
    const QString why = named(text(e), held.temp ? &*held.temp : nullptr, order.target);
    if (held.temp)
        held.temp->remove();
    held.temp.reset();
    return why;
}

// One try at the row: the output written (copied where allowed, else encoded) and measured,
// then, unless it waits for its album, tagged and proved. Throws as the job's steps do;
// CopyRefused when a copy failed for a reason an encoded file would not share.
void attempt(JobOrder& order, bool mayCopy, std::shared_ptr<HeldOutput>& held, JobProgress& progress,
             JobResult& result)
{
    AudioFile reader;
    reader.SetCancelFlag(&progress.stop);
    openSource(reader, order, progress, result);
    held = std::make_shared<HeldOutput>();
    // A track is part of its source's stream: it is always encoded.
    const bool copies = mayCopy && !order.range && !order.copyCodec.isEmpty()
        && canCopyStream(order.source, order.copyCodec);
    if (copies) {
        openOutput(nullptr, order, held->temp);
        try {
            copyPackets(order, reader, *held, progress, result);
            held->loudness = result.loudness;
            held->notes << QStringLiteral("copied without re-encoding");
            if (!order.loudness.waitForAlbum)
                proveOutput(order, *held, order.loudness.album, progress, result);
            return;
        } catch (const CancelledError&) {
            throw;
        } catch (const WriteFailure&) {
            throw; // a full disk fails an encoded file just the same
        } catch (const std::exception& e) {
            throw CopyRefused{failedCopy(e, order, *held)};
        }
    }
    AudioFile& writer = *order.writer;
    try {
        openOutput(&writer, order, held->temp);
        held->sourcePcm = convertAudio(order, reader, writer, progress, result);
        held->length = writer.WrittenLength();
        held->loudness = result.loudness;
    } catch (...) {
        writer.Discard();
        throw;
    }
    if (!order.loudness.waitForAlbum)
        proveOutput(order, *held, order.loudness.album, progress, result);
}

// Runs body, turning what it throws into the result's outcome; a stopped or failed row's
// temporary file goes.
template <class Body>
void settle(const JobOrder& order, std::shared_ptr<HeldOutput>& held, JobResult& result, Body&& body) noexcept
{
    const auto fail = [&](const QString& message, const QString& reason) {
        result.outcome = JobResult::Outcome::Failed;
        result.message = message;
        result.reason = reason;
    };
    try {
        body();
        result.outcome = order.loudness.waitForAlbum ? JobResult::Outcome::Measured : JobResult::Outcome::Finished;
    } catch (const JobFailure& f) {
        fail(f.message, f.reason);
    } catch (const StopSeen&) {
        result.outcome = JobResult::Outcome::Stopped;
    } catch (const CancelledError&) {
        result.outcome = JobResult::Outcome::Stopped;
    } catch (const std::exception& e) {
        // Reading, encoding, finishing, tagging or proving failed.
        const QString reason = named(text(e), held && held->temp ? &*held->temp : nullptr, order.target);
        fail(order.source + QStringLiteral(" could not be converted: ") + reason, reason);
    } catch (...) {
        fail(order.source + QStringLiteral(" could not be converted."), QStringLiteral("an unknown error"));
    }
    if (result.outcome == JobResult::Outcome::Measured) {
        held->measured = result.measured;
        held->lengthCorrected = result.lengthCorrected;
        held->framesRead = result.framesRead;
        held->sampleRate = result.sampleRate;
        result.held = held;
        return;
    }
    if (result.outcome != JobResult::Outcome::Finished && held && held->temp)
        held->temp->remove(); // the target was never touched
    held.reset();
}

// An attempt that copies where it may, and encodes when the copy is refused.
void convertRow(JobOrder& order, bool mayCopy, std::shared_ptr<HeldOutput>& held, JobProgress& progress,
                JobResult& result)
{
    try {
        attempt(order, mayCopy, held, progress, result);
    } catch (const CopyRefused& refused) {
        result = JobResult{};
        progress.framesDone.store(0, std::memory_order_relaxed);
        attempt(order, false, held, progress, result);
        held->notes.prepend(QStringLiteral("not copied, encoded instead: ") + refused.why);
        if (!order.loudness.waitForAlbum)
            result.notes.prepend(QStringLiteral("not copied, encoded instead: ") + refused.why);
    }
}

} // namespace

int jobChunkElements(int sampleRate, int channels)
{
    return std::max(1, sampleRate / 10) * std::max(1, channels);
}

JobResult runConversionJob(JobOrder& order, JobProgress& progress) noexcept
{
    JobResult result;
    std::shared_ptr<HeldOutput> held;
    settle(order, held, result, [&] { convertRow(order, true, held, progress, result); });
    return result;
}

JobResult finishHeldOutput(JobOrder& order, HeldOutput& held, const AlbumGain& album, JobProgress& progress) noexcept
{
    JobResult result;
    result.measured = held.measured;
    result.lengthCorrected = held.lengthCorrected;
    result.framesRead = held.framesRead;
    result.sampleRate = held.sampleRate;
    order.loudness.waitForAlbum = false;
    order.loudness.album = album;
    std::shared_ptr<HeldOutput> kept(&held, [](HeldOutput*) {});
    settle(order, kept, result, [&] {
        try {
            proveOutput(order, held, album, progress, result);
        } catch (const CancelledError&) {
            throw;
        } catch (const WriteFailure&) {
            throw;
        } catch (const std::exception& e) {
            if (!held.copied)
                throw;
            // The copy is refused: encoded instead, now that the album's values are known.
            const QString why = failedCopy(e, order, held);
            result = JobResult{};
            attempt(order, false, kept, progress, result);
            result.notes.prepend(QStringLiteral("not copied, encoded instead: ") + why);
        }
    });
    return result;
}

std::shared_ptr<const LoudnessMeter> measureFileLoudness(const QString& path, JobProgress& progress,
                                                         const std::optional<TrackRange>& range)
{
    AudioFile reader;
    reader.SetCancelFlag(&progress.stop);
    openRange(reader, path, range);
    progress.framesTotal.store(reader.SampleCount(), std::memory_order_relaxed);
    auto meter = std::make_shared<LoudnessMeter>(reader.ChannelCount(), reader.SampleRate());
    try {
        copyAudio(reader, SamplePath{nullptr, nullptr, meter.get(), 1.0f}, progress);
    } catch (const StopSeen&) {
        throw CancelledError("stopped");
    }
    if (reader.SourceChanged())
        throw EngineError("the file changed while it was being measured");
    meter->finish();
    return meter;
}

} // namespace sondrel
