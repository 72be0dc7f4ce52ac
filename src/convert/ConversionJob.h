#pragma once
// One file's conversion, run on a worker thread: decode the source, encode into a temporary
// file in the output folder, write the tags, and rename the complete file onto its target.
// Everything it needs is handed over at the start; it shares only the atomics of its
// JobProgress with the GUI thread and never throws.
#include "AudioFile.h"
#include "TrackInfo.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace sondrel {

class OutputDir;

struct JobOrder {
    QString source;
    QString target;          // the final name: the folder's path and the file's name
    std::shared_ptr<const OutputDir> dir; // the target's folder, where the temporary file goes
    std::optional<TrackInfo> tags;     // none: the source's own
    std::unique_ptr<AudioFile> writer; // set up with the run's output format
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
    std::atomic<bool> stop{false};   // set by the GUI thread: end the file where it is
    std::atomic<bool> ended{false};  // set by the job last; the result may be read after it
};

struct JobResult {
    enum class Outcome {
        Finished,    // the target is written (completely, or as far as a stop let it get)
        Failed,      // nothing was written to the target; message says why
    };
    Outcome outcome = Outcome::Failed;
    bool stopped = false;      // Finished early because of a stop
    QString message;           // Failed: the text for the user, naming the file
    QString reason;            // Failed: the reason alone, for the row's tooltip
    QStringList notes;         // Finished: remarks for the row's tooltip
    SourceMeasure measured;
};

// The chunk a job reads at a time: a tenth of a second, so that a stop is noticed at once.
int jobChunkElements(int sampleRate, int channels);

// Converts order.source into order.target. Never throws.
JobResult runConversionJob(JobOrder& order, JobProgress& progress) noexcept;

} // namespace sondrel
