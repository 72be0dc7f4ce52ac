#pragma once
// One file's conversion, run on a worker thread: decode the source to the end of its stream
// (or one track's range of it),
// encode into a temporary file in the output folder (or, for a source already in the output's
// codec when the order asks for it, copy its audio packets there), write the tags, and hand
// the file to the output gate, which proves it and renames it onto its target. A stop, a failure or a file
// the gate refuses leaves no file behind and the target untouched.
// Everything it needs is handed over at the start; it shares only the atomics of its
// JobProgress with the GUI thread and never throws.
#include "AudioFile.h"
#include "TrackInfo.h"
#include "TrackRange.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace sondrel {

class LoudnessMeter;
class OutputDir;
struct HeldOutput;

// An album's ReplayGain values; no gain for an album of silence.
struct AlbumGain {
    std::optional<double> gain;
    double peak = 0;
};

// What a job does about loudness besides converting.
struct LoudnessOrder {
    bool measure = false;       // measure the audio as it is written: the output's ReplayGain tags
    // The album's values come later: the job ends with its output written and measured, but
    // neither tagged nor proved (Outcome::Measured), and finishHeldOutput completes it.
    bool waitForAlbum = false;
    std::optional<AlbumGain> album; // the album's values, where they are known before the job
    double scaleDb = 0;         // the audio is scaled by this gain on its way to the encoder
    // The source's loudness tags are left out: they no longer describe the output's audio.
    bool dropCarried = false;
};

struct JobOrder {
    QString source;
    QString target;          // the final name: the folder's path and the file's name
    std::shared_ptr<const OutputDir> dir; // the target's folder, where the temporary file goes
    std::optional<TrackInfo> tags;     // none: the source's own
    // One track of the source (an album image): only its frames are read and encoded (never
    // copied), and its output carries the track's fields (trackFields) instead of the image's.
    std::optional<TrackRange> range;
    std::unique_ptr<AudioFile> writer; // set up with the run's output format
    // Not empty: a source whose audio is in this codec (the writer's CopiedCodec) is copied
    // into the output as it is, not decoded and encoded again.
    QString copyCodec;
    LoudnessOrder loudness;
};

// The source as the job found it, for a row whose file changed since it was added.
struct SourceMeasure {
    std::int64_t durationMs = -1;   // -1: the source was not opened
    std::int64_t bytes = 0;
    std::int64_t modifiedMs = 0;
};

// What the GUI thread and the job share while it runs.
struct JobProgress {
    std::atomic<std::int64_t> framesDone{0};
    std::atomic<std::int64_t> framesTotal{0};
    std::atomic<bool> stop{false};   // set by the GUI thread: give the file up
    std::atomic<bool> ended{false};  // set by the job last; the result may be read after it
};

struct JobResult {
    enum class Outcome {
        Finished,    // the target holds the complete output, proved by the output gate
        Failed,      // nothing was written to the target; message says why
        Stopped,     // stopped before the output was proved: nothing was written to the target
        Measured,    // written and measured, waiting for its album's values (held)
    };
    Outcome outcome = Outcome::Failed;
    QString message;           // Failed: the text for the user, naming the file
    QString reason;            // Failed: the reason alone, for the row's tooltip
    QStringList notes;         // Finished: remarks for the row's tooltip
    bool copied = false;       // Finished: the source's audio was copied, not encoded
    // The source as the job found it; once it was read to its end, durationMs is the length
    // it decoded to.
    SourceMeasure measured;
    // The source decoded to another length than the job measured when it opened it.
    bool lengthCorrected = false;
    double gateSeconds = 0;    // spent proving the output and giving it its name
    double syncSeconds = 0;    // of which making it durable
    std::int64_t framesRead = 0; // sample frames per channel decoded from the source
    int sampleRate = 0;          // of the decoded source
    // The audio as written, measured (finished), where the order asked for it.
    std::shared_ptr<const LoudnessMeter> loudness;
    // Measured: the temporary output, which goes when the last owner lets it go.
    std::shared_ptr<HeldOutput> held;
};

// The chunk a job reads at a time: a tenth of a second, so that a stop is noticed at once.
int jobChunkElements(int sampleRate, int channels);

// Converts order.source into order.target. Never throws.
JobResult runConversionJob(JobOrder& order, JobProgress& progress) noexcept;
// Tags a held output (Outcome::Measured) with its own and its album's values and has the gate
// prove it and give it its name. Never throws.
JobResult finishHeldOutput(JobOrder& order, HeldOutput& held, const AlbumGain& album, JobProgress& progress) noexcept;
// The loudness of a whole file, or of the track range of it, decoded on this thread (stop:
// give up, CancelledError). Throws EngineError for a file that cannot be read.
std::shared_ptr<const LoudnessMeter> measureFileLoudness(const QString& path, JobProgress& progress,
                                                         const std::optional<TrackRange>& range = std::nullopt);

} // namespace sondrel
