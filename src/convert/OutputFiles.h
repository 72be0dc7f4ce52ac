#pragma once
// Safe writing of converted files: every output is written under a temporary name in its
// output folder and renamed onto its target only when complete, so a crash, a kill or a
// full disk never leaves a cut file under a target's name, and an existing target is only
// ever replaced by a complete new file. Renaming replaces a symbolic link itself; nothing is
// ever written through one.
#include <QString>
#include <optional>
#include <stdexcept>
#include <sys/types.h>

namespace sondrel {

class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Which file a path names: device and inode.
struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const FileId&) const = default;
};
struct FileIdHash {
    std::size_t operator()(const FileId& id) const noexcept
    {
        return std::size_t(id.ino) * 31u + std::size_t(id.dev);
    }
};

// The file path names, links followed; none when there is no such file.
std::optional<FileId> fileIdOf(const QString& path);
// The directory entry itself (a link is not followed); none when there is no entry.
std::optional<FileId> entryIdOf(const QString& path);
// Whether the entry exists at all: a dangling link exists.
bool entryExists(const QString& path);
// Whether the entry is a folder (a link to a folder is not one: it can be replaced).
bool entryIsFolder(const QString& path);
// Whether path (links followed) is a regular file; false for FIFOs, devices and sockets.
bool isRegularFile(const QString& path);

// A temporary output file in an output folder, locked for as long as this object lives, so
// that the stale-file clean-up of another run (or program) never removes it.
class TempOutput {
public:
    // Creates a new, empty temporary file in folder. Throws OutputError.
    explicit TempOutput(const QString& folder);
    ~TempOutput(); // removes the file unless it was committed
    TempOutput(const TempOutput&) = delete;
    TempOutput& operator=(const TempOutput&) = delete;

    const QString& path() const { return m_path; }
    // The descriptor the file was created with (read and write).
    int fd() const { return m_lock; }
    // Makes everything written so far durable. Throws OutputError with the system's reason.
    void sync();
    // Makes the written data durable and renames the file onto target, replacing whatever
    // entry target was (a link is replaced, not followed). Throws OutputError.
    void commit(const QString& target);
    // Removes the temporary file now; harmless after commit.
    void remove() noexcept;

private:
    QString m_path;
    int m_lock = -1;
    bool m_done = false;
};

// Whether a file name follows the temporary naming pattern.
bool isTempOutputName(const QString& fileName);
// Removes the temporary files of runs that ended without cleaning up (killed, crashed) from
// folder: files of the temporary naming pattern that no one holds locked. Returns how many.
int removeStaleTempOutputs(const QString& folder);

} // namespace sondrel
