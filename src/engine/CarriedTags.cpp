#include "CarriedTags.h"

#include "FileTags.h"
#include "FolderEntries.h"
#include "TagFields.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sondrel {

CarriedTags readCarriedTags(const QString& path)
{
    return readFileTags(path).carried;
}

namespace {

enum class BesideFile { Read, NotAFile, TooBig };

// Reads the entry name of the opened folder: only a regular file, never through a link, never
// a pipe or a device, and never more than MaxPictureBytes (a file that grows while it is read
// is refused as too big instead of being read to its end). *bytes: its size, or what was read.
BesideFile readBeside(int folder, const QByteArray& name, QByteArray* data, qint64* bytes)
{
    struct stat st {};
    if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return BesideFile::NotAFile;
    *bytes = st.st_size;
    if (st.st_size > MaxPictureBytes)
        return BesideFile::TooBig;
    const int fd = ::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return BesideFile::NotAFile;
    const auto closing = qScopeGuard([fd] { ::close(fd); });
    // What was checked is what was opened: not a pipe or device put there meanwhile.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return BesideFile::NotAFile;
    data->clear();
    data->reserve(qsizetype(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return BesideFile::NotAFile;
        if (n == 0)
            return BesideFile::Read;
        data->append(chunk, qsizetype(n));
        if (data->size() > MaxPictureBytes) {
            *bytes = data->size();
            data->clear();
            return BesideFile::TooBig;
        }
    }
}

} // namespace

std::optional<Picture> folderPicture(const QString& sourcePath, QStringList* notes)
{
    const QString folderPath = QFileInfo(sourcePath).absolutePath();
    const int folder = ::open(QFile::encodeName(folderPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return std::nullopt;
    const auto closing = qScopeGuard([folder] { ::close(folder); });
    const QList<QByteArray> names = folderEntries(folder);
    for (const char* base : {"cover", "folder", "front"}) {
        for (const char* ext : {"jpg", "jpeg", "png"}) {
            const QString wanted = QStringLiteral("%1.%2").arg(QLatin1String(base), QLatin1String(ext));
            for (const QByteArray& local : names) {
                const QString name = QFile::decodeName(local);
                if (name.compare(wanted, Qt::CaseInsensitive) != 0)
                    continue;
                Picture p;
                qint64 bytes = 0;
                switch (readBeside(folder, local, &p.data, &bytes)) {
                case BesideFile::NotAFile:
                    if (notes)
                        *notes << QStringLiteral("%1 was not used as the cover: it is not a regular file").arg(name);
                    continue;
                case BesideFile::TooBig:
                    if (notes)
                        *notes << QStringLiteral("%1: ").arg(name) + tooBigNote(bytes);
                    return std::nullopt;
                case BesideFile::Read:
                    break;
                }
                p.mime = sniffMime(p.data);
                if (p.mime != QLatin1String("image/jpeg") && p.mime != QLatin1String("image/png")) {
                    if (notes)
                        *notes << QStringLiteral("%1 was not used as the cover: it is not a JPEG or PNG picture").arg(name);
                    return std::nullopt;
                }
                return p;
            }
        }
    }
    return std::nullopt;
}

} // namespace sondrel
