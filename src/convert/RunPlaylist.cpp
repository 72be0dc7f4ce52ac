#include "RunPlaylist.h"

#include "OutputFiles.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace sondrel {

QString playlistNameFor(const QString& addedFolder, NameRules rules)
{
    const QString name = addedFolder.isEmpty() ? QString() : QFileInfo(addedFolder).fileName();
    return fittedName(name.isEmpty() ? QStringLiteral("Sondrel") : name, QStringLiteral(".m3u8"), rules);
}

QByteArray playlistText(const std::vector<PlaylistEntry>& entries)
{
    QByteArray text = "#EXTM3U\n";
    for (const PlaylistEntry& e : entries) {
        QString title = e.title;
        title.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
        const qint64 seconds = e.durationMs >= 0 ? (e.durationMs + 500) / 1000 : -1;
        text += "#EXTINF:" + QByteArray::number(seconds) + ',' + title.toUtf8() + '\n';
        text += e.relative.toUtf8() + '\n';
    }
    return text;
}

void writePlaylist(const std::shared_ptr<const OutputDir>& folder, const QString& name, const QByteArray& text)
{
    TempOutput temp(folder);
    const char* data = text.constData();
    qsizetype left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(temp.fd(), data, std::size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw OutputError(name.toStdString() + ": " + std::strerror(n < 0 ? errno : ENOSPC));
        data += n;
        left -= n;
    }
    temp.commit(folder->path() + name);
}

} // namespace sondrel
