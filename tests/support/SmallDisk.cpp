#include "SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <csignal>
#include <sys/mount.h>
#include <unistd.h>

SmallDisk::SmallDisk(const QString& folder, qint64 bytes) : m_folder(folder), m_bytes(bytes)
{
    QDir().mkpath(folder);
    if (::geteuid() == 0) {
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
        m_mounted = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                            options.constData()) == 0;
    }
}

SmallDisk::~SmallDisk()
{
    endLimit();
    if (m_mounted)
        ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}

QString SmallDisk::fullText() const
{
    return m_mounted ? QStringLiteral("No space left on device") : QStringLiteral("File too large");
}

void SmallDisk::limitThisProcess()
{
    if (m_mounted || m_limited)
        return;
    ::getrlimit(RLIMIT_FSIZE, &m_old);
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = m_old;
    limited.rlim_cur = rlim_t(m_bytes);
    ::setrlimit(RLIMIT_FSIZE, &limited);
    m_limited = true;
}

void SmallDisk::endLimit()
{
    if (!m_limited)
        return;
    ::setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
    m_limited = false;
}

void SmallDisk::limit(QProcess& process) const
{
    if (m_mounted)
        return;
    const rlim_t bytes = rlim_t(m_bytes);
    process.setChildProcessModifier([bytes] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited {};
        ::getrlimit(RLIMIT_FSIZE, &limited);
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    });
}
