#include "ConversionJob.h"

#include "AudioInformation.h"
#include "CarriedTags.h"
#include "EngineError.h"
#include "OutputFiles.h"

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

// The source's own tags, as a row added from it would hold them.
TrackInfo sourceTags(const QString& source)
{
    AudioInformation tags;
    try {
        tags.LoadFromFile(source);
    } catch (const EngineError&) {
        return {}; // the audio opened, but no tags could be read: none are written
    }
    return TrackInfo{tags.infoTitle, tags.infoArtist, tags.infoAlbum, tags.infoGenreS, tags.infoTrack,
                     tags.infoYear, tags.infoComments};
}

// Writes the row's tags; returns what the format could not hold as it was.
QStringList writeTags(const TrackInfo& info, const QString& path)
{
    AudioInformation tags;
    tags.infoTitle = info.title;
    tags.infoArtist = info.artist;
    tags.infoAlbum = info.album;
    tags.infoGenreS = info.genre;
    tags.infoComments = info.comment;
    tags.infoYear = info.year;
    tags.infoTrack = static_cast<std::int16_t>(static_cast<std::uint16_t>(info.track & 0xFFFF));
    return tags.SaveToFile(path);
}

// Every tag and picture of the source, with the picture beside it for a source without one.
// Tags that cannot be read are a note, never a failed file.
CarriedTags carriedFrom(const QString& source)
{
    CarriedTags carried;
    try {
        carried = readCarriedTags(source);
    } catch (const std::exception& e) {
        carried.notes << QStringLiteral("the source's tags could not be read: ") + text(e);
    }
    if (carried.pictures.empty()) {
        if (auto picture = folderPicture(source, &carried.notes))
            carried.pictures.push_back(std::move(*picture));
    }
    return carried;
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
    std::optional<TempOutput> temp;
    try {
        try {
            reader.OpenRead(order.source, 0, 1);
        } catch (const CancelledError&) {
            // Stopped while the source was still being measured: like a stop before the
            // first chunk, the output is complete but empty.
            result.stopped = true;
        } catch (const EngineError& e) {
            fail(order.source + QStringLiteral(" is an invalid audio file!"), text(e));
            return result;
        }
        progress.framesTotal.store(reader.SampleCount(), std::memory_order_relaxed);
        if (reader.IsOpen()) {
            const QFileInfo info(order.source);
            result.measured = {reader.DurationMs(), info.size(), info.lastModified().toMSecsSinceEpoch()};
        }

        AudioFile& writer = *order.writer;
        try {
            temp.emplace(order.dir);
            writer.OpenWrite(temp->path(), 0);
        } catch (const std::exception& e) {
            const QString reason = named(text(e), temp ? &*temp : nullptr, order.target);
            fail(QStringLiteral("Write Error! ") + order.target + QStringLiteral(": ") + reason, reason);
            writer.Discard();
            return result;
        }

        if (reader.IsOpen())
            writer.SetInputFormat(reader.FormatParamB(), reader.FormatParamA(), reader.SourceBits());
        const int chunk = jobChunkElements(reader.FormatParamA(), reader.FormatParamB());
        const int channels = std::max(1, reader.ChannelCount());
        std::int64_t done = 0;
        while (reader.IsOpen()) {
            if (progress.stop.load(std::memory_order_relaxed)) {
                result.stopped = true;
                break;
            }
            SampleArray samples;
            try {
                samples = reader.ReadSamples(chunk);
            } catch (const CancelledError&) {
                result.stopped = true;
                break;
            }
            if (samples.empty())
                break;
            writer.WriteSamples(samples);
            done += std::int64_t(samples.size()) / channels;
            progress.framesDone.store(done, std::memory_order_relaxed);
        }
        // Written to while it was read: what was read may mix old and new data, or end early
        // (silence would make up the rest).
        if (reader.SourceChanged())
            throw EngineError("the file changed while it was being converted");
        reader.Close();
        writer.Close();
        // The source's own tags and pictures first, then the row's seven values over them.
        const CarriedTags carried = carriedFrom(order.source);
        result.notes = carried.notes;
        try {
            result.notes << writeCarriedTags(temp->path(), carried);
        } catch (const EngineError& e) {
            result.notes << QStringLiteral("the source's other tags were not carried over: ")
                                + named(text(e), &*temp, order.target);
        }
        result.notes << writeTags(order.tags ? *order.tags : sourceTags(order.source), temp->path());
        try {
            temp->commit(order.target);
        } catch (const OutputError& e) {
            fail(QStringLiteral("Write Error! ") + order.target + QStringLiteral(": ") + text(e), text(e));
            return result;
        }
        result.outcome = JobResult::Outcome::Finished;
    } catch (const std::exception& e) {
        // Reading, encoding, finishing or tagging failed: the temporary file goes, the target
        // is not touched.
        const QString reason = named(text(e), temp ? &*temp : nullptr, order.target);
        fail(order.source + QStringLiteral(" could not be converted: ") + reason, reason);
        reader.Discard();
        order.writer->Discard();
    } catch (...) {
        fail(order.source + QStringLiteral(" could not be converted."), QStringLiteral("an unknown error"));
        reader.Discard();
        order.writer->Discard();
    }
    return result;
}

} // namespace sondrel
