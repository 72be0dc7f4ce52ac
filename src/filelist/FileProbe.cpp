#include "FileProbe.h"

#include "AudioFile.h"
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
    } catch (...) {
        // Anything else (memory, say) costs this file, never the thread or the program.
        reader.Discard();
        out = {};
        out.outcome = Probed::Outcome::Invalid;
    }
    return out;
}

} // namespace sondrel
