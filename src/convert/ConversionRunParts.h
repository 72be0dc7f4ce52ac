#pragma once
// The records a conversion run keeps, shared by its two source files (the run, and its loudness
// work in ConversionRunLoudness.cpp).
#include "ConversionRun.h"
#include "OutputFiles.h"

#include <QElapsedTimer>
#include <QSet>

#include <unordered_set>

namespace sondrel {

// One piece of a row's work on a worker: its conversion, a measure of its source, or the
// finishing of its held output.
struct ConversionRun::Job {
    int row = -1;
    Stage stage = Stage::Convert;
    bool remeasure = false;
    // A measure of a row whose existing output stays: it counts for its album's values only.
    bool keptOutput = false;
    QString target;
    QElapsedTimer clock; // from the row's first job
    JobOrder order;
    JobProgress progress;
    JobResult result;
    std::shared_ptr<HeldOutput> held; // Finish: the output to tag and prove
    AlbumGain album;                  // Finish: its album's values
    // The part of the row's progress this job covers: from, and how much.
    double progressFrom = 0;
    double progressShare = 1;

    // Ready for its next stage on a worker: no result, no progress, not ended.
    void clearForNextStage()
    {
        result = JobResult{};
        progress.framesDone.store(0);
        progress.framesTotal.store(0);
        progress.ended.store(false);
    }
};

// A run's albums, when it writes album values or normalizes per album.
struct ConversionRun::Albums {
    AlbumTally tally;
    std::vector<int> unplanned;  // per album: its rows not yet decided
    std::vector<char> converts;  // per album: a row of it is converted
    // Per album: held outputs (Finish next), or measured rows (Convert next, normalized).
    std::map<int, std::vector<std::unique_ptr<Job>>> waiting;
    // Per album: rows whose existing output stays; measured when the album has a row converted.
    std::map<int, std::vector<Planned>> kept;
};

// What one run holds from its start to its end.
struct ConversionRun::Run {
    RunRows* rows = nullptr;
    Settings settings;
    int count = 0;
    int next = 0;
    bool stopping = false;
    Totals totals;
    std::map<int, QString> failures;                      // in row order
    std::unordered_set<FileId, FileIdHash> sources;       // of every row: never written
    int identified = 0;                                   // rows whose source is in sources
    std::vector<double> weights;                          // of each row
    double totalWeight = 0;                               // of the rows still to do or done
    double finishedWeight = 0;
    QElapsedTimer clock;
    quint64 id = 0;                 // tells this run's answers from an earlier run's
    std::optional<Planned> asking;  // a row whose overwrite question is up
    std::unique_ptr<Prompts::Pending> question;
    std::shared_ptr<const OutputDir> root; // the output folder, once opened
    QSet<QString> cleanedFolders;          // sub-folders cleaned of stale temporary files
    // The sub-folder the last row went to: rows of one folder come together.
    QString lastSub;
    std::shared_ptr<const OutputDir> lastDir;
    std::optional<NamePattern> pattern; // when outputs are named by one
    RunNames names;                     // the outputs' names taken so far
    std::map<int, QString> outputs;     // rows whose output is there at the end: its path
    std::unique_ptr<Albums> albums;     // album values or album normalizing
};

} // namespace sondrel
