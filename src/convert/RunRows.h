#pragma once
#include "ConversionJob.h"
#include "NamePattern.h"
#include "TrackInfo.h"
#include "TrackRange.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace sondrel {

// The list a run converts, as the run sees it: what each row holds, and where the run reports
// what becomes of it. Called on the run's thread only.
class RunRows {
public:
    virtual ~RunRows() = default;
    virtual int count() const = 0;
    virtual QString source(int row) const = 0;
    // The name of the output, before its extension is changed.
    virtual QString caption(int row) const = 0;
    // Whether the caption is a title (typed in the tag editor) rather than a file name: the
    // extension is then appended to all of it.
    virtual bool captionIsTitle(int /*row*/) const { return false; }
    // The track of its source the row stands for (one track of an album image); none: the
    // whole file.
    virtual std::optional<TrackRange> range(int /*row*/) const { return std::nullopt; }
    // Whether the output is named by all of the caption: a title, or a track's caption
    // ("03 Mr. Jones"), whose last "." starts no extension.
    bool captionNamesWhole(int row) const { return captionIsTitle(row) || range(row).has_value(); }
    // The tags to write; none: the source's own, read by the job.
    virtual std::optional<TrackInfo> tags(int row) const = 0;
    // The folder the user added that the row's file was found in; empty for a file added
    // alone. With keepFolders, the output keeps its place below that folder.
    virtual QString addedFolder(int /*row*/) const { return {}; }
    // The tag values an output name pattern is filled with (the name, folder and format are
    // the run's own); asked for only when the run names its outputs by a pattern.
    virtual NameValues nameValues(int /*row*/) const { return {}; }
    // How much of the run the row is, for the progress: its playing time where known.
    virtual std::int64_t weight(int row) const = 0;
    // The playing time the row shows, in milliseconds; -1 where it shows none.
    virtual std::int64_t shownDurationMs(int /*row*/) const { return -1; }
    // The source's size and modification time when it was measured; false when unknown.
    virtual bool sourceStamp(int row, std::int64_t* bytes, std::int64_t* modifiedMs) const = 0;

    virtual void planned(int /*row*/) {}
    virtual void started(int row) = 0;
    virtual void progressed(int /*row*/, int /*percent*/) {}
    // result: Finished, Stopped or Failed; for a row whose source changed since it was
    // measured, or decoded to another length, result.measured holds what the job found.
    virtual void ended(int row, const JobResult& result, double seconds) = 0;
    // Not converted: a failure found while planning (message for the user, reason for the row).
    virtual void refused(int row, const QString& message, const QString& reason) = 0;
    // Not converted: the existing output was kept, by the user's answer or the run's rule.
    virtual void skipped(int /*row*/) {}
    // Not converted: the output is newer than its source.
    virtual void upToDate(int row) { skipped(row); }
};

} // namespace sondrel
