#pragma once
#include <QString>
#include <sys/resource.h>

class QProcess;

// A folder where the disk fills up after a few hundred kilobytes, for the tests of a full
// disk. As root it is a tmpfs of that size mounted on the folder ("No space left on
// device"); otherwise the folder is plain and the file size limit stands in for the full
// disk ("File too large"), applied to this process with limitThisProcess() or to a program
// started with limit().
class SmallDisk {
public:
    SmallDisk(const QString& folder, qint64 bytes);
    ~SmallDisk(); // unmounts, and ends any limit of this process
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    const QString& folder() const { return m_folder; }
    bool mounted() const { return m_mounted; }
    // What a write that does not fit fails with.
    QString fullText() const;
    // Without a tmpfs: every file this process writes is limited to the size given, until
    // endLimit() or the end of this object (SIGXFSZ is ignored meanwhile).
    void limitThisProcess();
    void endLimit();
    // Without a tmpfs: the same limit for a program that process starts.
    void limit(QProcess& process) const;

private:
    QString m_folder;
    qint64 m_bytes;
    bool m_mounted = false;
    bool m_limited = false;
    struct rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
};
