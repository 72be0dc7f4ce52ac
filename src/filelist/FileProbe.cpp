#include "FileProbe.h"

#include "AudioFile.h"
#include "CueRows.h"
#include "CueSheet.h"
#include "FileTags.h"
#include "OtherTags.h"
#include "EngineError.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace sondrel {

bool nameDecodes(const char* name)
{
    const QByteArray raw(name);
    return QFile::encodeName(QFile::decodeName(raw)) == raw;
}

bool hasUndecodableTwin(const QString& path)
{
    const QFileInfo info(path);
    DIR* dir = ::opendir(QFile::encodeName(info.absolutePath()).constData());
    if (!dir)
        return false;
    const QString name = info.fileName();
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        if (!nameDecodes(entry->d_name) && QFile::decodeName(entry->d_name) == name) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

namespace {

Probed probeCueSheet(const QString& path, AudioFile& reader)
{
    Probed out;
    try {
        out.tracks = cueSheetRows(readCueSheet(path), reader);
        out.outcome = Probed::Outcome::Listed;
    } catch (const CancelledError&) {
        reader.Close();
        out.outcome = Probed::Outcome::Stopped;
    } catch (const EngineError& e) {
        reader.Close();
        out.outcome = Probed::Outcome::Invalid;
        out.reason = QString::fromStdString(e.what());
    }
    return out;
}

// An image that carries its own cue sheet of several tracks is listed track by track. A sheet it carries that
// cannot be used leaves the image one row, with the reason in its tooltip: its audio is whole.
void takeEmbeddedSheet(Probed& out, AudioFile& reader)
{
    try {
        out.tracks = carriedSheetRows(out.row.path, reader);
    } catch (const CancelledError&) {
        throw;
    } catch (const EngineError& e) {
        reader.Close();
        out.tracks.clear();
        if (!out.row.extra)
            out.row.extra = std::make_unique<ListRow::Extra>();
        out.row.extra->toolTip = QStringLiteral("The cue sheet this file carries cannot be used: ")
            + QString::fromStdString(e.what());
    }
}

} // namespace

Probed probeFile(const QString& path, const QString& caption, bool fromScan, AudioFile& reader) noexcept
{
    Probed out;
    try {
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
            out.outcome = !fromScan && hasUndecodableTwin(path) ? Probed::Outcome::BadName : Probed::Outcome::Removed;
            return out;
        }
        if (S_ISDIR(st.st_mode)) {
            out.outcome = Probed::Outcome::Removed;
            return out;
        }
        if (!S_ISREG(st.st_mode)) {
            out.outcome = fromScan ? Probed::Outcome::Skipped : Probed::Outcome::Invalid;
            return out;
        }
        if (isCueSheetName(path))
            return probeCueSheet(path, reader);
        std::int64_t samples = 0;
        try {
            reader.OpenRead(path, 0, 1);
            samples = reader.SampleCount();
        } catch (const CancelledError&) {
            reader.Close();
            out.outcome = Probed::Outcome::Stopped;
            return out;
        } catch (const EngineError&) {
            samples = 0;
        }
        if (samples <= 0) {
            reader.Close();
            out.outcome = Probed::Outcome::Invalid;
            return out;
        }
        ListRow& row = out.row;
        row.durationMs = reader.DurationMs();
        reader.Close();
        row.bytes = std::int64_t(st.st_size);
        row.modifiedMs = std::int64_t(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
        // Time, Size and Status show what the row knows: they keep no texts of their own.
        row.path = path;
        row.setCaption(caption);
        try {
            // One pass over the tags gives the record and the fields names are made from.
            const FileTags tags = readFileTags(path, true);
            row.setInfo(trackInfoOf(tags.values));
            row.setOtherTags(otherTagsOf(tags.carried.fields));
        } catch (const EngineError&) {
            // The audio opened but its tags could not be read (the file changed meanwhile):
            // the row stays with empty tags rather than being lost.
            row.info.reset();
        }
        out.outcome = Probed::Outcome::Listed;
        takeEmbeddedSheet(out, reader);
    } catch (const CancelledError&) {
        reader.Close();
        out = {};
        out.outcome = Probed::Outcome::Stopped;
    } catch (...) {
        // Anything else (memory, say) costs this file, never the thread or the program.
        reader.Discard();
        out = {};
        out.outcome = Probed::Outcome::Invalid;
    }
    return out;
}

} // namespace sondrel
