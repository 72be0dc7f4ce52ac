#include "ConversionJob.h"

#include "EngineError.h"
#include "FileTags.h"
#include "OutputFiles.h"
#include "OutputGate.h"
#include "PcmHash.h"
#include "StreamCopy.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace sondrel {

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

// Every sample of reader into writer, to the end of the source's stream, hashed on the way
// when hash is given. Returns the sample frames read.
std::int64_t copyAudio(AudioFile& reader, AudioFile& writer, JobProgress& progress, PcmHash* hash)
{
    const int chunk = jobChunkElements(reader.SampleRate(), reader.ChannelCount());
    const int channels = std::max(1, reader.ChannelCount());
    std::int64_t done = 0;
    for (;;) {
        throwIfStopped(progress);
        const SampleArray samples = reader.ReadSamples(chunk);
        if (samples.empty())
            return done;
        writer.WriteSamples(samples);
        if (hash)
            hash->add(samples);
        done += std::int64_t(samples.size()) / channels;
        progress.framesDone.store(done, std::memory_order_relaxed);
    }
}

// The source's own tags and pictures with the row's seven values over them, in one pass over
// the output. Returns the values as written.
AudioInformation tagOutput(const JobOrder& order, const QString& path, JobResult& result)
{
    const FileTags source = sourceTags(order.source);
    const AudioInformation values = order.tags ? tagsOf<AudioInformation>(*order.tags) : source.values;
    result.notes = source.carried.notes;
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
        written = writeFileTags(path, CarriedTags{}, values);
    }
    result.notes << written.notes;
    return written.values;
}

// A failure that has a message of its own: the source is no audio, the output cannot be made.
struct JobFailure {
    QString message;
    QString reason;
};

void openSource(AudioFile& reader, const JobOrder& order, JobProgress& progress, JobResult& result)
{
    try {
        reader.OpenRead(order.source, 0, 1);
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

// The whole source into the writer; both are closed afterwards, and result knows what the
// source's stream really held. Returns the PcmHash of the source for an output that is to
// keep every sample, else nothing.
QByteArray convertAudio(AudioFile& reader, AudioFile& writer, JobProgress& progress, JobResult& result)
{
    writer.SetInputFormat(reader.ChannelCount(), reader.SampleRate(), reader.SourceBits());
    std::optional<PcmHash> hash;
    if (keepsEverySample(reader, writer.WrittenLength()))
        hash.emplace();
    const std::int64_t frames = copyAudio(reader, writer, progress, hash ? &*hash : nullptr);
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
    return hash ? hash->result() : QByteArray();
}

// Tags the output and has the gate prove it and give it its name.
void proveOutput(const JobOrder& order, const WrittenLength& length, TempOutput& temp, const QByteArray& sourcePcm,
                 JobProgress& progress, JobResult& result)
{
    OutputProof proof;
    proof.length = length;
    proof.sourcePcm = sourcePcm;
    proof.tags = tagOutput(order, temp.path(), result);
    throwIfStopped(progress);
    QElapsedTimer gate;
    gate.start();
    result.syncSeconds = passOutputGate(temp, order.target, proof, &progress.stop);
    result.gateSeconds = double(gate.nsecsElapsed()) / 1e9;
    if (!sourcePcm.isEmpty())
        result.notes << QStringLiteral("verified bit for bit");
}

// The source's audio packets copied into the temporary file, tagged and proved as an encoded
// output is; the copy is as long as the source decodes, which the reader counted when it
// opened it. True when the target holds the copy. A copy that fails for any reason but a
// stop or a failed write leaves nothing behind and says why in *why: the file is encoded.
bool copyInstead(const JobOrder& order, const AudioFile& reader, std::optional<TempOutput>& temp,
                 JobProgress& progress, JobResult& result, QString* why)
{
    openOutput(nullptr, order, temp);
    try {
        const std::int64_t frames = reader.SampleCount();
        const WrittenLength length =
            copyStream(order.source, temp->path(), order.copyCodec, frames, reader.SampleRate(), &progress.stop);
        if (reader.SourceChanged())
            throw EngineError("the file changed while it was being converted");
        progress.framesDone.store(frames, std::memory_order_relaxed);
        result.framesRead = frames;
        result.sampleRate = reader.SampleRate();
        throwIfStopped(progress);
        proveOutput(order, length, *temp, QByteArray(), progress, result);
        result.copied = true;
        return true;
    } catch (const CancelledError&) {
        throw;
    } catch (const WriteFailure&) {
        throw; // a full disk fails an encoded file just the same
    } catch (const std::exception& e) {
        *why = named(text(e), &*temp, order.target);
        temp->remove();
        temp.reset();
        result.notes.clear();
        result.framesRead = 0;
        progress.framesDone.store(0, std::memory_order_relaxed);
        return false;
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
    const auto fail = [&](const QString& message, const QString& reason) {
        result.outcome = JobResult::Outcome::Failed;
        result.message = message;
        result.reason = reason;
    };
    AudioFile reader;
    reader.SetCancelFlag(&progress.stop);
    AudioFile& writer = *order.writer;
    std::optional<TempOutput> temp;
    try {
        openSource(reader, order, progress, result);
        QString notCopied;
        const bool copies = !order.copyCodec.isEmpty() && canCopyStream(order.source, order.copyCodec);
        if (copies && copyInstead(order, reader, temp, progress, result, &notCopied)) {
            result.notes.prepend(QStringLiteral("copied without re-encoding"));
        } else {
            openOutput(&writer, order, temp);
            const QByteArray sourcePcm = convertAudio(reader, writer, progress, result);
            proveOutput(order, writer.WrittenLength(), *temp, sourcePcm, progress, result);
            if (copies)
                result.notes.prepend(QStringLiteral("not copied, encoded instead: ") + notCopied);
        }
        result.outcome = JobResult::Outcome::Finished;
    } catch (const JobFailure& f) {
        fail(f.message, f.reason);
    } catch (const StopSeen&) {
        result.outcome = JobResult::Outcome::Stopped;
    } catch (const CancelledError&) {
        result.outcome = JobResult::Outcome::Stopped;
    } catch (const std::exception& e) {
        // Reading, encoding, finishing, tagging or proving failed.
        const QString reason = named(text(e), temp ? &*temp : nullptr, order.target);
        fail(order.source + QStringLiteral(" could not be converted: ") + reason, reason);
    } catch (...) {
        fail(order.source + QStringLiteral(" could not be converted."), QStringLiteral("an unknown error"));
    }
    if (result.outcome != JobResult::Outcome::Finished) {
        // The temporary file goes; the target was never touched.
        reader.Discard();
        writer.Discard();
        if (temp)
            temp->remove();
    }
    return result;
}

} // namespace sondrel
