#include "FolderWalk.h"

#include "CueRows.h"
#include "FileProbe.h"
#include "InputFormats.h"
#include "NaturalOrder.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace sondrel {

bool isAudioExtension(const QString& name)
{
    return isInputFileName(name);
}

namespace {

struct Entry {
    QByteArray raw;
    QString name;
    bool folder = false; // a folder itself, not a link to one
};

// The entries of one folder in natural name order; empty when it cannot be read.
std::vector<Entry> readFolder(const QByteArray& folder)
{
    std::vector<Entry> out;
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return out;
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        Entry entry;
        entry.raw = QByteArray(e->d_name);
        entry.name = QFile::decodeName(entry.raw);
        if (e->d_type == DT_DIR) {
            entry.folder = true;
        } else if (e->d_type == DT_UNKNOWN) {
            struct stat st {};
            entry.folder = ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        out.push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) {
        const int c = naturalCompare(a.name, b.name);
        return c != 0 ? c < 0 : a.raw < b.raw;
    });
    return out;
}

void scan(const QByteArray& folderRaw, const QString& folder, bool includeSub, const std::atomic<bool>& stop,
          const std::function<void(ScanEntry&&)>& found)
{
    const std::vector<Entry> entries = readFolder(folderRaw);
    // The images a cue sheet here cuts into tracks are listed as its tracks, through the
    // sheet; a sheet that cuts nothing is left out, its files listed as themselves.
    QSet<QString> described;
    QSet<QString> unlisted;
    for (const Entry& e : entries) {
        if (!e.folder && isCueSheetName(e.name) && !e.name.startsWith(QLatin1Char('.')) && nameDecodes(e.raw.constData())) {
            const SheetInFolder sheet = cueSheetInFolder(folder + e.name);
            if (!sheet.listed)
                unlisted.insert(e.name);
            if (sheet.cuts)
                for (const QString& image : sheet.images)
                    described.insert(QDir::cleanPath(image));
        }
    }
    for (const Entry& e : entries) {
        if (stop.load(std::memory_order_relaxed))
            return;
        const bool dotted = e.name.startsWith(QLatin1Char('.'));
        const bool decodes = nameDecodes(e.raw.constData());
        if (e.folder && !dotted && includeSub) {
            // A folder whose name cannot be told as text would give paths that lead nowhere.
            if (!decodes)
                found({folder + e.name, e.name, true, true});
            else
                scan(folderRaw + e.raw + '/', folder + e.name + QLatin1Char('/'), true, stop, found);
            continue;
        }
        if (dotted || !isAudioExtension(e.name))
            continue;
        if (!e.folder && (unlisted.contains(e.name) || described.contains(QDir::cleanPath(folder + e.name))))
            continue;
        found({folder + e.name, e.name, e.folder, !decodes});
    }
}

} // namespace

void scanFolderEntries(const QString& folder, bool includeSub, const std::atomic<bool>& stop,
                       const std::function<void(ScanEntry&&)>& found)
{
    const QString base = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    scan(QFile::encodeName(base), base, includeSub, stop, found);
}

QStringList audioFilesIn(const QString& folder, bool includeSub)
{
    QStringList out;
    const std::atomic<bool> never{false};
    scanFolderEntries(folder, includeSub, never, [&](ScanEntry&& e) {
        // Only what may be a file: a link to a folder named like audio is not one either.
        if (!e.folder && !QFileInfo(e.path).isDir())
            out << e.path;
    });
    return out;
}

} // namespace sondrel
